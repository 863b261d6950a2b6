// The SPI NOR chip model alone (bus-level command sequences), the uC's SPI
// master routing, persistence, and a self-check that every part's SFDP
// area says what the chip does.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "core/board.h"
#include "core/simulator.h"
#include "devices/spi_master.h"

namespace {

using Bytes = std::vector<uint8_t>;
using zsim::SpiNorChip;

Bytes hex(const std::string& text) {
    std::istringstream in(text);
    Bytes b;
    unsigned v = 0;
    while (in >> std::hex >> v) b.push_back(static_cast<uint8_t>(v));
    return b;
}

Bytes xfer(SpiNorChip& c, const Bytes& w, size_t r) {
    Bytes out(r);
    c.transfer(w.data(), w.size(), out.data(), r);
    return out;
}

// A step is "WRITE BYTES", "WRITE BYTES > EXPECTED READ BYTES", or "?3" /
// "?4" for the address mode the chip must be in.
void runSteps(SpiNorChip& c, const std::vector<std::string>& steps) {
    for (const std::string& s : steps) {
        SCOPED_TRACE(s);
        if (s == "?3" || s == "?4") {
            EXPECT_EQ(c.fourByteMode(), s == "?4");
            continue;
        }
        const size_t gt = s.find('>');
        const Bytes expected = gt == std::string::npos ? Bytes{} : hex(s.substr(gt + 1));
        EXPECT_EQ(xfer(c, hex(s.substr(0, gt)), expected.size()), expected);
    }
}

TEST(SpiNorChip, CommandSequences) {
    struct Case {
        const char* what;
        const char* part;
        std::vector<std::string> steps;
    };
    const std::string zeros16 = "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";
    const Case cases[] = {
        {"program only clears bits", "mt25qu01g",
         {"06", "02 00 00 10 0F F0", "06", "02 00 00 10 F0 FF", "03 00 00 10 > 00 F0"}},
        {"program needs the write enable latch, which it clears", "mt25qu01g",
         {"02 00 00 00 12", "03 00 00 00 > FF", "06", "05 > 02 02", "02 00 00 00 12", "05 > 00", "03 00 00 00 > 12"}},
        {"write disable clears the latch; a write enable with extra bytes is ignored", "mt25qu01g",
         {"06", "04", "05 > 00", "06 00", "05 > 00"}},
        {"page program wraps inside the page", "mt25qu01g",
         {"06", "02 00 00 FE 01 02 03 04", "03 00 00 FE > 01 02 FF", "03 00 00 00 > 03 04 FF"}},
        {"more than a page: the last bytes win", "synth-ear",
         {"06", "02 00 00 00 " + zeros16 + " " + zeros16 + " " + zeros16 + " " + zeros16 + " AA",
          "03 00 00 00 > AA 00"}},
        {"erase: the aligned block around the address, neighbours kept", "mt25qu01g",
         {"06", "02 00 12 34 00", "06", "02 00 20 00 55", "20 00 1F FF", "03 00 12 34 > 00", "06", "20 00 1F FF",
          "03 00 12 34 > FF", "03 00 20 00 > 55", "06", "D8 00 00 00", "03 00 20 00 > FF"}},
        {"read wraps at the end of the chip", "w25q128",
         {"06", "02 00 00 00 42", "03 FF FF FF > FF 42"}},
        {"0xB7 needs a write enable on this part", "mt25qu01g", {"B7", "?3", "06", "B7", "?4", "05 > 00"}},
        {"0x66 0x99 resets, unless another command comes between", "mt25qu01g",
         {"06", "B7", "66", "05 > 00", "99", "?4", "66", "99", "?3"}},
        {"0xF0 and 16 zero bytes reset this part too", "mt25qu01g",
         {"06", "B7", "F0", "?3", "06", "B7", zeros16, "?3"}},
        {"0xE9 leaves 4-byte mode; 4-byte addresses then", "mx66l2g45g",
         {"B7", "?4", "06", "02 01 00 00 07 5A", "03 01 00 00 07 > 5A", "E9", "?3", "03 00 00 07 > FF"}},
        {"bank register: bits 6-0 above a 3-byte address, bit 7 = 4-byte mode", "synth-bank",
         {"17 01", "?3", "06", "02 00 00 05 5A", "17 81", "?4", "16 > 81", "03 01 00 00 05 > 5A", "F0", "?3",
          "16 > 00"}},
        {"extended address register: written only after a write enable", "synth-ear",
         {"06", "C5 02", "C8 > 02", "06", "02 00 00 07 A5", "C5 00", "C8 > 02", "06", "C5 00", "03 00 00 07 > FF",
          "06", "C5 02", "03 00 00 07 > A5", zeros16, "C8 > 00", "B7", "?3"}},
        {"an all-zero transfer with a read phase is no reset", "synth-ear",
         {"06", "C5 02", "00 00 > FF", "C8 > 02"}},
        {"always 4-byte addresses, up to the last byte", "synth-2gib",
         {"?4", "66", "99", "?4", "06", "02 7F FF FF FF 11", "03 7F FF FF FE > FF 11"}},
        {"SFDP: 3-byte address, one dummy byte, 0xFF past the area", "mt25qu01g",
         {"5A 00 00 00 00 > 53 46 44 50 06 01", "5A 00 00 85 00 > DC FF FF FF", "B7", "5A 00 00 00 00 > 53"}},
        {"JEDEC ID", "mt25qu01g", {"9F > 20 BB 21 00"}},
        {"sector map: an erase type outside its regions erases nothing; blocks cut to the region",
         "synth-sector-map",
         {"B7", "06", "02 03 FF 80 00 11", "06", "02 03 FF 7F 00 22", "06", "02 03 FB FF FF 33", "06",
          "D8 03 FF 80 00", "03 03 FF 80 00 > 11", "06", "D8 03 FC 00 00", "03 03 FF 7F 00 > FF",
          "03 03 FF 80 00 > 11", "03 03 FB FF FF > 33", "06", "20 03 FF 80 00", "03 03 FF 80 00 > FF"}},
        {"detection registers: 0x65 with address and 8 dummy bytes, 0x35 without", "synth-sector-map",
         {"65 00 00 04 00 00 00 00 00 00 00 00 > 08 08", "65 00 00 00 00 00 00 00 00 00 00 00 > 00", "35 > 04"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SpiNorChip chip(*zsim::findSpiPart(c.part));
        runSteps(chip, c.steps);
    }
}

TEST(SpiNorChip, BusyAfterProgramAndEraseAnswersOnlyStatus) {
    SpiNorChip chip(*zsim::findSpiPart("mt25qu01g"));
    uint64_t now = 1000;
    chip.setClock([&now] { return now; });
    chip.setBusyTimes(50, 400);
    runSteps(chip, {"06", "02 00 00 00 12", "05 > 01", "03 00 00 00 > FF", "06", "05 > 01"});
    now += 50;
    runSteps(chip, {"05 > 00", "03 00 00 00 > 12", "06", "20 00 00 00", "05 > 01"});
    now += 399;
    runSteps(chip, {"05 > 01"});
    now += 1;
    runSteps(chip, {"05 > 00", "03 00 00 00 > FF"});
    // A hardware reset aborts the operation; a stuck chip stays busy.
    runSteps(chip, {"06", "20 00 00 00", "05 > 01"});
    chip.hardwareReset();
    runSteps(chip, {"05 > 00"});
    chip.setStuckBusy(true);
    runSteps(chip, {"06", "02 00 00 00 00"});
    now += 1000000;
    chip.hardwareReset();
    runSteps(chip, {"05 > 01"});
}

struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/zorvisim-spi-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

zsim::SimOptions simOptions(const std::vector<std::string>& args) {
    zsim::SimOptions o;
    std::string err;
    EXPECT_TRUE(zsim::parseOptions(args, o, err)) << err;
    return o;
}

TEST(SpiMaster, Routing) {
    struct Case {
        std::vector<std::string> args;
        const char* request;
        const char* reply;
    };
    const Case cases[] = {
        {{}, "05 90 00 01 02 9F", "05 10 00 20 BB"},
        {{}, "05 90 01 01 01 05", "05 10 01 00"},                          // index not carried
        {{"--model", "1437"}, "05 90 01 01 03 9F", "05 10 00 C2 20 1C"},   // its second chip
        {{}, "05 90 00 02 01 06", "05 10 01 00"},                          // W disagrees with the length
        {{}, "05 90 00", "05 10 01"},
        {{"--spi-chip", "0=absent"}, "05 90 00 01 02 9F", "05 10 00 FF FF"},
        {{"--spi-chip", "3=w25q128"}, "05 90 03 01 03 9F", "05 10 00 EF 40 18"},
        {{"--spi-powered-off"}, "05 90 00 01 01 05", "05 10 02 00"},
        {{"--spi-powered-off"}, "05 91 01 00 00 00 00", "05 11 02 00 00 00 00"},
        {{}, "05 91 01 00 00 00 00", "05 11 00 00 00 00 00"},
        {{}, "05 91 02 00 00 00 00", "05 11 00 00 00 00 00"},
        {{}, "05 91 04 00 00 00 00", "05 11 01 00 00 00 00"},
        {{}, "05 91 01", "05 11 01 00 00 00 00"},
        {{"--spi-chip", "0=none"}, "05 91 01 00 00 00 00", "05 11 03 00 00 00 00"},
        {{"--spi-chip", "0=none"}, "05 90 00 01 01 05", "05 10 01 00"},
        {{"--service"}, "05 90 00 01 01 05", "05 10 02"},  // the service firmware has no board functions
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        zsim::Board board(simOptions(c.args));
        EXPECT_EQ(board.respond(hex(c.request)), hex(c.reply));
    }
}

TEST(SpiMaster, ResetsChipsOnControlAndPowerUp) {
    zsim::SimOptions o;
    zsim::BoardState state(o);
    zsim::SpiMaster master(state);
    auto enter4Byte = [&] {
        master.handle(hex("05 90 00 01 00 06"));
        master.handle(hex("05 90 00 01 00 B7"));
        EXPECT_TRUE(master.chip(0)->fourByteMode());
    };
    enter4Byte();
    master.handle(hex("05 91 01 00 00 00 00"));
    EXPECT_FALSE(master.chip(0)->fourByteMode());
    enter4Byte();
    state.powered = false;
    EXPECT_EQ(master.handle(hex("05 90 00 01 01 05")), hex("05 10 02 00"));
    state.powered = true;
    EXPECT_EQ(master.handle(hex("05 90 00 01 01 05")), hex("05 10 00 00"));
    EXPECT_FALSE(master.chip(0)->fourByteMode());
    master.handle(hex("05 91 02 00 00 00 00"));
    EXPECT_TRUE(master.inLengthyOperation());
    master.handle(hex("05 91 03 00 00 00 00"));
    EXPECT_FALSE(master.inLengthyOperation());
}

TEST(SpiMaster, ContentsPersistInTheStateDirectory) {
    TempDir dir;
    const Bytes program = hex("05 90 00 06 00 02 12 34 56 A5 5A");
    {
        zsim::Board board(simOptions({"--state-dir", dir.path}));
        std::string err;
        ASSERT_TRUE(board.loadState(err)) << err;
        board.respond(hex("05 90 00 01 00 06"));
        board.respond(program);
    }
    const std::string image = dir.path + "/spi0-mt25qu01g.bin";
    struct stat st {};
    ASSERT_EQ(stat(image.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 128 << 20);
    EXPECT_LT(st.st_blocks * 512, 1 << 20);  // sparse: only the programmed page holds data
    zsim::Board board(simOptions({"--state-dir", dir.path}));
    std::string err;
    ASSERT_TRUE(board.loadState(err)) << err;
    EXPECT_EQ(board.respond(hex("05 90 00 04 03 03 12 34 56")), hex("05 10 00 A5 5A FF"));
    // A file of the wrong size is refused, not reinterpreted.
    std::filesystem::resize_file(image, 4096);
    zsim::Board other(simOptions({"--state-dir", dir.path}));
    EXPECT_FALSE(other.loadState(err));
}

TEST(SpiMaster, FaultAtTheNthSpiRequest) {
    zsim::Simulator sim(simOptions({"--fault", "no-reply@spi2", "--fault", "status@spi3=0x03"}));
    EXPECT_TRUE(sim.handle({0x03, 0x86}).reply);
    EXPECT_TRUE(sim.handle(hex("05 91 01 00 00 00 00")).reply);
    EXPECT_FALSE(sim.handle(hex("05 90 00 01 00 06")).reply);
    EXPECT_TRUE(sim.handle({0x03, 0x86}).reply);
    EXPECT_EQ(sim.handle(hex("05 90 00 01 01 05")).message, hex("05 10 03 02"));  // the write enable took effect
    zsim::SimOptions o;
    std::string err;
    EXPECT_FALSE(zsim::parseOptions({"--spi-chip", "0=nonesuch"}, o, err));
    EXPECT_FALSE(zsim::parseOptions({"--fault", "no-reply@spi0"}, o, err));
}

// Every part: its SFDP area must describe the chip (a small reading of the
// tables here, independent of the part descriptions).
TEST(SpiParts, SfdpDescribesTheChip) {
    for (const zsim::SpiPart& p : zsim::spiParts()) {
        SCOPED_TRACE(p.name);
        const Bytes& s = p.sfdp;
        auto le32 = [&s](size_t at) {
            return at + 3 < s.size() ? static_cast<uint32_t>(s[at] | s[at + 1] << 8 | s[at + 2] << 16) |
                                           static_cast<uint32_t>(s[at + 3]) << 24
                                     : 0xFFFFFFFFu;
        };
        ASSERT_EQ(le32(0), 0x50444653u);
        size_t basic = 0, basicLen = 0, map = 0, mapLen = 0;
        for (size_t h = 0; h <= s[6]; ++h) {
            const size_t at = 8 + 8 * h;
            const uint16_t id = static_cast<uint16_t>(s[at] | s[at + 7] << 8);
            const size_t ptr = le32(at + 4) & 0xFFFFFF, len = s[at + 3] * 4u;
            if (id == 0xFF00 && basic == 0) basic = ptr, basicLen = len;
            if (id == 0xFF81) map = ptr, mapLen = len;
        }
        ASSERT_NE(basic, 0u);
        auto dw = [&](int n) { return 4 * n <= static_cast<int>(basicLen) ? le32(basic + 4 * (n - 1)) : 0u; };
        const uint32_t density = dw(2);
        const uint64_t bits = (density & 0x80000000u) ? uint64_t{1} << (density & 0x7FFFFFFF) : density + uint64_t{1};
        EXPECT_EQ(bits / 8, p.capacity);
        for (int i = 0; i < 4; ++i) {
            const uint8_t exponent = s[basic + 28 + 2 * i];
            EXPECT_EQ(exponent == 0 ? 0u : 1u << exponent, p.eraseTypes[i].size) << "type " << i + 1;
            EXPECT_TRUE(exponent == 0 || s[basic + 29 + 2 * i] == p.eraseTypes[i].opcode) << "type " << i + 1;
        }
        EXPECT_TRUE(basicLen < 44 || 1u << ((dw(11) >> 4) & 0xF) == p.pageSize);
        // What DWORD 16 advertises, the chip does.
        const struct {
            int bit;
            bool does;
        } advertised[] = {
            {24, p.enter4ByteB7 && !p.b7NeedsWriteEnable}, {25, p.enter4ByteB7 && p.b7NeedsWriteEnable},
            {26, p.extAddrRegister}, {27, p.bankRegister}, {30, p.always4Byte}, {8, p.resetOnes}, {9, p.resetOnes},
            {10, p.resetOnes}, {11, p.resetF0}, {12, p.reset6699},
        };
        for (const auto& a : advertised) EXPECT_TRUE((dw(16) >> a.bit & 1) == 0 || a.does) << "DWORD 16 bit " << a.bit;
        // The sector map, read with the chip's own registers, selects the
        // chip's regions.
        if (map == 0) {
            EXPECT_TRUE(p.regions.empty());
            continue;
        }
        SpiNorChip chip(p);
        uint32_t config = 0;
        size_t i = 0;
        for (; i < mapLen; i += 8) {
            const uint32_t d = le32(map + i);
            if (d & 2) break;
            const size_t width = (d >> 22 & 3) == 0 ? 0 : (d >> 22 & 3) == 2 ? 4 : 3;
            const size_t dummies = (d >> 16 & 0xF) == 0xF ? 16 : d >> 16 & 0xF;
            Bytes cmd = {static_cast<uint8_t>(d >> 8)};
            for (size_t k = width; k > 0; --k) cmd.push_back(static_cast<uint8_t>(le32(map + i + 4) >> (8 * (k - 1))));
            cmd.resize(cmd.size() + dummies, 0);
            config = config << 1 | ((xfer(chip, cmd, 1)[0] & (d >> 24)) != 0 ? 1 : 0);
            if (d & 1) {
                i += 8;
                break;
            }
        }
        std::vector<zsim::SpiRegion> regions;
        for (; i < mapLen; ++i) {
            const uint32_t d = le32(map + i);
            const uint32_t count = (d >> 16 & 0xFF) + 1;
            for (uint32_t r = 1; r <= count && ((d >> 8 & 0xFF) == config); ++r) {
                const uint32_t region = le32(map + i + 4 * r);
                regions.push_back({(uint64_t{region >> 8} + 1) * 256, static_cast<uint8_t>(region & 0xFF)});
            }
            if (d & 1) break;
            i += 4 * count + 3;
        }
        ASSERT_EQ(regions.size(), p.regions.size());
        for (size_t r = 0; r < regions.size(); ++r) {
            EXPECT_EQ(regions[r].size, p.regions[r].size);
            EXPECT_EQ(regions[r].eraseMask, p.regions[r].eraseMask);
        }
    }
}

}  // namespace
