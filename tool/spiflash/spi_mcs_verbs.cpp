// The SPI verbs on Intel Hex files.
#include <cerrno>

#include "base/out.h"
#include "formats/intel_hex.h"
#include "spiflash/spi_range.h"
#include "spiflash/spi_verb_session.h"
#include "spiflash/spi_verbs.h"

namespace {

/// Reads and summarises the file; 31 with its message when unreadable.
/// `binVerb` is the verb for the same work on a binary image, named when
/// the file holds nothing that reads as Intel Hex.
Result readHexImage(const char* path, IntelHexImagePtr& image, const char* binVerb) {
    const HexReadResult r = readIntelHexFile(path, image);
    switch (r) {
        case HexReadResult::Ok:
            out("Intel Hex file '%s':\n", path);
            printIntelHexSummary(*image);
            // Sections may overlap by design; where they disagree the later
            // one silently wins, which is worth a word.
            if (HexConflict c; findHexConflict(*image, &c))
                hint("+++ Sections %u and %u of Intel Hex file '%s' give address 0x%X different data; where they "
                     "overlap, section %u's data is used.\n",
                     c.first, c.second, path, c.address, c.second);
            // A binary image given by mistake: its lines are no records.
            if (image->sectionCount == 0 && image->errorCount != 0)
                hint("zorviutil: hint: '%s' holds no data that reads as Intel Hex; a binary image is given to %s\n",
                     path, binVerb);
            return kOk;
        case HexReadResult::NoMemory:
            out("*** Failed to read file '%s' in Intel Hex format: unable to allocate memory.\n", path);
            break;
        case HexReadResult::AccessDenied:
            out("*** Failed to read file '%s' in Intel Hex format: access denied.\n", path);
            break;
        case HexReadResult::NotFound:
            out("*** Failed to read file '%s' in Intel Hex format: file not found.\n", path);
            break;
        case HexReadResult::OpenFailed:
            out("*** Failed to read file '%s' in Intel Hex format: unexpected error opening file.\n", path);
            break;
        case HexReadResult::SeekFailed:
            out("*** Failed to read file '%s' in Intel Hex format: seek error while reading file.\n", path);
            break;
        case HexReadResult::ReadFailed:
            out("*** Failed to read file '%s' in Intel Hex format: error while reading file.\n", path);
            break;
        default:
            out("*** Failed to read file '%s' in Intel Hex format; error code %u\n", path, static_cast<uint32_t>(r));
            break;
    }
    return kHexInputError;
}

}  // namespace

Result spiProgramMcs(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path, int32_t translation,
                     bool confirmed, bool skipSame) {
    if (!spiChipInRange(chip)) return kBadSpiChipIndex;
    IntelHexImagePtr image;
    if (Result r = readHexImage(path, image, "spi-program-bin"); r != kOk) return r;
    // A record with an error may hold wrong data or none; what is on the
    // chip afterwards would not be what the file meant.
    if (image->errorCount != 0 && !confirmed) {
        out("*** Intel Hex file '%s' has %u record error(s); it is not programmed. Give +confirm to program it "
            "anyway.\n",
            path, image->errorCount);
        return kHexInputError;
    }
    if (refuseInServiceMode(ctx, "spi-program-mcs")) return kRefusedInServiceMode;
    SpiVerbSession s(ctx, verbose, chip);
    if (Result r = s.begin(); r != kOk) return r;
    // Every section is checked before the first is written: a file whose
    // last section lies past the chip must not leave the others programmed.
    for (uint32_t i = 0; i < image->sectionCount; ++i) {
        const HexSection& section = image->sections[i];
        const uint32_t address = section.address + static_cast<uint32_t>(translation);
        if (Result r = refuseUnerasableRange(s.info, address, section.length); r != kOk) {
            out("*** SPI Flash program operation failed.\n");
            (void)spiSetWriteEnable(ctx, verbose, chip, s.info, false);
            return r;
        }
    }
    SpiRangeStats stats;
    for (uint32_t i = 0; i < image->sectionCount; ++i) {
        const HexSection& section = image->sections[i];
        const uint32_t address = section.address + static_cast<uint32_t>(translation);
        out("Writing section %llu at byte address 0x%X ...\n", static_cast<unsigned long long>(i), address);
        const Result r = spiProgramRange(ctx, verbose, s.info, chip, address, section.length, section.data, skipSame,
                                         &stats);
        spiRangeJsonFailure(stats);
        if (r != kOk) {
            out("*** SPI Flash program operation failed.\n");
            (void)spiSetWriteEnable(ctx, verbose, chip, s.info, false);
            return r;
        }
    }
    if (skipSame) printSkipSameSummary(stats);
    spiRangeJsonSummary(stats, skipSame);
    return spiDisableWrites(ctx, verbose, chip, s.info);
}

Result spiVerifyMcs(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path, int32_t translation) {
    if (!spiChipInRange(chip)) return kBadSpiChipIndex;
    IntelHexImagePtr image;
    if (Result r = readHexImage(path, image, "spi-verify-bin"); r != kOk) return r;
    if (refuseInServiceMode(ctx, "spi-verify-mcs")) return kRefusedInServiceMode;
    SpiVerbSession s(ctx, verbose, chip);
    if (Result r = s.begin(); r != kOk) return r;
    unsigned long long total = 0;
    SpiRangeStats stats;
    for (uint32_t i = 0; i < image->sectionCount; ++i) {
        const HexSection& section = image->sections[i];
        const uint32_t address = section.address + static_cast<uint32_t>(translation);
        out("Verifying section %llu at byte address 0x%X ...\n", static_cast<unsigned long long>(i), address);
        uint32_t n = 0;
        if (Result r = spiCompareRange(ctx, verbose, s.info, chip, address, section.length, section.data, &n, &stats);
            r != kOk) {
            out("*** SPI Flash verify operation failed.\n");
            return r;
        }
        if (n != 0)
            out("+++ %u(0x%X) bytes do not match section %llu of specified file.\n", n, n,
                static_cast<unsigned long long>(i));
        total += n;
    }
    Result result = kOk;
    if (total != 0) {
        out("*** Verification FAILED: A total of %llu(0x%llX) bytes(s) were found that do not match the data in the "
            "specified file.\n",
            total, total);
        result = kVerifyMismatch;
    } else {
        out("Verification OK: The contents of the SPI Flash chip %u matches the data in the specified file.\n", chip);
    }
    spiRangeJsonSummary(stats, false);
    (void)spiDisableWrites(ctx, verbose, chip, s.info);
    return result;
}

namespace {

/// The failure line of an Intel Hex save that did not succeed; 43.
Result reportHexWrite(const char* path, HexWriteResult w) {
    switch (w) {
        case HexWriteResult::Ok: return kOk;
        case HexWriteResult::AccessDenied:
            out("*** Failed to write file '%s' in Intel Hex format: access denied.\n", path);
            break;
        case HexWriteResult::PathNotFound:
            out("*** Failed to write file '%s' in Intel Hex format: path not found.\n", path);
            break;
        case HexWriteResult::OpenFailed:
            out("*** Failed to write file '%s' in Intel Hex format: unexpected error opening file.\n", path);
            break;
        case HexWriteResult::WriteFailed:
            out("*** Failed to write file '%s' in Intel Hex format: error while writing data.\n", path);
            break;
        default:
            out("*** Failed to write file '%s' in Intel Hex format; error code %u\n", path, static_cast<uint32_t>(w));
            break;
    }
    return kHexOutputError;
}

Result writeHexSave(const char* path, uint32_t start, uint32_t count, const uint8_t* data) {
    out("Saving data in '%s' ...\n", path);
    HexSection section{start, count, const_cast<uint8_t*>(data)};
    const uint32_t order = 0;
    const IntelHexImage image{0, {}, 1, &section, &order, nullptr};
    return reportHexWrite(path, writeIntelHexFile(path, image));
}

Result hexSaveOpenFailed(const char* path, uint32_t) {
    const int error = errno;
    out("Saving data in '%s' ...\n", path);
    return reportHexWrite(path, hexOpenFailure(error));
}

}  // namespace

Result spiSaveToMcs(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path, uint32_t start,
                    uint32_t count) {
    return spiSaveVerb(ctx, verbose, chip, path, start, count, "spi-save-to-mcs", writeHexSave, hexSaveOpenFailed);
}
