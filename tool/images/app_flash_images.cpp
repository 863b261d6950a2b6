// The nine image verbs: update-, verify- and save- for the uC firmware, the
// board configuration and the VPD record kept in the uC's application flash.
// The flash is only reachable in service mode; a verb started in normal mode
// switches the uC into service mode and back on its own when the link allows
// it, and checks that before it touches any file.
#include "images/app_flash_images.h"

#include <cstdio>
#include <memory>
#include <new>
#include <system_error>
#include <filesystem>
#include <cstring>

#include "base/json_out.h"
#include "base/out.h"
#include "images/app_flash_pages.h"
#include "images/image_checks.h"
#include "base/save_file.h"
#include "link/board_reads.h"
#include "link/service_mode.h"
#include "platform/platform.h"

namespace {

struct Region {
    uint32_t start;
    uint32_t size;  ///< largest file accepted, and bytes saved
};

Region regionOf(ImageKind kind) {
    switch (kind) {
        case ImageKind::Firmware:
            return {0x00000, 0x1FC00};
        case ImageKind::BoardConfig:
            return {0x1FC00, 0x200};
        case ImageKind::Vpd:
            break;
    }
    return {0x1FF00, 0x80};
}

// Each image has its own wording; the formats stay literal at every call.

void reportOpenFailure(ImageKind kind, const char* path) {
    switch (kind) {
        case ImageKind::Firmware:
            out("*** Failed to open firmware file '%s' for reading.\n", path);
            return;
        case ImageKind::BoardConfig:
            out("*** Failed to open board config. file '%s' for reading.\n", path);
            return;
        case ImageKind::Vpd:
            out("*** Failed to VPD file '%s' for reading.\n", path);
            return;
    }
}

void reportSeekEndFailure(ImageKind kind, const char* path) {
    switch (kind) {
        case ImageKind::Firmware:
            out("*** Failed to seek to end of firmware file '%s'.\n", path);
            return;
        case ImageKind::BoardConfig:
            out("*** Failed to seek to end of board config. file '%s'.\n", path);
            return;
        case ImageKind::Vpd:
            out("*** Failed to seek to end of VPD file '%s'.\n", path);
            return;
    }
}

void reportLengthFailure(ImageKind kind, const char* path) {
    switch (kind) {
        case ImageKind::Firmware:
            out("*** Failed to get length of firmware file '%s'.\n", path);
            return;
        case ImageKind::BoardConfig:
            out("*** Failed to get length of board config. file '%s'.\n", path);
            return;
        case ImageKind::Vpd:
            out("*** Failed to get length of VPD file '%s'.\n", path);
            return;
    }
}

void reportSeekStartFailure(ImageKind kind, const char* path) {
    switch (kind) {
        case ImageKind::Firmware:
            out("*** Failed to seek to beginning of firmware file '%s'.\n", path);
            return;
        case ImageKind::BoardConfig:
            out("*** Failed to seek to beginning of board config. file '%s'.\n", path);
            return;
        case ImageKind::Vpd:
            out("*** Failed to seek to beginning of VPD file '%s'.\n", path);
            return;
    }
}

void reportTooLarge(ImageKind kind, uint32_t limit, unsigned long long length) {
    switch (kind) {
        case ImageKind::Firmware:
            out("*** Firmware file cannot be more than 0x%X bytes; actual length is 0x%llX.\n", limit, length);
            return;
        case ImageKind::BoardConfig:
            out("*** Board config. file cannot be more than 0x%X bytes; actual length is 0x%llX.\n", limit, length);
            return;
        case ImageKind::Vpd:
            out("*** VPD file cannot be more than 0x%X bytes; actual length is 0x%llX.\n", limit, length);
            return;
    }
}

void reportLength(ImageKind kind, const char* path, uint32_t length) {
    switch (kind) {
        case ImageKind::Firmware:
            out("Firmware file '%s' length is %u(0x%X) byte(s).\n", path, length, length);
            return;
        case ImageKind::BoardConfig:
            out("Board config file '%s' length is %u(0x%X) byte(s).\n", path, length, length);
            return;
        case ImageKind::Vpd:
            out("VPD file '%s' length is %u(0x%X) byte(s).\n", path, length, length);
            return;
    }
}

void reportAllocationFailure(ImageKind kind) {
    switch (kind) {
        case ImageKind::Firmware:
            out("*** Failed to allocate firmware file buffer.\n");
            return;
        case ImageKind::BoardConfig:
            out("*** Failed to allocate board config. file buffer.\n");
            return;
        case ImageKind::Vpd:
            return;  // fixed buffer, never allocated
    }
}

void reportShortRead(ImageKind kind, const char* path) {
    switch (kind) {
        case ImageKind::Firmware:
            out("*** Failed to read expected number of bytes from firmware file '%s'.\n", path);
            return;
        case ImageKind::BoardConfig:
            out("*** Failed to read expected number of bytes from board config. file '%s'.\n", path);
            return;
        case ImageKind::Vpd:
            out("*** Failed to read expected number of bytes from VPD file '%s'.\n", path);
            return;
    }
}

void reportSaveOpenFailure(ImageKind kind, const char* path) {
    switch (kind) {
        case ImageKind::Firmware:
            out("*** Failed to open firmware save file '%s' for writing.\n", path);
            return;
        case ImageKind::BoardConfig:
            out("*** Failed to open board config. save file '%s' for writing.\n", path);
            return;
        case ImageKind::Vpd:
            out("*** Failed to open VPD save file '%s' for writing.\n", path);
            return;
    }
}

void reportSaveShortWrite(ImageKind kind, const char* path) {
    switch (kind) {
        case ImageKind::Firmware:
            out("*** Failed to write expected number of bytes to firmware save file '%s'.\n", path);
            return;
        case ImageKind::BoardConfig:
            out("*** Failed to write expected number of bytes to board config. save file '%s'.\n", path);
            return;
        case ImageKind::Vpd:
            out("*** Failed to write expected number of bytes to VPD save file '%s'.\n", path);
            return;
    }
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

/// An image file read into memory.
struct ImageData {
    std::unique_ptr<uint8_t[]> allocated;
    uint8_t vpd[0x80] = {};  ///< the VPD needs no allocation
    uint8_t* bytes = nullptr;
    uint32_t length = 0;
};

Result loadImageFile(ImageKind kind, const char* path, ImageData& image) {
    const Region region = regionOf(kind);
    // A directory opens for reading on this system but is no image file.
    std::error_code ec;
    if (std::filesystem::is_directory(platform::pathOf(path), ec)) {
        reportOpenFailure(kind, path);
        return kImageFileError;
    }
    FilePtr file(platform::openFile(path, "rb"));
    if (!file) {
        reportOpenFailure(kind, path);
        return kImageFileError;
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        reportSeekEndFailure(kind, path);
        return kImageFileError;
    }
    const long end = std::ftell(file.get());
    if (end < 0) {
        reportLengthFailure(kind, path);
        return kImageFileError;
    }
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
        reportSeekStartFailure(kind, path);
        return kImageFileError;
    }
    if (static_cast<unsigned long long>(end) > region.size) {
        reportTooLarge(kind, region.size, static_cast<unsigned long long>(end));
        return kImageTooLarge;
    }
    image.length = static_cast<uint32_t>(end);
    reportLength(kind, path, image.length);

    // Firmware and board configuration take a buffer of the file's length;
    // the VPD a fixed zeroed one.
    if (kind == ImageKind::Vpd) {
        image.bytes = image.vpd;
    } else {
        image.allocated.reset(new (std::nothrow) uint8_t[image.length != 0 ? image.length : 1]());
        if (!image.allocated) {
            reportAllocationFailure(kind);
            return kNoMemory;
        }
        image.bytes = image.allocated.get();
    }
    if (std::fread(image.bytes, 1, image.length, file.get()) != image.length) {
        reportShortRead(kind, path);
        return kImageFileError;
    }
    return kOk;
}

/// Puts the uC back into the mode the verb found it in; this goes out even
/// after a stop request. Its result is not used (its messages are printed).
/// The +json fields of every image verb: the file and its bytes.
void summarizeImage(const char* path, uint32_t bytes) {
    jsonSummary("file", boardText(path, std::strlen(path)));
    jsonSummary("bytes", bytes);
}

void restoreMode(ConnectionContext* ctx, bool serviceMode, bool verbose) {
    WindDown windDown;
    (void)ensureServiceMode(ctx, serviceMode, verbose, false);
}

/// Update or verify one image from a file.
Result updateOrVerify(ImageKind kind, const char* path, ConnectionContext* ctx, bool verbose, bool verifyOnly) {
    Result r = ensureServiceMode(ctx, true, verbose, true);
    if (r != kOk) return r;

    ImageData image;
    r = loadImageFile(kind, path, image);
    if (r != kOk) return r;
    if (!verifyOnly) {
        const std::string warning = imageWriteWarning(kind, image.bytes, image.length);
        if (!warning.empty()) hint("%s", warning.c_str());
    }

    const bool wasInServiceMode = ctx->inServiceMode != 0;
    r = ensureServiceMode(ctx, true, verbose, false);
    if (r != kOk) return r;

    const Region region = regionOf(kind);
    uint32_t pagesWritten = 0;
    if (verifyOnly) {
        r = verifyAppFlash(image.bytes, ctx, verbose, region.start, image.length);
    } else {
        r = writeAppFlashTracked(image.bytes, ctx, verbose, region.start, image.length, &pagesWritten);
        jsonFailureFields({{"pages_written", pagesWritten}});
        if (r == kOk) r = verifyAppFlash(image.bytes, ctx, verbose, region.start, image.length);
    }
    const bool flashChanged = pagesWritten != 0;

    // An update that failed after its first page write leaves the flash
    // neither old nor new. Leaving service mode would start the normal
    // firmware on top of it (a half-written firmware may never answer
    // again), so the uC stays where the update can simply be repeated.
    if (r != kOk && flashChanged && !wasInServiceMode) {
        out("+++ The uC stays in Service Mode because its application flash was not updated completely; run the "
            "update again.\n");
        return r;
    }
    restoreMode(ctx, wasInServiceMode, verbose);
    if (r == kOk) summarizeImage(path, image.length);
    return r;
}

}  // namespace

Result updateImage(ImageKind kind, const char* path, ConnectionContext* ctx, bool verbose) {
    return updateOrVerify(kind, path, ctx, verbose, false);
}

Result verifyImage(ImageKind kind, const char* path, ConnectionContext* ctx, bool verbose) {
    return updateOrVerify(kind, path, ctx, verbose, true);
}

Result saveImage(ImageKind kind, const char* path, ConnectionContext* ctx, bool verbose) {
    Result r = ensureServiceMode(ctx, true, verbose, true);
    if (r != kOk) return r;

    const Region region = regionOf(kind);
    // Board configuration and VPD fit a fixed buffer; only the firmware
    // region is allocated.
    uint8_t fixedBuffer[0x200] = {};
    std::unique_ptr<uint8_t[]> allocated;
    uint8_t* data = fixedBuffer;
    if (kind == ImageKind::Firmware) {
        allocated.reset(new (std::nothrow) uint8_t[region.size]());
        if (!allocated) {
            out("*** Failed to buffer for firmware save data.\n");
            return kNoMemory;
        }
        data = allocated.get();
    }

    const bool wasInServiceMode = ctx->inServiceMode != 0;
    r = ensureServiceMode(ctx, true, verbose, false);
    if (r != kOk) return r;
    r = readAppFlashExact(data, ctx, verbose, region.start, region.size);
    restoreMode(ctx, wasInServiceMode, verbose);
    if (r != kOk) return r;

    switch (writeSaveFile(path, data, region.size)) {
        case SaveOutcome::Written:
            summarizeImage(path, region.size);
            return kOk;
        case SaveOutcome::OpenFailed:
            reportSaveOpenFailure(kind, path);
            return kImageSaveError;
        case SaveOutcome::ShortWrite:
            break;
    }
    reportSaveShortWrite(kind, path);
    return kImageSaveError;
}
