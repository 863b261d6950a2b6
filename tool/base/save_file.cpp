#include "base/save_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/out.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

using Fill = std::function<bool(std::FILE*)>;

/// Fills and closes the stream; false if any byte or the final flush at
/// close did not reach the file.
bool writeAndClose(std::FILE* file, const Fill& fill) {
    const bool written = fill(file);
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

SaveOutcome writeDirectly(const char* path, const Fill& fill, bool text, bool removeOnFailure) {
    std::FILE* file = platform::openFile(path, text ? "w" : "wb");
    if (file == nullptr) return SaveOutcome::OpenFailed;
    if (writeAndClose(file, fill)) return SaveOutcome::Written;
    if (removeOnFailure) {
        // Through a link, remove the file written, never the link.
        std::error_code ec;
        const fs::path written = fs::canonical(platform::pathOf(path), ec);
        fs::remove(ec ? platform::pathOf(path) : written, ec);
    }
    return SaveOutcome::ShortWrite;
}

}  // namespace

SaveOutcome writeSaveFile(const char* path, const uint8_t* data, size_t size) {
    return writeSaveFileWith(path, [data, size](std::FILE* file) {
        return size == 0 || std::fwrite(data, 1, size, file) == size;
    });
}

SaveOutcome writeSaveFileWith(const char* path, const Fill& fill, bool text) {
    std::error_code ec;
    fs::path target = platform::pathOf(path);
    const fs::file_status linkStatus = fs::symlink_status(target, ec);
    const fs::file_status status = fs::status(target, ec);
    const bool exists = fs::exists(status);
    if (exists && !fs::is_regular_file(status)) return writeDirectly(path, fill, text, false);
    if (fs::is_symlink(linkStatus)) {
        // Replace the file the link points to, not the link itself.
        fs::path resolved = fs::canonical(target, ec);
        if (ec) return writeDirectly(path, fill, text, true);
        target = resolved;
    }
    // The rename below only needs the folder to be writable, so it would
    // replace a file the user has write-protected. Ask the file itself, as
    // opening it for writing would; "ab" changes nothing in it.
    if (exists) {
        std::FILE* probe = platform::openFile(platform::utf8Of(target).c_str(), "ab");
        if (probe == nullptr) return SaveOutcome::OpenFailed;  // errno from the open
        std::fclose(probe);
    }

    // A fresh name beside the target (same file system, so the rename below
    // is atomic); never reuse a file that is already there.
    std::string tempName;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < 100 && file == nullptr; ++attempt) {
        tempName = platform::utf8Of(target) + ".part" + std::to_string(attempt);
        errno = 0;
        file = platform::openFile(tempName.c_str(), text ? "wx" : "wbx");
        if (file == nullptr && errno != EEXIST) break;
    }
    // No file can be created beside it (for example a writable file in a
    // read-only folder): write the file in place, as a plain save would.
    if (file == nullptr) return writeDirectly(path, fill, text, true);

    if (!writeAndClose(file, fill)) {
        fs::remove(platform::pathOf(tempName.c_str()), ec);
        return SaveOutcome::ShortWrite;
    }
    const fs::path temp = platform::pathOf(tempName.c_str());
    if (exists) fs::permissions(temp, status.permissions(), fs::perm_options::replace, ec);
    fs::rename(temp, target, ec);
    if (ec) {
        // The folder may refuse the replacement though the file itself is
        // writable (another user's file in a shared folder with the sticky
        // bit): write it in place, as a plain save would.
        fs::remove(temp, ec);
        return writeDirectly(path, fill, text, true);
    }
    return SaveOutcome::Written;
}

bool saveFileCanBeOpened(const char* path) {
    std::error_code ec;
    const fs::path target = fs::canonical(platform::pathOf(path), ec);
    if (!ec) {
        const fs::file_status status = fs::status(target, ec);
        if (!fs::is_regular_file(status)) return true;
        std::FILE* probe = platform::openFile(platform::utf8Of(target).c_str(), "ab");
        if (probe == nullptr) return false;
        std::fclose(probe);
        return true;
    }
    // A new file (a link to a missing file included): the folder must take
    // one, as the save's file beside the target or in its place.
    const fs::path link = fs::read_symlink(platform::pathOf(path), ec);
    const fs::path fresh = ec ? platform::pathOf(path) : platform::pathOf(path).parent_path() / link;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = platform::utf8Of(fresh) + ".part" + std::to_string(attempt);
        errno = 0;
        std::FILE* probe = platform::openFile(name.c_str(), "wbx");
        if (probe == nullptr && errno == EEXIST) continue;
        if (probe == nullptr) return false;
        std::fclose(probe);
        fs::remove(platform::pathOf(name.c_str()), ec);
        return true;
    }
    return true;  // every name taken: the save itself decides (it writes in place)
}

void reportNothingSaved(const char* path) {
    out("+++ Nothing was saved in '%s', since not all of the data could be read.\n", path);
}
