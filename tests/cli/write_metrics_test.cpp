#include "cli/write_metrics.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <string>
#include <system_error>

#include "base/out.h"
#include "platform/platform.h"
#include "support/fake_uc.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string replaceAll(std::string s, const std::string& what, const std::string& with) {
    for (size_t at = 0; (at = s.find(what, at)) != std::string::npos; at += with.size())
        s.replace(at, what.size(), with);
    return s;
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool writeText(const fs::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    return static_cast<bool>(file);
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

// The board never answers (the fake's default), so every write is of a
// failed scrape: zorvi_up 0 and the read's code. What matters here is where
// the text goes.
TEST(WriteMetrics, WritesOnlyARegularFileOrANewName) {
    const std::string root = testdir::make("zorvi-metrics");
    ASSERT_FALSE(root.empty());
    const std::string pid = std::to_string(platform::processId());
    struct Case {
        const char* what;
        std::function<bool(const fs::path& path)> make;  // prepares x.prom; false: not possible here
        std::string refusal;                             // the line with {path}; empty: written
        std::string writtenTo = "x.prom";                // the file that gets the text
        std::set<std::string> left = {"x.prom"};         // the folder afterwards, when written
    };
    const Case cases[] = {
        {"a new name", [](const fs::path&) { return true; }, ""},
        {"a regular file", [](const fs::path& p) { return writeText(p, "old\n"); }, ""},
        {"stale temporaries of earlier runs",
         [&](const fs::path& p) {
             bool ok = writeText(p.string() + ".tmp" + pid, "killed\n") &&
                       writeText(p.parent_path() / "x.prom.tmpnot", "") &&
                       writeText(p.parent_path() / "y.prom.tmp7", "");
             for (int i = 0; i < 100; ++i) ok = ok && writeText(p.string() + ".tmp" + std::to_string(i), "old\n");
             return ok;
         },
         "", "x.prom", {"x.prom", "x.prom.tmpnot", "y.prom.tmp7"}},
        {"a directory", [](const fs::path& p) { return fs::create_directory(p); },
         "*** Metrics file '{path}' is a directory; metrics are written only to a regular file or a new name.\n"},
#ifndef _WIN32
        {"a FIFO", [](const fs::path& p) { return mkfifo(p.c_str(), 0600) == 0; },
         "*** Metrics file '{path}' is a FIFO; metrics are written only to a regular file or a new name.\n"},
        {"a device node (as root)",
         [](const fs::path& p) { return mknod(p.c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0; },
         "*** Metrics file '{path}' is a device; metrics are written only to a regular file or a new name.\n"},
        {"a link to /dev/null", [](const fs::path& p) { return symlink("/dev/null", p.c_str()) == 0; },
         "*** Metrics file '{path}' links to '/dev/null', which is a device; metrics are written only to a regular "
         "file or a new name.\n"},
        {"the user's link to a regular file elsewhere",
         [](const fs::path& p) {
             return fs::create_directory(p.parent_path() / "kept") &&
                    writeText(p.parent_path() / "kept/real.prom", "") && symlink("kept/real.prom", p.c_str()) == 0;
         },
         "", "kept/real.prom", {"x.prom", "kept"}},
        {"a link to a link",
         [](const fs::path& p) {
             const std::string second = p.string() + "2";
             return writeText(p.parent_path() / "real.prom", "") && symlink("real.prom", second.c_str()) == 0 &&
                    symlink(second.c_str(), p.c_str()) == 0;
         },
         "*** Metrics file '{path}' links to '{path}2', which is a link too; only one link is followed.\n"},
        {"another user's link (as root)",
         [](const fs::path& p) {
             return writeText(p.parent_path() / "real.prom", "") && symlink("real.prom", p.c_str()) == 0 &&
                    geteuid() == 0 && lchown(p.c_str(), 65534, 65534) == 0;
         },
         "*** Metrics file '{path}' is a link of another user; it is not followed.\n"},
#endif
    };
    int folder = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = fs::path(root) / std::to_string(folder++);
        fs::create_directory(dir);
        const fs::path path = dir / "x.prom";
        if (!c.make(path)) {
            std::cout << "row skipped here: " << c.what << "\n";
            continue;
        }
        std::error_code ec;
        const fs::file_type before = fs::symlink_status(path, ec).type();
        FakeUc uc;
        OutCapture capture;
        const Result r = writeMetrics(uc.context(), false, path.string().c_str());
        if (!c.refusal.empty()) {
            EXPECT_EQ(r, kBinaryOutputError);
            EXPECT_EQ(capture.text(), replaceAll(c.refusal, "{path}", path.string()));
            EXPECT_TRUE(uc.requests().empty());
            EXPECT_EQ(fs::symlink_status(path, ec).type(), before);
            continue;
        }
        EXPECT_EQ(r, kLinkFailure);
        EXPECT_EQ(contents(dir / c.writtenTo).rfind("# HELP zorvi_up ", 0), 0u) << contents(dir / c.writtenTo);
        const fs::file_type kept = before == fs::file_type::not_found ? fs::file_type::regular : before;
        EXPECT_EQ(fs::symlink_status(path, ec).type(), kept);  // a link stays a link
        EXPECT_EQ(namesIn(dir), c.left);
    }
    std::error_code ec;
    fs::remove_all(root, ec);
}

#ifndef _WIN32
// The disk fills while the new text is written: the file keeps its old text
// whole, no temporary is left, and the line says so.
TEST(WriteMetrics, AFullDiskKeepsTheOldFile) {
    const std::string root = testdir::make("zorvi-metrics-full");
    ASSERT_FALSE(root.empty());
    const fs::path path = fs::path(root) / "x.prom";
    ASSERT_TRUE(writeText(path, "old\n"));
    FakeUc uc;
    OutCapture capture;
    Result r = kOk;
    {
        FileSizeLimit limit(64);
        ASSERT_TRUE(limit.ok());
        r = writeMetrics(uc.context(), false, path.string().c_str());
    }
    EXPECT_EQ(r, kLinkFailure);  // the read's failure comes first
    EXPECT_EQ(contents(path), "old\n");
    EXPECT_EQ(namesIn(root), std::set<std::string>{"x.prom"});
    const std::string line = "*** Failed to write metrics file '" + path.string() + "'.\n";
    EXPECT_TRUE(capture.text().ends_with(line)) << capture.text();
    std::error_code ec;
    fs::remove_all(root, ec);
}
#endif

}  // namespace
