// The nine image verbs: mode handling, file checks, exact outputs, and what
// happens to the flash, the file and the uC's mode on every path.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <csignal>
#include <cstdlib>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/out.h"
#include "support/file_size_limit.h"
#include "flash_uc.h"
#include "images/app_flash_images.h"

namespace {

using flashtest::FlashUc;
using flashtest::InstantClock;
using flashtest::sleeps;
using flashtest::summary;
using flashtest::TempDir;
using Words = std::vector<std::string>;

struct Rig {
    InstantClock clock;
    FakeUc fake;
    FlashUc uc;
    TempDir dir;
    explicit Rig(bool service = false) {
        uc.service = service;
        uc.bind(fake);
        fake.context()->inServiceMode = service ? 1 : 0;
        flashtest::grantAll(fake.context());
    }
    ConnectionContext* ctx() { return fake.context(); }
    Words requests() const { return summary(fake.requests()); }
};

Words pages(char op, int first, int last) {
    Words w;
    for (int p = first; p <= last; ++p) w.push_back(op + std::to_string(p));
    return w;
}

Words join(std::initializer_list<Words> parts) {
    Words all;
    for (const Words& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::string lines(char op, int first, int last) {
    std::string s;
    char line[80];
    for (int p = first; p <= last; ++p) {
        std::snprintf(line, sizeof line, "%s Application Flash page @ 0x%X...\n", op == 'R' ? "Reading" : "Writing",
                      p * 512);
        s += line;
    }
    return s;
}

using VerbFn = Result (*)(ImageKind, const char*, ConnectionContext*, bool);

struct Verb {
    const char* name;
    VerbFn fn;
};
const Verb kVerbs[] = {{"update", updateImage}, {"verify", verifyImage}, {"save", saveImage}};
const ImageKind kKinds[] = {ImageKind::Firmware, ImageKind::BoardConfig, ImageKind::Vpd};

TEST(ImageVerbs, ModePreCheckComesBeforeAnyFile) {
    struct Case {
        uint32_t automatic, enter;
        const char* expected;
    };
    const Case cases[] = {
        {0, 1, "*** Automatically entering Service Mode via PS UART is not supported.\n"},
        {0, 0, "*** Automatically entering Service Mode via PS UART is not supported.\n"},
        {1, 0, "*** Enter Service Mode via PS UART is not supported.\n"},
    };
    for (const Case& c : cases) {
        for (const Verb& verb : kVerbs) {
            for (ImageKind kind : kKinds) {
                SCOPED_TRACE(std::string(verb.name) + " / " + c.expected);
                Rig rig;
                rig.ctx()->autoServiceMode = c.automatic;
                rig.ctx()->canEnterServiceMode = c.enter;
                const std::string path = rig.dir.path("absent.bin");
                OutCapture cap;
                EXPECT_EQ(verb.fn(kind, path.c_str(), rig.ctx(), false), 12u);
                EXPECT_EQ(cap.text(), c.expected);
                EXPECT_TRUE(rig.fake.requests().empty());
                EXPECT_FALSE(std::filesystem::exists(path));
            }
        }
    }
}

TEST(ImageVerbs, FileProblemsAreReportedBeforeServiceModeIsEntered) {
    struct Case {
        ImageKind kind;
        size_t size;  ///< 0: the file is missing
        Result result;
        const char* format;
    };
    const Case cases[] = {
        {ImageKind::Firmware, 0, 5, "*** Failed to open firmware file '%s' for reading.\n"},
        {ImageKind::BoardConfig, 0, 5, "*** Failed to open board config. file '%s' for reading.\n"},
        {ImageKind::Vpd, 0, 5, "*** Failed to VPD file '%s' for reading.\n"},
        {ImageKind::Firmware, 130049, 6,
         "*** Firmware file cannot be more than 0x1FC00 bytes; actual length is 0x1FC01.\n"},
        {ImageKind::BoardConfig, 513, 6,
         "*** Board config. file cannot be more than 0x200 bytes; actual length is 0x201.\n"},
        {ImageKind::Vpd, 129, 6, "*** VPD file cannot be more than 0x80 bytes; actual length is 0x81.\n"},
    };
    for (const Case& c : cases) {
        for (VerbFn fn : {updateImage, verifyImage}) {
            SCOPED_TRACE(c.format);
            Rig rig;
            std::string path = rig.dir.path("image.bin");
            if (c.size != 0) path = rig.dir.writeFile("image.bin", flashtest::pattern(c.size, 4));
            OutCapture cap;
            EXPECT_EQ(fn(c.kind, path.c_str(), rig.ctx(), false), c.result);
            char want[256];
            std::snprintf(want, sizeof want, c.format, path.c_str());
            EXPECT_EQ(cap.text(), want);
            EXPECT_TRUE(rig.fake.requests().empty());
            EXPECT_EQ(rig.ctx()->inServiceMode, 0u);
        }
    }
}

TEST(ImageVerbs, DirectoryIsNoImageFile) {
    Rig rig(true);
    const std::string path = rig.dir.path("");
    OutCapture cap;
    EXPECT_EQ(updateImage(ImageKind::BoardConfig, path.c_str(), rig.ctx(), false), 5u);
    EXPECT_EQ(cap.text(), "*** Failed to open board config. file '" + path + "' for reading.\n");
    EXPECT_TRUE(rig.fake.requests().empty());
}

// One verb, one image file: the exact text ("{path}" is the file's path),
// the requests, where the file's bytes land in flash (-1: the flash stays as
// it was) and the mode the uC is left in.
TEST(ImageVerbs, PathsOfOneRun) {
    struct Case {
        const char* name;
        VerbFn fn;
        ImageKind kind;
        bool service;
        Bytes file;
        void (*fault)(FlashUc&, ConnectionContext*);
        Result result;
        std::string text;
        Words requests;
        int landsAt;
        uint32_t modeAfter;
        std::optional<std::vector<uint32_t>> sleeps;
    };
    const FlashUc fresh;
    Bytes cfg(fresh.flash.begin() + 0x1FC00, fresh.flash.begin() + 0x1FC10);
    cfg[3] ^= 0x80;
    char mismatch[128];
    std::snprintf(mismatch, sizeof mismatch,
                  "*** Verification error at address 0x1FC03; expected=0x%02X actual=0x%02X\n", cfg[3],
                  fresh.flash[0x1FC03]);
    const std::string vpdLength = "VPD file '{path}' length is 8(0x8) byte(s).\nEntering service mode: ";
    const Case cases[] = {
        {"vpd from normal mode patches page 255 and returns", updateImage, ImageKind::Vpd, false,
         flashtest::pattern(8, 0x40), nullptr, 0,
         vpdLength + "OK\n"
                     "Reading Application Flash page @ 0x1FE00...\n"
                     "Writing Application Flash page @ 0x1FE00...\n"
                     "Reading Application Flash page @ 0x1FE00...\n"
                     "Verified OK.\n"
                     "Exiting service mode: OK\n",
         {"enter", "id", "R255", "W255", "R255", "exit", "id"}, 0x1FF00, 0, std::vector<uint32_t>{1000, 1000}},
        {"full firmware fills pages 0-253 without reading first", updateImage, ImageKind::Firmware, false,
         flashtest::pattern(130048, 0x11), nullptr, 0,
         "Firmware file '{path}' length is 130048(0x1FC00) byte(s).\nEntering service mode: OK\n" + lines('W', 0, 253) +
             lines('R', 0, 253) + "Verified OK.\nExiting service mode: OK\n",
         join({{"enter", "id"}, pages('W', 0, 253), pages('R', 0, 253), {"exit", "id"}}), 0, 0, std::nullopt},
        {"board config started in service mode stays there", updateImage, ImageKind::BoardConfig, true,
         flashtest::pattern(512, 0x22), nullptr, 0,
         "Board config file '{path}' length is 512(0x200) byte(s).\n"
         "Writing Application Flash page @ 0x1FC00...\n"
         "Reading Application Flash page @ 0x1FC00...\n"
         "Verified OK.\n",
         {"W254", "R254"}, 0x1FC00, 1, std::vector<uint32_t>{}},
        {"empty file writes nothing", updateImage, ImageKind::Firmware, false, {}, nullptr, 0,
         "Firmware file '{path}' length is 0(0x0) byte(s).\n"
         "Entering service mode: OK\n"
         "Verified OK.\n"
         "Exiting service mode: OK\n",
         {"enter", "id", "exit", "id"}, -1, 0, std::nullopt},
        {"verify only reads and restores the mode on a mismatch", verifyImage, ImageKind::BoardConfig, false, cfg,
         nullptr, 8,
         "Board config file '{path}' length is 16(0x10) byte(s).\n"
         "Entering service mode: OK\n"
         "Reading Application Flash page @ 0x1FC00...\n" +
             std::string(mismatch) + "*** Total of 1 verification errors detected.\nExiting service mode: OK\n",
         {"enter", "id", "R254", "exit", "id"}, -1, 0, std::nullopt},
        {"a failure before any write restores the mode", updateImage, ImageKind::Vpd, false,
         flashtest::pattern(8, 0x44), [](FlashUc& uc, ConnectionContext*) { uc.failReadPage = 255; }, 102,
         vpdLength + "OK\n"
                     "Reading Application Flash page @ 0x1FE00...\n"
                     "*** ZORVI returned status 0x04 for Flash Application Read command\n"
                     "Exiting service mode: OK\n",
         {"enter", "id", "R255", "exit", "id"}, -1, 0, std::nullopt},
        {"a failed switch stops before any page", updateImage, ImageKind::Vpd, false, flashtest::pattern(8, 0x44),
         [](FlashUc& uc, ConnectionContext*) { uc.stuck = true; }, 12,
         vpdLength + "*** uC did not enter Service Mode as requested.\n", {"enter", "id"}, -1, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.service);
        if (c.fault != nullptr) c.fault(rig.uc, rig.ctx());
        const std::string path = rig.dir.writeFile("image.bin", c.file);
        Bytes expectedFlash = rig.uc.flash;
        if (c.landsAt >= 0) std::copy(c.file.begin(), c.file.end(), expectedFlash.begin() + c.landsAt);
        OutCapture cap;
        EXPECT_EQ(c.fn(c.kind, path.c_str(), rig.ctx(), false), c.result);
        std::string text = c.text;
        text.replace(text.find("{path}"), 6, path);
        EXPECT_EQ(cap.text(), text);
        EXPECT_EQ(rig.requests(), c.requests);
        EXPECT_TRUE(rig.uc.flash == expectedFlash);
        EXPECT_EQ(rig.ctx()->inServiceMode, c.modeAfter);
        EXPECT_EQ(rig.uc.service, c.modeAfter == 1);
        if (c.sleeps) {
            EXPECT_EQ(sleeps(), *c.sleeps);
        }
    }
}

TEST(ImageVerbs, FailedUpdateAfterAWriteKeepsServiceMode) {
    struct Case {
        const char* name;
        void (*fault)(FlashUc&);
        Result result;
        Words pageRequests;
        std::string tail;
    };
    const Case cases[] = {
        {"write refused midway", [](FlashUc& uc) { uc.failWritePage = 2; }, 102, {"W0", "W1", "W2"},
         "Writing Application Flash page @ 0x400...\n"
         "*** ZORVI returned status 0x03 for Flash Application Write command\n"},
        {"write lost", [](FlashUc& uc) { uc.ignoreWritePage = 1; }, 8, join({pages('W', 0, 3), pages('R', 0, 3)}),
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.fault(rig.uc);
        const std::string path = rig.dir.writeFile("fw.bin", flashtest::pattern(2048, 0x33));
        OutCapture cap;
        EXPECT_EQ(updateImage(ImageKind::Firmware, path.c_str(), rig.ctx(), false), c.result);
        EXPECT_EQ(rig.requests(), join({{"enter", "id"}, c.pageRequests}));
        const std::string text = cap.text();
        const std::string last =
            "+++ The uC stays in Service Mode because its application flash was not updated completely; run the "
            "update again.\n";
        ASSERT_GE(text.size(), last.size());
        EXPECT_EQ(text.substr(text.size() - last.size()), last);
        EXPECT_NE(text.find(c.tail + last), std::string::npos);
        EXPECT_EQ(rig.ctx()->inServiceMode, 1u);
        EXPECT_TRUE(rig.uc.service);
    }
}

TEST(ImageVerbs, FailedRestoreIsReportedButTheResultStands) {
    Rig rig;
    rig.ctx()->canExitServiceMode = 0;
    const std::string path = rig.dir.writeFile("vpd.bin", flashtest::pattern(8, 0x44));
    OutCapture cap;
    EXPECT_EQ(updateImage(ImageKind::Vpd, path.c_str(), rig.ctx(), false), 0u);
    const std::string text = cap.text();
    EXPECT_NE(text.find("Verified OK.\n*** Exit Service Mode via PS UART is not supported.\n"), std::string::npos);
    EXPECT_EQ(rig.ctx()->inServiceMode, 1u);
}

TEST(ImageVerbs, SaveWritesTheWholeRegionAndRestoresTheMode) {
    struct Case {
        ImageKind kind;
        uint32_t start, size;
        int firstPage, lastPage;
    };
    const Case cases[] = {
        {ImageKind::Firmware, 0, 130048, 0, 253},
        {ImageKind::BoardConfig, 0x1FC00, 512, 254, 254},
        {ImageKind::Vpd, 0x1FF00, 128, 255, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        Rig rig;
        const std::string path = rig.dir.path("saved.bin");
        OutCapture cap;
        EXPECT_EQ(saveImage(c.kind, path.c_str(), rig.ctx(), false), 0u);
        EXPECT_EQ(cap.text(), "Entering service mode: OK\n" + lines('R', c.firstPage, c.lastPage) +
                                  "Exiting service mode: OK\n");
        EXPECT_EQ(rig.requests(), join({{"enter", "id"}, pages('R', c.firstPage, c.lastPage), {"exit", "id"}}));
        const Bytes saved = flashtest::readFile(path);
        EXPECT_EQ(saved.size(), c.size);
        EXPECT_TRUE(std::equal(saved.begin(), saved.end(), rig.uc.flash.begin() + c.start));
        // No scratch file is left beside it.
        EXPECT_FALSE(std::filesystem::exists(path + ".part0"));
    }
}

TEST(ImageVerbs, SaveThatCannotReadLeavesAnExistingFileAlone) {
    for (bool shortReply : {false, true}) {
        SCOPED_TRACE(shortReply ? "cut-off reply" : "status");
        Rig rig;
        if (shortReply) {
            rig.uc.shortReadPage = 254;
        } else {
            rig.uc.failReadPage = 254;
        }
        const Bytes old = flashtest::pattern(512, 0x77);
        const std::string path = rig.dir.writeFile("cfg.bin", old);
        OutCapture cap;
        EXPECT_EQ(saveImage(ImageKind::BoardConfig, path.c_str(), rig.ctx(), false), 102u);
        const std::string text = cap.text();
        EXPECT_EQ(text.rfind("Exiting service mode: OK\n"), text.size() - 25);
        EXPECT_EQ(flashtest::readFile(path), old);
        EXPECT_EQ(rig.ctx()->inServiceMode, 0u);
    }
}

TEST(ImageVerbs, SaveFileFailures) {
    {
        Rig rig(true);
        const std::string path = rig.dir.path("no/such/dir/vpd.bin");
        OutCapture cap;
        EXPECT_EQ(saveImage(ImageKind::Vpd, path.c_str(), rig.ctx(), false), 22u);
        EXPECT_EQ(cap.text(), "Reading Application Flash page @ 0x1FE00...\n"
                              "*** Failed to open VPD save file '" + path + "' for writing.\n");
    }
    if (std::filesystem::exists("/dev/full")) {
        // Every write to /dev/full fails; the failure only shows when the
        // buffered bytes are flushed at close.
        Rig rig(true);
        OutCapture cap;
        EXPECT_EQ(saveImage(ImageKind::Firmware, "/dev/full", rig.ctx(), false), 22u);
        const std::string text = cap.text();
        const std::string last = "*** Failed to write expected number of bytes to firmware save file '/dev/full'.\n";
        EXPECT_EQ(text.substr(text.size() - last.size()), last);
    }
}

// Save-file cases that need POSIX means: resource limits, symbolic links,
// file modes and other users.
#ifndef _WIN32

TEST(ImageVerbs, SaveThatCannotBeWrittenKeepsWhatWasThere) {
    // A regular file, a link to one, and a link whose file does not exist
    // yet: a failed write leaves each as it was.
    Rig rig(true);
    const Bytes old = flashtest::pattern(10, 0x2C);
    const std::string file = rig.dir.writeFile("old.bin", old);
    const std::string link = rig.dir.path("link.bin");
    std::filesystem::create_symlink(file, link);
    const std::string dangling = rig.dir.path("dangling.bin");
    const std::string missing = rig.dir.path("missing.bin");
    std::filesystem::create_symlink(missing, dangling);

    for (const std::string& name : {file, link, dangling}) {
        SCOPED_TRACE(name);
        std::string text;
        Result r = 0;
        {
            FileSizeLimit limit(64);
            ASSERT_TRUE(limit.ok());
            OutCapture cap;
            r = saveImage(ImageKind::Vpd, name.c_str(), rig.ctx(), false);
            text = cap.text();
        }
        EXPECT_EQ(r, 22u);
        EXPECT_EQ(text, "Reading Application Flash page @ 0x1FE00...\n"
                        "*** Failed to write expected number of bytes to VPD save file '" + name + "'.\n");
        EXPECT_EQ(flashtest::readFile(file), old);
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_TRUE(std::filesystem::is_symlink(dangling));
        EXPECT_FALSE(std::filesystem::exists(missing));
        EXPECT_FALSE(std::filesystem::exists(file + ".part0"));
    }
}

TEST(ImageVerbs, SaveLeavesAWriteProtectedFileAlone) {
    // The superuser may write any file, so there is nothing to refuse.
    if (geteuid() == 0) GTEST_SKIP() << "runs as the superuser";
    Rig rig(true);
    const Bytes old = flashtest::pattern(128, 0x19);
    const std::string path = rig.dir.writeFile("vpd.bin", old);
    const std::string link = rig.dir.path("link.bin");
    std::filesystem::create_symlink(path, link);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    for (const std::string& name : {path, link}) {
        SCOPED_TRACE(name);
        OutCapture cap;
        EXPECT_EQ(saveImage(ImageKind::Vpd, name.c_str(), rig.ctx(), false), 22u);
        EXPECT_EQ(cap.text(), "Reading Application Flash page @ 0x1FE00...\n"
                              "*** Failed to open VPD save file '" + name + "' for writing.\n");
        EXPECT_EQ(flashtest::readFile(path), old);
        EXPECT_TRUE(std::filesystem::is_symlink(link));
    }
}

/// Runs as another user (effective IDs only, so the superuser can come back)
/// for as long as it lives.
class OtherUser {
public:
    OtherUser() : ok_(setegid(65534) == 0 && seteuid(65534) == 0) {}
    ~OtherUser() {
        if (seteuid(0) != 0 || setegid(0) != 0) std::abort();
    }
    bool ok() const { return ok_; }

private:
    bool ok_;
};

TEST(ImageVerbs, SaveWritesAnotherUsersWritableFileInAStickyFolder) {
    // Such a folder lets only the owner replace the file; writing into it
    // is still allowed. Needs the superuser to play both users.
    if (geteuid() != 0) GTEST_SKIP() << "needs the superuser to act as another user";
    Rig rig(true);
    namespace fs = std::filesystem;
    const fs::path shared = rig.dir.path("shared");
    fs::create_directory(shared);
    fs::permissions(rig.dir.path(""), fs::perms::all);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    const std::string path = rig.dir.writeFile("shared/vpd.bin", flashtest::pattern(10, 3));
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
    Result r = 0;
    std::string text;
    {
        OtherUser other;
        ASSERT_TRUE(other.ok());
        OutCapture cap;
        r = saveImage(ImageKind::Vpd, path.c_str(), rig.ctx(), false);
        text = cap.text();
    }
    EXPECT_EQ(r, 0u);
    EXPECT_EQ(text, "Reading Application Flash page @ 0x1FE00...\n");
    EXPECT_EQ(flashtest::readFile(path), Bytes(rig.uc.flash.begin() + 0x1FF00, rig.uc.flash.begin() + 0x1FF80));
    EXPECT_FALSE(fs::exists(path + ".part0"));
}

TEST(ImageVerbs, SaveReplacesTheFileOrTheLinkTargetButNoNeighbour) {
    Rig rig(true);
    const Bytes vpd(rig.uc.flash.begin() + 0x1FF00, rig.uc.flash.begin() + 0x1FF80);
    const std::string path = rig.dir.writeFile("vpd.bin", Bytes(1000, 0xEE));
    const Bytes neighbour = flashtest::pattern(10, 1);
    rig.dir.writeFile("vpd.bin.part0", neighbour);
    const std::string link = rig.dir.path("link.bin");
    std::filesystem::create_symlink(path, link);
    OutCapture cap;
    EXPECT_EQ(saveImage(ImageKind::Vpd, path.c_str(), rig.ctx(), false), 0u);
    EXPECT_EQ(flashtest::readFile(path), vpd);
    EXPECT_EQ(flashtest::readFile(path + ".part0"), neighbour);
    EXPECT_FALSE(std::filesystem::exists(path + ".part1"));

    rig.uc.flash[0x1FF00] ^= 0xFF;
    EXPECT_EQ(saveImage(ImageKind::Vpd, link.c_str(), rig.ctx(), false), 0u);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(flashtest::readFile(path)[0], rig.uc.flash[0x1FF00]);
}

#endif  // _WIN32

}  // namespace
