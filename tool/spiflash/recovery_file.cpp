#include "spiflash/recovery_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

#include "base/out.h"
#include "platform/platform.h"
#include "spiflash/spi_files.h"

namespace fs = std::filesystem;

std::string recoveryFileName(uint32_t chip, uint32_t blockStart) {
    char name[64];
    std::snprintf(name, sizeof name, "spi-chip%u-block-0x%08X.bin", chip, blockStart);
    return name;
}

bool parseRecoveryFileName(const std::string& name, uint32_t* chip, uint32_t* blockStart) {
    unsigned c = 0, start = 0;
    if (std::sscanf(name.c_str(), "spi-chip%u-block-0x%8X", &c, &start) != 2) return false;
    // Only the exact form the program writes (no leading zeros or signs,
    // eight upper-case digits, the extension and nothing after it).
    if (recoveryFileName(c, start) != name) return false;
    *chip = c;
    *blockStart = start;
    return true;
}

std::string recoveryFileWarning(const std::string& name, uint32_t chip, uint32_t blockStart) {
    char text[320];
    std::snprintf(text, sizeof text,
                  "zorviutil: warning: '%s' keeps block 0x%X of SPI chip %u from a run that ended before restoring "
                  "it; to put it back: zorviutil <link option> spi-program-bin %u %s 0x%X (then remove the file)\n",
                  name.c_str(), blockStart, chip, chip, name.c_str(), blockStart);
    return text;
}

void warnAboutRecoveryFiles(uint32_t chip) {
    static std::set<uint32_t> warned;
    if (!warned.insert(chip).second) return;
    std::vector<std::pair<uint32_t, std::string>> found;  // by block
    std::error_code ec;
    for (fs::directory_iterator it(".", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = platform::utf8Of(it->path().filename());
        uint32_t c = 0, start = 0;
        if (parseRecoveryFileName(name, &c, &start) && c == chip) found.emplace_back(start, name);
    }
    std::sort(found.begin(), found.end());
    for (const auto& [start, name] : found) hint("%s", recoveryFileWarning(name, chip, start).c_str());
}

namespace {

/// Writes the file under a name of its own, puts it on the disk, then gives
/// it its real name (so the name never stands for a partial file) and puts
/// that on the disk too. errno tells why it failed.
bool writeDurably(const std::string& name, const uint8_t* bytes, uint32_t size) {
    const std::string part = name + ".part";
    std::unique_ptr<std::FILE, FileCloser> file(platform::openFile(part.c_str(), "wb"));
    if (!file) return false;
    bool ok = std::fwrite(bytes, 1, size, file.get()) == size && platform::syncFile(file.get());
    const int writeErrno = errno;
    ok = std::fclose(file.release()) == 0 && ok;
    std::error_code ec;
    if (ok) {
        fs::rename(platform::pathOf(part.c_str()), platform::pathOf(name.c_str()), ec);
        if (!ec) return platform::syncFolder(".");
        errno = ec.value();
    } else {
        errno = writeErrno;
    }
    const int failure = errno;
    fs::remove(platform::pathOf(part.c_str()), ec);
    errno = failure;
    return false;
}

}  // namespace

void RecoveryFile::keep(uint32_t chip, uint32_t blockStart, const uint8_t* block, uint32_t size) {
    name_ = recoveryFileName(chip, blockStart);
    kept_ = false;
    // A file of an earlier run may hold the only copy of this block's bytes.
    if (platform::fileExists(name_)) return;
    if (writeDurably(name_, block, size)) {
        kept_ = true;
        return;
    }
    const int error = errno;
    // The name may be in place though its folder could not be put on the
    // disk: the file holds the block all the same.
    kept_ = platform::fileExists(name_);
    hint("zorviutil: warning: block 0x%X-0x%X of SPI chip %u could not be put on the disk in '%s' before its erase "
         "(errno=%d); should the run die before the block is restored, its bytes outside the range are lost\n",
         blockStart, blockStart + size - 1, chip, name_.c_str(), error);
}

void RecoveryFile::release() {
    if (!kept_) return;
    std::error_code ec;
    fs::remove(platform::pathOf(name_.c_str()), ec);
    kept_ = false;
}
