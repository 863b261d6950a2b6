#include "spiflash/spi_verbs.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "base/out.h"
#include "base/save_file.h"
#include "spiflash/sfdp.h"
#include "spiflash/spi_files.h"
#include "spiflash/spi_range.h"
#include "spiflash/spi_verb_session.h"

bool spiChipInRange(uint32_t chip) {
    if (chip <= 255) return true;
    out("*** SPI chip index must be in the range 0 to 255.\n");
    return false;
}

Result spiDisableWrites(ConnectionContext* ctx, bool verbose, uint32_t chip, const SpiFlashInfo& info) {
    Result r = spiSetWriteEnable(ctx, verbose, chip, info, false);
    if (r != kOk) out("*** Failed to disable SPI Flash Write Enable Latch.\n");
    return r;
}

Result SpiVerbSession::announce() {
    if (Result r = spiResetAllChips(ctx, verbose); r != kOk) {
        out("*** Failed to perform hardware reset of all SPI Flash chips.\n");
        return r;
    }
    if (Result r = spiLengthyOperation(ctx, verbose, true); r != kOk) {
        out("*** Failed to inform uC that a lengthy SPI Flash operation is commencing.\n");
        return r;
    }
    bracketed = true;
    return kOk;
}

Result SpiVerbSession::begin() {
    if (Result r = announce(); r != kOk) return r;
    if (Result r = discoverSpiFlash(ctx, verbose, chip, &info); r != kOk) {
        out("*** Failed to discover parameters of SPI Flash chip %u.\n", chip);
        return r;
    }
    if (info.enter4ByteMethod != kEnter4ByteExtendedAddr && info.enter4ByteMethod != kEnter4ByteNotNeeded) {
        if (Result r = spiEnter4ByteMode(ctx, verbose, chip, info); r != kOk) {
            out("*** Failed to set SPI Flash chip %u to 4-byte address mode.\n", chip);
            return r;
        }
    }
    ready = true;
    return kOk;
}

void SpiVerbSession::end() {
    WindDown windDown;
    if (bracketed && spiLengthyOperation(ctx, verbose, false) != kOk)
        out("*** Failed to inform uC that the lengthy SPI Flash operation has ended.\n");
    bracketed = false;
}

SpiVerbSession::~SpiVerbSession() {
    end();
    releaseSpiFlashInfo(&info);
}

Result spiCheckBlank(ConnectionContext* ctx, bool verbose, uint32_t chip, uint32_t start, uint32_t count) {
    if (!spiChipInRange(chip)) return kBadSpiChipIndex;
    if (refuseInServiceMode(ctx, "spi-check-blank")) return kRefusedInServiceMode;
    SpiVerbSession s(ctx, verbose, chip);
    if (Result r = s.begin(); r != kOk) return r;
    uint32_t n = 0;
    SpiRangeStats stats;
    if (Result r = spiCompareRange(ctx, verbose, s.info, chip, start, count, nullptr, &n, &stats); r != kOk) {
        out("*** SPI Flash blank-check operation failed.\n");
        (void)spiSetWriteEnable(ctx, verbose, chip, s.info, false);
        return r;
    }
    if (n != 0)
        out("*** Blank-check FAILED: A total of %u(0x%X) bytes(s) were found that do not have blank value (0xFF).\n", n,
            n);
    else
        out("Blank-check OK: The specified region is blank.\n");
    spiRangeJsonSummary(stats, false);
    const Result disabled = spiDisableWrites(ctx, verbose, chip, s.info);
    return n != 0 ? kVerifyMismatch : disabled;
}

Result spiErase(ConnectionContext* ctx, bool verbose, uint32_t chip, uint32_t start, uint32_t count) {
    if (!spiChipInRange(chip)) return kBadSpiChipIndex;
    if (refuseInServiceMode(ctx, "spi-erase")) return kRefusedInServiceMode;
    SpiVerbSession s(ctx, verbose, chip);
    if (Result r = s.begin(); r != kOk) return r;
    SpiRangeStats stats;
    const Result r = spiEraseRange(ctx, verbose, s.info, chip, start, count, &stats);
    spiRangeJsonFailure(stats);
    if (r != kOk) {
        out("*** SPI Flash erase operation failed.\n");
        (void)spiSetWriteEnable(ctx, verbose, chip, s.info, false);
        return r;
    }
    spiRangeJsonSummary(stats, false);
    return spiDisableWrites(ctx, verbose, chip, s.info);
}

namespace {

/// Opens and sizes the file of a -bin verb; *done when there is nothing to
/// do. Only the length is known here: the bytes are read once the chip's
/// range has been checked, so a huge file is refused without being held
/// in memory.
Result openImage(const char* path, uint32_t address, BinaryInput& input, bool* done) {
    *done = false;
    if (Result r = openBinaryFile(path, input); r != kOk) return r;
    if (input.length == 0) {
        out("*** File '%s' appears to have length of 0. Nothing to do.\n", path);
        *done = true;
        return kOk;
    }
    if (input.length > UINT32_MAX || input.length > (uint64_t{1} << 32) - address) {
        const unsigned long long n = input.length;
        out("*** File '%s' holds %llu(0x%llX) byte(s); from byte address 0x%X they run past the end of the 4 GiB SPI "
            "Flash address space; nothing was changed.\n",
            path, n, n, address);
        return kBadSpiAddress;
    }
    return kOk;
}

}  // namespace

namespace {

/// spi-program-bin and spi-verify-bin: the file is sized first, the chip's
/// range checked once it is known, and only then is the file read.
Result spiBinVerb(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path, uint32_t address,
                  bool program, bool skipSame) {
    if (!spiChipInRange(chip)) return kBadSpiChipIndex;
    BinaryInput input;
    bool done = false;
    if (Result r = openImage(path, address, input, &done); r != kOk || done) return r;
    if (refuseInServiceMode(ctx, program ? "spi-program-bin" : "spi-verify-bin")) return kRefusedInServiceMode;
    SpiVerbSession s(ctx, verbose, chip);
    if (Result r = s.begin(); r != kOk) return r;
    const unsigned long long length = input.length;
    out("%s %llu(0x%llX) byte(s) from file '%s' at byte address 0x%X ...\n", program ? "Writing" : "Verifying", length,
        length, path, address);
    const uint32_t count = static_cast<uint32_t>(length);
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t n = 0;
    SpiRangeStats stats;
    Result r = program ? refuseUnerasableRange(s.info, address, count) : refuseRangePastEnd(s.info, address, count);
    if (r == kOk) r = readBinaryInput(path, input, &bytes);
    if (r == kOk && program) {
        r = spiProgramRange(ctx, verbose, s.info, chip, address, count, bytes.get(), skipSame, &stats);
        spiRangeJsonFailure(stats);
    } else if (r == kOk) {
        r = spiCompareRange(ctx, verbose, s.info, chip, address, count, bytes.get(), &n, &stats);
    }
    if (r != kOk) {
        out("*** SPI Flash %s operation failed.\n", program ? "program" : "verify");
        (void)spiSetWriteEnable(ctx, verbose, chip, s.info, false);
        return r;
    }
    if (skipSame) printSkipSameSummary(stats);
    spiRangeJsonSummary(stats, skipSame);
    if (program) return spiDisableWrites(ctx, verbose, chip, s.info);
    if (n != 0)
        out("*** Verification FAILED: A total of %u(0x%X) bytes(s) were found that do not match the data in the "
            "specified file.\n",
            n, n);
    else
        out("Verification OK: The contents of the SPI Flash chip %u matches the data in the specified file.\n", chip);
    const Result disabled = spiDisableWrites(ctx, verbose, chip, s.info);
    return n != 0 ? kVerifyMismatch : disabled;
}

Result writeBinarySave(const char* path, uint32_t, uint32_t count, const uint8_t* data) {
    out("Saving %u(0x%X) bytes of data in '%s' ...\n", count, count, path);
    return writeBinaryFile(path, count, data);
}

Result binarySaveOpenFailed(const char* path, uint32_t count) {
    const int error = errno;
    out("Saving %u(0x%X) bytes of data in '%s' ...\n", count, count, path);
    errno = error;
    return reportBinaryOpenFailed(path);
}

}  // namespace

Result spiProgramBin(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path, uint32_t address,
                     bool skipSame) {
    return spiBinVerb(ctx, verbose, chip, path, address, true, skipSame);
}

Result spiVerifyBin(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path, uint32_t address) {
    return spiBinVerb(ctx, verbose, chip, path, address, false, false);
}

Result spiSaveVerb(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path, uint32_t start,
                   uint32_t count, const char* verb, SpiSaveWriter write, SpiSaveOpenFailure openFailed) {
    if (!spiChipInRange(chip)) return kBadSpiChipIndex;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[count == 0 ? 1 : count]);
    if (!buffer) {
        out("*** Failed to allocate buffer of %u(0x%X) bytes for reading data from SPI Flash.\n", count, count);
        return kNoMemory;
    }
    if (refuseInServiceMode(ctx, verb)) return kRefusedInServiceMode;
    // A file that cannot be opened is said before the chip is read, which
    // can take minutes; the lines are those of a save that failed to open.
    if (!saveFileCanBeOpened(path)) return openFailed(path, count);
    SpiVerbSession s(ctx, verbose, chip);
    Result r = s.begin();
    SpiRangeStats stats;
    if (r == kOk) {
        r = spiReadRange(s.ctx, s.verbose, s.info, s.chip, start, count, buffer.get(), &stats);
        if (r != kOk) out("*** Failed to read data from SPI Flash chip %u.\n", s.chip);
    }
    if (!s.bracketed) return r;
    s.end();
    if (r != kOk) {
        reportNothingSaved(path);
        return r;
    }
    spiRangeJsonSummary(stats, false);
    return write(path, start, count, buffer.get());
}

Result spiSaveToBin(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path, uint32_t start,
                    uint32_t count) {
    return spiSaveVerb(ctx, verbose, chip, path, start, count, "spi-save-to-bin", writeBinarySave, binarySaveOpenFailed);
}
