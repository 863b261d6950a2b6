#include "spiflash/recovery_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

#include "base/out.h"
#include "platform/platform.h"
#include "spiflash/spi_files.h"

namespace fs = std::filesystem;

namespace {

/// Lists the names in `folder` (none when it cannot be read).
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(platform::pathOf(folder.c_str()), ec), end; !ec && it != end; it.increment(ec))
        names.push_back(platform::utf8Of(it->path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return platform::utf8Of(platform::pathOf(folder.c_str()) / platform::pathOf(name.c_str()));
}

}  // namespace

std::string recoveryFolder() {
    std::string folder;
    if (!platform::getEnv("ZORVIUTIL_STATE_DIR", folder) || folder.empty()) folder = platform::userStateFolder();
    if (folder.empty()) return "";
    std::error_code ec;
    const fs::path absolute = fs::absolute(platform::pathOf(folder.c_str()), ec);
    return ec ? folder : platform::utf8Of(absolute.lexically_normal());
}

std::string recoveryFileName(uint32_t board, uint32_t chip, uint32_t blockStart) {
    char name[80];
    std::snprintf(name, sizeof name, "board%u-spi-chip%u-block-0x%08X.bin", board, chip, blockStart);
    return name;
}

bool parseRecoveryFileName(const std::string& name, uint32_t* board, uint32_t* chip, uint32_t* blockStart) {
    unsigned b = 0, c = 0, start = 0;
    if (std::sscanf(name.c_str(), "board%u-spi-chip%u-block-0x%8X", &b, &c, &start) != 3) return false;
    // Only the exact form the program writes (no leading zeros or signs,
    // eight upper-case digits, the extension and nothing after it).
    if (recoveryFileName(b, c, start) != name) return false;
    *board = b;
    *chip = c;
    *blockStart = start;
    return true;
}

bool parseLegacyRecoveryFileName(const std::string& name, uint32_t* chip, uint32_t* blockStart) {
    unsigned c = 0, start = 0;
    if (std::sscanf(name.c_str(), "spi-chip%u-block-0x%8X", &c, &start) != 2) return false;
    char exact[64];
    std::snprintf(exact, sizeof exact, "spi-chip%u-block-0x%08X.bin", c, start);
    if (name != exact) return false;
    *chip = c;
    *blockStart = start;
    return true;
}

std::string RecoveryScope::pathOf(uint32_t blockStart) const {
    return joinPath(folder, recoveryFileName(board, chip, blockStart));
}

std::string RecoveryScope::restoreCommand(const std::string& path, uint32_t blockStart) const {
    char tail[48];
    std::snprintf(tail, sizeof tail, " 0x%X", blockStart);
    return std::string("zorviutil ") + link + " spi-program-bin " + std::to_string(chip) + " " +
           platform::shellWord(path) + tail;
}

bool anyRecoveryFiles(const std::string& folder, uint32_t chip) {
    for (const std::string& name : namesIn(folder)) {
        uint32_t b = 0, c = 0, start = 0;
        if (parseRecoveryFileName(name, &b, &c, &start) && c == chip) return true;
    }
    return false;
}

std::vector<uint32_t> keptBlocks(const RecoveryScope& scope) {
    std::vector<uint32_t> blocks;
    for (const std::string& name : namesIn(scope.folder)) {
        uint32_t b = 0, c = 0, start = 0;
        if (parseRecoveryFileName(name, &b, &c, &start) && b == scope.board && c == scope.chip)
            blocks.push_back(start);
    }
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

uint64_t keptBlockSize(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(platform::openRegularFile(path.c_str()));
    uint64_t length = 0;
    if (!file || platform::fileLength(file.get(), &length) != platform::FileLength::Ok) return 0;
    return length;
}

Result readKeptBlock(const std::string& path, uint32_t size, std::vector<uint8_t>* bytes) {
    std::unique_ptr<std::FILE, FileCloser> file(platform::openRegularFile(path.c_str()));
    if (!file) {
        const int error = errno;
        out("*** Recovery file '%s' is not a regular file that can be read (errno=%d); it is left as it is and the "
            "chip was not changed.\n",
            path.c_str(), error);
        return kBinaryInputError;
    }
    bytes->assign(size, 0xFF);
    uint64_t length = 0;
    if (platform::fileLength(file.get(), &length) != platform::FileLength::Ok || length != size ||
        std::fread(bytes->data(), 1, size, file.get()) != size) {
        out("*** Recovery file '%s' does not hold the 0x%X B of its block; it is left as it is and the chip was not "
            "changed.\n",
            path.c_str(), size);
        return kBinaryInputError;
    }
    return kOk;
}

void removeKeptBlock(const std::string& path) {
    std::error_code ec;
    fs::remove(platform::pathOf(path.c_str()), ec);
    platform::syncFolder(platform::utf8Of(platform::pathOf(path.c_str()).parent_path()).c_str());
}

void warnAboutLegacyRecoveryFiles(uint32_t chip, const std::string& link) {
    static std::set<uint32_t> warned;
    if (!warned.insert(chip).second) return;
    for (const std::string& name : namesIn(".")) {
        uint32_t c = 0, start = 0;
        if (!parseLegacyRecoveryFileName(name, &c, &start) || c != chip) continue;
        const RecoveryScope scope{".", 0, chip, link};
        std::error_code ec;
        const fs::path absolute = fs::absolute(platform::pathOf(name.c_str()), ec);
        const std::string path = ec ? name : platform::utf8Of(absolute);
        hint("zorviutil: warning: '%s' keeps block 0x%X of SPI chip %u from a run that ended before restoring it; "
             "to put it back on its board: %s (then remove the file)\n",
             path.c_str(), start, chip, scope.restoreCommand(path, start).c_str());
    }
}

namespace {

/// Writes the file under a name of its own, puts it on the disk, then gives
/// it its real name (so the name never stands for a partial file) and puts
/// that on the disk too. Neither name is ever followed through a link or
/// replaced. errno tells why it failed, `failed` which name.
bool writeDurably(const std::string& folder, const std::string& path, const uint8_t* bytes, uint32_t size,
                  std::string* failed) {
    const std::string part = path + ".part";
    *failed = part;
    std::unique_ptr<std::FILE, FileCloser> file(platform::openFile(part.c_str(), "wbx"));
    // A part file of ours is left by a run that died before the erase, when
    // the chip still held the block: it can go. Anything else under that
    // name is not ours to remove or write through.
    if (!file && errno == EEXIST && platform::entryKind(part.c_str()) == platform::EntryKind::Regular) {
        std::error_code ec;
        fs::remove(platform::pathOf(part.c_str()), ec);
        file.reset(platform::openFile(part.c_str(), "wbx"));
    }
    if (!file) return false;
    bool ok = std::fwrite(bytes, 1, size, file.get()) == size && platform::syncFile(file.get());
    const int writeErrno = errno;
    ok = std::fclose(file.release()) == 0 && ok;
    if (ok) *failed = path;
    if (ok && platform::renameNoReplace(part.c_str(), path.c_str())) return platform::syncFolder(folder.c_str());
    const int failure = ok ? errno : writeErrno;
    std::error_code ec;
    fs::remove(platform::pathOf(part.c_str()), ec);
    errno = failure;
    return false;
}

}  // namespace

bool RecoveryFile::keep(const RecoveryScope& scope, uint32_t blockStart, const uint8_t* block, uint32_t size) {
    kept_ = false;
    path_ = scope.pathOf(blockStart);
    std::string failed = path_;
    std::error_code ec;
    if (!scope.folder.empty()) fs::create_directories(platform::pathOf(scope.folder.c_str()), ec);
    if (!scope.folder.empty() && writeDurably(scope.folder, path_, block, size, &failed)) {
        kept_ = true;
        return true;
    }
    const int error = scope.folder.empty() ? ENOENT : errno;
    out("*** Block 0x%X-0x%X of SPI chip %u was not erased: its bytes outside the range could not be kept in '%s' "
        "(errno=%d); nothing in it was changed.\n",
        blockStart, blockStart + size - 1, scope.chip, failed.c_str(), error);
    hint("zorviutil: %s; ZORVIUTIL_STATE_DIR names another folder for the block copies\n",
         error == EEXIST ? "something of that name is in the way, and it is never replaced or written through"
                         : std::strerror(error));
    return false;
}

void RecoveryFile::release() {
    if (!kept_) return;
    removeKeptBlock(path_);
    kept_ = false;
}
