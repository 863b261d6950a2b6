#include "spi_chip.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "base/bytes.h"

void SpiChip::attach(FakeUc& uc) {
    uc.onRequest([this](const Bytes& req, Bytes& reply) { return handle(req, reply); });
}

uint32_t SpiChip::handle(const Bytes& req, Bytes& reply) {
    // Like a real board, the chip acts on a request whose reply is lost.
    const bool lost = ++requestCount == failAtRequest;
    act(req, reply);
    return lost ? 532 : 0;
}

void SpiChip::act(const Bytes& req, Bytes& reply) {
    if (req[1] == 0x91) {
        if (req[2] == 1) fourByte = false, extendedAddress = 0;
        reply = {0x05, 0x11, 0, 0, 0, 0, 0};
        return;
    }
    const uint32_t w = req[3], r = req[4];
    const uint8_t* bus = req.data() + 5;
    reply.assign(3 + r, 0xFF);
    reply[0] = 0x05, reply[1] = 0x10, reply[2] = 0;
    auto address = [&](uint32_t at, bool four) {
        uint32_t a = 0;
        for (uint32_t i = 0; i < (four ? 4u : 3u); ++i) a = a << 8 | bus[at + i];
        if (!four) a |= uint32_t(extendedAddress) << 24;
        return a % memory.size();
    };
    const uint8_t op = w > 0 ? bus[0] : 0;
    if (op == 0x5A) {
        const uint32_t a = address(1, false) & 0xFFFFFF;
        for (uint32_t i = 0; i < r; ++i) reply[3 + i] = a + i < sfdp.size() ? sfdp[a + i] : 0xFF;
    } else if (op == 0x03) {
        const uint32_t a = address(1, fourByte);
        for (uint32_t i = 0; i < r; ++i) reply[3 + i] = memory[(a + i) % memory.size()];
    } else if (op == 0x05) {
        if (r > 0) reply[3] = stuckBusy ? 0x03 : (writeEnabled ? 0x02 : 0x00);
    } else if (op == 0x06) {
        writeEnabled = true;
    } else if (op == 0x04) {
        writeEnabled = false;
    } else if (op == 0xB7) {
        fourByte = true;
    } else if (op == 0xC5 && writeEnabled) {
        extendedAddress = bus[1];
        writeEnabled = false;
    } else if (op == 0x02 && writeEnabled) {
        const uint32_t a = address(1, fourByte), n = w - (fourByte ? 5 : 4);
        char line[40];
        std::snprintf(line, sizeof line, "P %X+%X", a, n);
        log.push_back(line);
        for (uint32_t i = 0; i < n; ++i) memory[(a + i) % memory.size()] &= bus[w - n + i];
        writeEnabled = false;
    } else if (eraseSizes.count(op) && writeEnabled && w >= 4) {
        const uint32_t size = eraseSizes[op], a = address(1, fourByte) / size * size;
        char line[40];
        std::snprintf(line, sizeof line, "E %X+%X", a, size);
        log.push_back(line);
        std::memset(memory.data() + a, 0xFF, size);
        writeEnabled = false;
    }
}

std::vector<uint8_t> basicTable(const BasicTableSpec& s) {
    std::vector<uint8_t> t(64, 0);
    putLe32(&t[0], s.dword1);
    putLe32(&t[4], s.density);
    for (int i = 0; i < 4; ++i) t[28 + 2 * i] = s.erase[i][0], t[29 + 2 * i] = s.erase[i][1];
    putLe32(&t[40], uint32_t(s.pageExponent) << 4);
    putLe32(&t[60], s.dword16);
    return t;
}

std::vector<uint8_t> sfdpArea(const std::vector<uint8_t>& table, const std::vector<uint32_t>& map) {
    std::vector<uint8_t> a = {'S', 'F', 'D', 'P', 6, 1, uint8_t(map.empty() ? 0 : 1), 0xFF};
    const uint32_t basicAt = 0x30, mapAt = basicAt + uint32_t(table.size());
    a.insert(a.end(), {0x00, 6, 1, uint8_t(table.size() / 4), basicAt, 0, 0, 0xFF});
    if (!map.empty()) a.insert(a.end(), {0x81, 0, 1, uint8_t(map.size()), uint8_t(mapAt), 0, 0, 0xFF});
    a.resize(basicAt, 0xFF);
    a.insert(a.end(), table.begin(), table.end());
    for (uint32_t d : map) a.insert(a.end(), {uint8_t(d), uint8_t(d >> 8), uint8_t(d >> 16), uint8_t(d >> 24)});
    return a;
}

SpiFlashInfo testInfo(uint32_t capacity, std::vector<SpiEraseType> types, std::vector<SpiFlashRegion> regions) {
    SpiFlashInfo info;
    info.capacityBytes = capacity;
    info.enter4ByteMethod = kEnter4ByteNotNeeded;
    info.softResetMethod = 5;
    info.readStatusOpcode = 0x05, info.readOpcode = 0x03, info.writeEnableOpcode = 0x06;
    info.writeDisableOpcode = 0x04, info.pageProgramOpcode = 0x02;
    info.pageSize = 256;
    uint32_t largest = 0x10000;
    for (size_t i = 0; i < types.size(); ++i) {
        info.eraseTypes[i] = types[i];
        largest = std::max(largest, types[i].size);
    }
    info.mergeBuffer.reset(new uint8_t[largest]);
    info.mergeBufferSize = largest;
    info.regionCount = uint32_t(regions.size());
    if (!regions.empty()) {
        info.regions.reset(new SpiFlashRegion[regions.size()]);
        std::copy(regions.begin(), regions.end(), info.regions.get());
    }
    info.eraseWaitMs = info.programWaitMs = kMinBusyWaitMs;
    return info;
}

std::vector<uint8_t> readDataFile(const std::string& name) {
    std::ifstream in(std::string(ZORVI_SFDP_DIR) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
