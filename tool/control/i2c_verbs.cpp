#include "control/i2c_verbs.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/json_out.h"
#include "base/out.h"
#include "base/progress.h"
#include "link/service_refusal.h"
#include "control/control_commands.h"
#include "control/i2c_requests.h"
#include "base/save_file.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kMaxBus = 255;
constexpr uint32_t kMaxDevice = 127;
constexpr uint32_t kMaxRegister = 255;
constexpr uint32_t kMaxBlock = 255;
constexpr uint32_t kShownVerifyErrors = 20;
// The file verbs move one byte per exchange and their register address
// wraps at 256, so a file of more than a few hundred bytes rewrites the
// same registers over and over. The limit (256 passes over the register
// space) keeps a wrong or huge file from being read whole and from
// holding the link for hours.
constexpr uint64_t kMaxFileBytes = 65536;

// Bus and device are checked by every verb, the register by all but
// i2c-write-read; each check has its own message and result.
Result checkTarget(uint32_t bus, uint32_t device) {
    if (bus > kMaxBus) {
        out("*** I2C bus number be in the range 0 to 255.\n");
        return kBadI2cBus;
    }
    if (device > kMaxDevice) {
        out("*** I2C device number must be in the range 0 to 127.\n");
        return kBadI2cChip;
    }
    return kOk;
}

Result checkTarget(uint32_t bus, uint32_t device, uint32_t reg) {
    if (Result r = checkTarget(bus, device); r != kOk) return r;
    if (reg > kMaxRegister) {
        out("*** Address must be in the range 0 to 255.\n");
        return kBadI2cAddress;
    }
    return kOk;
}

uint8_t registerAt(uint32_t start, uint64_t offset) { return static_cast<uint8_t>((start + offset) & 0xFF); }

/// The +json fields naming the target of a transfer.
void summarizeTarget(uint32_t bus, uint32_t device, uint32_t reg) {
    jsonSummary("bus", bus);
    jsonSummary("chip", device);
    jsonSummary("address", reg);
}

/// The +json fields of the file verbs.
void summarizeFile(uint32_t bus, uint32_t device, uint32_t reg, const char* path, size_t bytes) {
    summarizeTarget(bus, device, reg);
    jsonSummary("file", boardText(path, std::strlen(path)));
    jsonSummary("bytes", bytes);
}

Json byteArray(const uint8_t* bytes, uint32_t count) { return Json(std::vector<uint8_t>(bytes, bytes + count)); }

void printBytes(const uint8_t* bytes, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) out("%02X ", bytes[i]);
    out("\n");
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::unique_ptr<uint8_t[]> allocateBytes(size_t n) { return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[n == 0 ? 1 : n]); }

/// An input file opened and sized, its length line printed.
struct DataFile {
    FilePtr file;
    size_t length = 0;
};

Result openDataFile(const char* path, DataFile& data) {
    data.file.reset(platform::openFile(path, "rb"));
    if (!data.file) {
        out("*** Failed to open file '%s' for reading.\n", path);
        return kI2cFileError;
    }
    uint64_t length = 0;
    switch (platform::fileLength(data.file.get(), &length)) {
        case platform::FileLength::Ok: break;
        case platform::FileLength::SeekEndFailed: out("*** Failed to seek to end of file '%s'.\n", path); return kI2cFileError;
        case platform::FileLength::TellFailed: out("*** Failed to get length of file '%s'.\n", path); return kI2cFileError;
        case platform::FileLength::SeekStartFailed:
            out("*** Failed to seek to beginning of file '%s'.\n", path);
            return kI2cFileError;
    }
    const unsigned long long n = length;
    out("File '%s' length is %llu(0x%llX) byte(s).\n", path, n, n);
    if (length > kMaxFileBytes) {
        out("*** File length must be in the range 0 to %llu.\n", static_cast<unsigned long long>(kMaxFileBytes));
        return kBadI2cCount;
    }
    data.length = static_cast<size_t>(length);
    return kOk;
}

Result readDataFile(const char* path, DataFile& data, uint8_t* into) {
    const bool complete = std::fread(into, 1, data.length, data.file.get()) == data.length;
    data.file.reset();
    if (complete) return kOk;
    out("*** Failed to read expected number of bytes from file '%s'.\n", path);
    return kI2cFileError;
}

/// Reads one register byte per request; stops at the first failure.
Result readRegisters(ConnectionContext* ctx, bool verbose, uint32_t bus, uint32_t device, uint32_t start,
                     uint8_t* into, size_t count, size_t* done) {
    Progress progress("Reading", count);
    for (*done = 0; *done < count; ++*done) {
        Result r = i2cReadRequest(ctx, verbose, static_cast<uint8_t>(bus), static_cast<uint8_t>(device),
                                  registerAt(start, *done), 1, into + *done, static_cast<int64_t>(*done));
        if (r != kOk) return r;
        progress.advance(1);
    }
    return kOk;
}

}  // namespace

WriteReadOutcome analyzeWriteRead(uint32_t writeCount, uint32_t readCount, uint32_t transferred) {
    WriteReadOutcome o;
    const uint32_t writePhase = writeCount > 0 ? writeCount + 1 : 0;
    o.expected = writePhase + (readCount > 0 ? readCount + 1 : 0);
    o.dataOffset = writePhase + (readCount > 0 ? 1 : 0);
    o.moreThanExpected = transferred > o.expected;
    o.transferred = o.moreThanExpected ? o.expected : transferred;
    o.lessThanExpected = o.transferred < o.expected;
    o.writeTruncated = writeCount > 0 && o.transferred < writePhase;
    if (readCount > 0) {
        if (o.transferred > o.dataOffset) {
            o.readTruncated = o.lessThanExpected;
            o.bytesRead = o.transferred - o.dataOffset;
        } else {
            o.noneRead = true;
        }
    }
    return o;
}

Result i2cRead(uint32_t count, ConnectionContext* ctx, bool verbose, uint32_t bus, uint32_t device, uint32_t reg) {
    if (Result r = checkTarget(bus, device, reg); r != kOk) return r;
    if (count > kMaxBlock) {
        out("*** Byte count to return must be in the range 0 to 255.\n");
        return kBadI2cCount;
    }
    if (refuseInServiceMode(ctx, "i2c-read")) return kRefusedInServiceMode;
    uint8_t data[kMaxBlock] = {};
    Result r = i2cReadRequest(ctx, verbose, static_cast<uint8_t>(bus), static_cast<uint8_t>(device),
                              static_cast<uint8_t>(reg), static_cast<uint8_t>(count), data);
    if (r != kOk) return r;
    jsonDocument(
        {{"bus", bus}, {"chip", device}, {"address", reg}, {"count", count}, {"bytes", byteArray(data, count)}});
    printBytes(data, count);
    return kOk;
}

Result i2cWrite(ConnectionContext* ctx, bool verbose, uint32_t bus, uint32_t device, uint32_t reg,
                const uint8_t* data, uint32_t count) {
    if (Result r = checkTarget(bus, device, reg); r != kOk) return r;
    if (count > kMaxBlock) {
        out("*** Byte count to write must be in the range 0 to 255.\n");
        return kBadI2cCount;
    }
    if (refuseInServiceMode(ctx, "i2c-write")) return kRefusedInServiceMode;
    Result r = i2cWriteRequest(ctx, verbose, static_cast<uint8_t>(bus), static_cast<uint8_t>(device),
                               static_cast<uint8_t>(reg), data, static_cast<uint8_t>(count));
    if (r != kOk) return r;
    summarizeTarget(bus, device, reg);
    jsonSummary("count", count);
    return kOk;
}

Result i2cWriteRead(ConnectionContext* ctx, bool verbose, uint32_t bus, uint32_t device, uint32_t writeCount,
                    uint32_t readCount, const uint8_t* writeBytes) {
    if (Result r = checkTarget(bus, device); r != kOk) return r;
    if (writeCount > kMaxBlock) {
        out("*** Byte count to write must be in the range 0 to 255.\n");
        return kBadI2cCount;
    }
    if (readCount > kMaxBlock) {
        out("*** Byte count to read must be in the range 0 to 255.\n");
        return kBadI2cCount;
    }
    if (refuseInServiceMode(ctx, "i2c-write-read")) return kRefusedInServiceMode;
    uint8_t args[4 + kMaxBlock] = {static_cast<uint8_t>(bus), static_cast<uint8_t>(device),
                                   static_cast<uint8_t>(writeCount), static_cast<uint8_t>(readCount)};
    if (writeCount > 0) std::memcpy(args + 4, writeBytes, writeCount);
    // reply: { bytes transferred, bytes read }
    uint8_t reply[1 + kMaxBlock] = {};
    Result r = ucRequest(ctx, verbose, kI2cWriteRead,
                         {.args = args, .argLength = 4 + writeCount, .payload = reply, .payloadLength = 1 + readCount});
    if (r != kOk) return r;
    const WriteReadOutcome o = analyzeWriteRead(writeCount, readCount, reply[0]);
    if (o.moreThanExpected)
        out("+++ Reponse from uC indicates that it transferred more than requested number of bytes; actual %u vs. "
            "expected %u\n",
            static_cast<unsigned>(reply[0]), o.expected);
    if (o.lessThanExpected)
        out("+++ Reponse from uC indicates that it transferred less than requested number of bytes; actual %u vs. "
            "expected %u\n",
            o.transferred, o.expected);
    if (o.writeTruncated) out("+++ Reponse from uC indicates that write phase was truncated.\n");
    if (o.readTruncated) out("+++ Reponse from uC indicates that read phase was truncated.\n");
    if (o.noneRead) out("+++ Reponse from uC indicates that no bytes were successfully read.\n");
    if (readCount > 0 && !o.noneRead) printBytes(reply + 1, o.bytesRead);
    jsonSummary("bus", bus);
    jsonSummary("chip", device);
    jsonSummary("write_count", writeCount);
    jsonSummary("read_count", readCount);
    jsonSummary("transferred", o.transferred);
    jsonSummary("bytes", byteArray(reply + 1, o.noneRead ? 0 : o.bytesRead));
    return kOk;
}

Result i2cReadToFile(const char* path, uint32_t reg, ConnectionContext* ctx, bool verbose, uint32_t bus,
                     uint32_t device, uint32_t count) {
    if (Result r = checkTarget(bus, device, reg); r != kOk) return r;
    if (count > kMaxFileBytes) {
        out("*** Byte count must be in the range 0 to %llu.\n", static_cast<unsigned long long>(kMaxFileBytes));
        return kBadI2cCount;
    }
    std::unique_ptr<uint8_t[]> data = allocateBytes(count);
    if (!data) {
        out("*** Failed to allocate data buffer.\n");
        return kNoMemory;
    }
    if (refuseInServiceMode(ctx, "i2c-read-to-file")) return kRefusedInServiceMode;
    size_t done = 0;
    Result r = readRegisters(ctx, verbose, bus, device, reg, data.get(), count, &done);
    if (r != kOk) {
        reportNothingSaved(path);
        return r;
    }
    switch (writeSaveFile(path, data.get(), done)) {
        case SaveOutcome::Written: break;
        case SaveOutcome::OpenFailed:
            out("*** Failed to open file '%s' for writing.\n", path);
            return kI2cFileError;
        case SaveOutcome::ShortWrite:
            out("*** Failed to write expected number of bytes to file '%s'.\n", path);
            return kI2cShortWrite;
    }
    summarizeFile(bus, device, reg, path, done);
    return r;
}

Result i2cWriteFromFile(uint32_t reg, const char* path, ConnectionContext* ctx, bool verbose, uint32_t bus,
                        uint32_t device) {
    if (Result r = checkTarget(bus, device, reg); r != kOk) return r;
    DataFile file;
    if (Result r = openDataFile(path, file); r != kOk) return r;
    std::unique_ptr<uint8_t[]> data = allocateBytes(file.length);
    if (!data) {
        out("*** Failed to allocate data buffer.\n");
        return kNoMemory;
    }
    if (Result r = readDataFile(path, file, data.get()); r != kOk) return r;
    if (refuseInServiceMode(ctx, "i2c-write-from-file")) return kRefusedInServiceMode;
    Progress progress("Writing", file.length);
    for (size_t i = 0; i < file.length; ++i) {
        Result r = i2cWriteRequest(ctx, verbose, static_cast<uint8_t>(bus), static_cast<uint8_t>(device),
                                   registerAt(reg, i), data.get() + i, 1, static_cast<int64_t>(i));
        if (r != kOk) return r;
        progress.advance(1);
    }
    summarizeFile(bus, device, reg, path, file.length);
    return kOk;
}

Result i2cVerifyWithFile(const char* path, ConnectionContext* ctx, bool verbose, uint32_t bus, uint32_t device,
                         uint32_t reg) {
    if (Result r = checkTarget(bus, device, reg); r != kOk) return r;
    DataFile file;
    if (Result r = openDataFile(path, file); r != kOk) return r;
    std::unique_ptr<uint8_t[]> actual = allocateBytes(file.length);
    if (!actual) {
        out("*** Failed to allocate read data buffer.\n");
        return kNoMemory;
    }
    std::unique_ptr<uint8_t[]> expected = allocateBytes(file.length);
    if (!expected) {
        out("*** Failed to allocate file data buffer.\n");
        return kNoMemory;
    }
    if (Result r = readDataFile(path, file, expected.get()); r != kOk) return r;
    if (refuseInServiceMode(ctx, "i2c-verify-with-file")) return kRefusedInServiceMode;
    size_t done = 0;
    if (Result r = readRegisters(ctx, verbose, bus, device, reg, actual.get(), file.length, &done); r != kOk)
        return r;
    uint32_t errors = 0;
    for (size_t j = 0; j < file.length; ++j) {
        if (actual[j] == expected[j]) continue;
        if (errors < kShownVerifyErrors)
            out("*** Verification error at address 0x%lX; expected=0x%02X actual=0x%02X\n",
                static_cast<unsigned long>(reg + j), expected[j], actual[j]);
        else if (errors == kShownVerifyErrors)
            out("*** More than %u verification errors detected.\n", kShownVerifyErrors);
        ++errors;
    }
    if (errors != 0) {
        out("*** Total of %u verification errors detected.\n", errors);
        return kVerifyMismatch;
    }
    out("Verified OK.\n");
    summarizeFile(bus, device, reg, path, file.length);
    return kOk;
}
