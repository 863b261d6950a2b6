// Interruption sweep: every writing verb has its link cut at every exchange
// of a small operation. Afterwards nothing outside the requested range has
// changed, each byte inside it is old, erased or new, and where a block was
// left erased the recovery file holds it and the printed command puts it back.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace {

using Lines = std::vector<std::string>;

constexpr const char* kChipFile = "spi0-w25q128.bin";  // a 16 MiB part: the whole chip is compared
constexpr uint32_t kPatternStart = 0xF000, kPatternEnd = 0x22000;

std::string bytes(size_t n, int seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 37 + static_cast<size_t>(seed)) & 0xFF);
    return s;
}

// One Intel Hex section of `data` at `address` (below 4 GiB, one segment).
std::string hexFile(uint32_t address, const std::string& data) {
    auto record = [](uint32_t type, uint32_t offset, const std::string& payload) {
        std::string line = ":";
        unsigned sum = static_cast<unsigned>(payload.size()) + (offset >> 8) + (offset & 0xFF) + type;
        char b[32];
        std::snprintf(b, sizeof b, "%02X%04X%02X", static_cast<unsigned>(payload.size()), offset, type);
        line += b;
        for (char c : payload) {
            std::snprintf(b, sizeof b, "%02X", static_cast<unsigned char>(c));
            line += b;
            sum += static_cast<unsigned char>(c);
        }
        std::snprintf(b, sizeof b, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        return line + b;
    };
    const std::string upper = {static_cast<char>(address >> 24), static_cast<char>(address >> 16)};
    return record(4, 0, upper) + record(0, address & 0xFFFF, data) + record(1, 0, "");
}

struct WriteRow {
    const char* verb;
    bool spi;              // state in the chip file (stored complemented), else appflash.bin
    uint32_t start;        // the requested range
    std::string newData;   // what the range holds after success (erase: 0xFF)
    Lines args;            // after the link option; {in} is the input file
    std::string input;     // contents of {in}
};

const std::vector<WriteRow>& writeRows() {
    static const std::vector<WriteRow> rows = {
        {"update-vpd", false, 0x1FF00, bytes(8, 1), {"update-vpd", "{in}"}, bytes(8, 1)},
        {"update-brdcfg", false, 0x1FC00, bytes(16, 2), {"update-brdcfg", "{in}"}, bytes(16, 2)},
        {"update-firmware", false, 0, bytes(600, 3), {"update-firmware", "{in}"}, bytes(600, 3)},
        {"spi-erase", true, 0x10010, std::string(0x20, '\xFF'), {"spi-erase", "0", "0x10010", "0x20"}, ""},
        {"spi-program-bin", true, 0x10008, bytes(16, 4), {"spi-program-bin", "0", "{in}", "0x10008"}, bytes(16, 4)},
        {"spi-program-mcs", true, 0x20004, bytes(8, 5), {"spi-program-mcs", "0", "{in}"}, hexFile(0x20004, bytes(8, 5))},
        // +skip-same: a block that needs its erase, and one that page programs
        // alone can change (the chip is erased there).
        {"spi-program-bin +skip-same", true, 0x10008, bytes(16, 4),
         {"+skip-same", "spi-program-bin", "0", "{in}", "0x10008"}, bytes(16, 4)},
        {"spi-program-mcs +skip-same", true, 0x20004, bytes(8, 5), {"+skip-same", "spi-program-mcs", "0", "{in}"},
         hexFile(0x20004, bytes(8, 5))},
        {"spi-program-bin +skip-same, no erase", true, 0x30010, bytes(16, 6),
         {"+skip-same", "spi-program-bin", "0", "{in}", "0x30010"}, bytes(16, 6)},
    };
    return rows;
}

// The board's stored image: the application flash, or the first 256 KiB of
// the SPI chip as it reads. The rest of the chip must still read erased:
// its file is a hole there (or zeros, the complement of 0xFF).
constexpr off_t kChipWindow = 0x40000;
std::string image(const e2e::SimBoard& board, bool spi) {
    std::string content;
    if (!spi) {
        e2e::readFile(board.stateDir() + "/appflash.bin", content);
        return content;
    }
    const int fd = ::open((board.stateDir() + "/" + kChipFile).c_str(), O_RDONLY);
    if (fd < 0) return content;
    content.resize(kChipWindow);
    if (pread(fd, content.data(), content.size(), 0) != kChipWindow) content.clear();
    for (char& c : content) c = static_cast<char>(~c);
    char buf[65536];
    for (off_t at = lseek(fd, kChipWindow, SEEK_DATA); at >= 0 && !content.empty();) {
        const ssize_t n = pread(fd, buf, sizeof buf, at);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i)
            if (buf[i] != 0) content.clear();  // written outside the window
        at += n;
    }
    ::close(fd);
    return content;
}

// Neighbours of the SPI ranges hold data, so a block left erased shows.
bool fillPattern(const e2e::SimBoard& board) {
    const std::string pattern = bytes(kPatternEnd - kPatternStart, 9);
    std::string stored = pattern;
    for (char& c : stored) c = static_cast<char>(~c);
    const int fd = ::open((board.stateDir() + "/" + kChipFile).c_str(), O_WRONLY);
    if (fd < 0) return false;
    const bool ok = pwrite(fd, stored.data(), stored.size(), kPatternStart) == static_cast<ssize_t>(stored.size());
    ::close(fd);
    return ok;
}

std::string wanted(const WriteRow& row, const std::string& before);

// What is wrong with `after`, once the recovery file `recovery` (if any, as
// the tool names it) is laid over it: a byte outside the range changed, or
// one inside is neither old, erased (SPI) nor new; or the file does not
// hold its block as the operation must leave it.
std::string compare(const WriteRow& row, const std::string& before, std::string after,
                    const std::string& recovery = "") {
    if (!recovery.empty()) {
        std::string path = recovery;
        if (path.rfind("Z:", 0) == 0) {  // the Windows tool's name for it
            path.erase(0, 2);
            std::replace(path.begin(), path.end(), '\\', '/');
        }
        std::string saved;
        unsigned block = 0;
        const std::string name = path.substr(path.rfind('/') + 1);
        if (!e2e::readFile(path, saved) || std::sscanf(name.c_str(), "board%*u-spi-chip0-block-0x%X.bin", &block) != 1 ||
            block + saved.size() > after.size())
            return "no recovery file " + recovery + "; ";
        if (saved != wanted(row, before).substr(block, saved.size())) return "recovery file differs from the block; ";
        after.replace(block, saved.size(), saved);
    }
    if (before.size() != after.size() || before.empty()) return "image size changed; ";
    for (size_t i = 0; i < after.size(); ++i) {
        const bool inside = i >= row.start && i < row.start + row.newData.size();
        const bool ok = inside ? (after[i] == before[i] || after[i] == row.newData[i - row.start] ||
                                  (row.spi && after[i] == '\xFF'))
                               : after[i] == before[i];
        if (!ok) {
            char b[96];
            std::snprintf(b, sizeof b, "byte 0x%zX %s the range is 0x%02X, was 0x%02X; ", i, inside ? "in" : "outside",
                          static_cast<unsigned char>(after[i]), static_cast<unsigned char>(before[i]));
            return b;
        }
    }
    return "";
}

// The recovery file the tool's printed command names ("" when none).
std::string recoveryPath(const std::string& out) {
    const std::string marker = "+++     zorviutil ";
    const size_t at = out.find(marker);
    if (at == std::string::npos) return "";
    const std::string line = out.substr(at, out.find('\n', at) - at);
    // ... spi-program-bin <chip> <path> <address>
    const size_t end = line.rfind(' '), start = line.rfind(' ', end - 1);
    return line.substr(start + 1, end - start - 1);
}

// The chip as the row's operation must leave it.
std::string wanted(const WriteRow& row, const std::string& before) {
    std::string want = before;
    want.replace(row.start, row.newData.size(), row.newData);
    return want;
}

// The tool's state folder (recovery files) for `board`, named for runs on
// another board started on the same state.
e2e::EnvList stateOf(const e2e::SimBoard& board) {
    return {{"ZORVIUTIL_STATE_DIR", e2e::toolPortName(board.toolStateDir())}};
}

Lines toolArgs(const WriteRow& row, const std::string& dir);

// Whether a state folder holds no file (or is not there at all).
bool noFiles(const std::string& folder) {
    std::error_code ec;
    return std::filesystem::is_empty(folder, ec) || ec;
}

// A plain second run of the row's command on `board`, with the tool state
// of the first run's board `first`, must leave the whole chip exact and no
// recovery file; what is wrong.
std::string runAgain(const WriteRow& row, const e2e::SimBoard& board, const e2e::SimBoard& first,
                     const std::string& dir, const std::string& before) {
    e2e::RunExtras extras;
    extras.cwd = dir;
    const e2e::RunResult again =
        board.run(toolArgs(row, dir), "", stateOf(first), 60000 + e2e::sweepTiming().startSlackMs, extras);
    std::string why;
    if (again.exitCode != 0) why += "the second run failed (exit " + std::to_string(again.exitCode) + "): " + again.out;
    if (image(board, row.spi) != wanted(row, before)) why += "the second run left the chip wrong; ";
    if (!noFiles(first.toolStateDir())) why += "a recovery file is left after the second run; ";
    return why;
}

struct Cut {
    const WriteRow* row;
    std::string fault;  // hangup@N, or (long runs) no-reply@N+
    size_t n;
};

Lines simArgsFor(const WriteRow& row) {
    return row.spi ? Lines{"--spi-chip", "0=w25q128"} : Lines{};
}

// The tool's arguments for the row, its input file in `dir`.
Lines toolArgs(const WriteRow& row, const std::string& dir) {
    Lines args = {row.spi ? "-usbcom" : "-psuart", "{port}"};
    for (const std::string& a : row.args) args.push_back(a == "{in}" ? dir + "/in.bin" : a);
    return args;
}

// One interrupted run and its checks; empty when all is well.
std::string interrupt(const Cut& cut) {
    const WriteRow& row = *cut.row;
    Lines simArgs = simArgsFor(row);
    simArgs.insert(simArgs.end(), {"--fault", cut.fault});
    e2e::SimBoard board(simArgs);
    if (!board.ok()) return "simulator did not start: " + board.error();
    const std::string dir = board.tempDir();
    if ((row.spi && !fillPattern(board)) || !e2e::writeFile(dir + "/in.bin", row.input)) return "set-up failed; ";
    const std::string before = image(board, row.spi);
    Lines args = {row.spi ? "-usbcom" : "-psuart", "{port}", "-timeout",
                  std::to_string(e2e::sweepTiming().timeoutMs)};
    for (const std::string& a : row.args) args.push_back(a == "{in}" ? dir + "/in.bin" : a);
    e2e::RunExtras extras;
    extras.cwd = dir;
    const e2e::RunResult r = board.run(args, "", {}, 60000 + e2e::sweepTiming().startSlackMs, extras);
    board.stop();
    const std::string after = image(board, row.spi);
    std::string why;
    if (r.timedOut) why += "hung; ";
    if (r.exitCode == 0 && after.substr(row.start, row.newData.size()) != row.newData) why += "success without the data; ";
    why += compare(row, before, after, recoveryPath(r.out));
    if (row.spi) {
        // The line was hung up for good: the board comes back with its
        // state, and the same command run again puts everything right.
        Lines again = simArgsFor(row);
        again.insert(again.end(), {"--state-dir", board.stateDir()});
        e2e::SimBoard back(again);
        if (!back.ok()) return why + "simulator did not restart";
        why += runAgain(row, back, board, dir, before);
    }
    return why.empty() ? "" : why + "\n" + r.out;
}

TEST(InterruptionSweep, LinkCutAtEveryExchange) {
    std::vector<Cut> cuts;
    for (const WriteRow& row : writeRows()) {
        // A clean run tells how many exchanges the operation makes (with
        // +skip-same that depends on what the chip holds: the same pattern).
        e2e::SimBoard board(simArgsFor(row));
        ASSERT_TRUE(board.ok()) << board.error();
        ASSERT_TRUE(!row.spi || fillPattern(board));
        ASSERT_TRUE(e2e::writeFile(board.tempDir() + "/in.bin", row.input));
        const e2e::RunResult r = board.run(toolArgs(row, board.tempDir()));
        ASSERT_EQ(r.exitCode, 0) << row.verb << "\n" << r.out;
        const size_t exchanges = board.requests().size();
        // Under Wine every start of the tool costs a good part of a second:
        // the Windows tool is cut at about ten exchanges spread over the
        // operation, the last one included.
        const size_t step = e2e::windowsBinDir().empty() ? 1 : std::max<size_t>(1, exchanges / 9);
        for (size_t n = 1; n <= exchanges; n = (n < exchanges && n + step > exchanges) ? exchanges : n + step) {
            cuts.push_back({&row, "hangup@" + std::to_string(n), n});
#ifdef ZORVI_SWEEP_LONG
            cuts.push_back({&row, "no-reply@" + std::to_string(n) + "+", n});
#endif
        }
    }
    std::vector<std::string> problems(cuts.size());
    e2e::forEachParallel(cuts.size(), e2e::sweepTiming().parallel, [&](size_t i) { problems[i] = interrupt(cuts[i]); });
    for (size_t i = 0; i < cuts.size(); ++i)
        EXPECT_EQ(problems[i], "") << cuts[i].row->verb << ": " << cuts[i].fault;
}

// Killed (kill -9) at exchange `k`: no failure path runs. Every byte
// outside the range is on the chip, or in the recovery file written before
// the erase; a plain second run of the same command puts the chip right.
std::string killAt(const WriteRow& row, size_t k) {
    e2e::SimBoard board({"--spi-chip", "0=w25q128", "--fault", "no-reply@" + std::to_string(k)});
    if (!board.ok()) return "simulator did not start: " + board.error();
    const std::string dir = board.tempDir();
    if (!fillPattern(board) || !e2e::writeFile(dir + "/in.bin", row.input)) return "set-up failed; ";
    const std::string before = image(board, true);
    // The uC never answers exchange k; the tool waits for it (an SPI
    // exchange for a second) and is killed there.
    bool killed = false;
    e2e::RunExtras extras;
    extras.cwd = dir;
    extras.whileRunning = [&](pid_t pid) {
        if (!killed && board.requests().size() >= k) killed = kill(pid, SIGKILL) == 0;
    };
    board.run(toolArgs(row, dir), "", {}, 60000, extras);
    Lines files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(board.toolStateDir(), ec))
        files.push_back(e.path().string());
    if (files.size() > 1) return "unexpected files, the first " + files[0];
    std::string why = compare(row, before, image(board, true), files.empty() ? "" : files[0]);
    return why + runAgain(row, board, board, dir, before);
}

TEST(InterruptionSweep, KilledAtAnyExchangeOfAPartialBlock) {
    // A killed Wine process leaves its server and the port to tidy up.
    if (!e2e::windowsBinDir().empty()) GTEST_SKIP() << "the Windows tool is not killed under Wine";
    struct Kill {
        const WriteRow* row;
        size_t k;
    };
    std::vector<Kill> kills;
    for (const WriteRow& row : writeRows()) {
        if (row.verb != std::string("spi-erase") && row.verb != std::string("spi-program-bin")) continue;
        e2e::SimBoard board(simArgsFor(row));
        ASSERT_TRUE(board.ok()) << board.error();
        ASSERT_TRUE(e2e::writeFile(board.tempDir() + "/in.bin", row.input));
        e2e::RunExtras extras;
        extras.cwd = board.tempDir();
        ASSERT_EQ(board.run(toolArgs(row, board.tempDir()), "", {}, 60000, extras).exitCode, 0) << row.verb;
        // Once restored, the block's file is gone.
        EXPECT_TRUE(noFiles(board.toolStateDir())) << row.verb;
        const Lines log = board.requests();
#ifdef ZORVI_SWEEP_LONG
        const size_t step = 1;
#else
        const size_t step = 5;  // and the erase itself and the last exchange
#endif
        for (size_t k = 1; k <= log.size(); ++k)
            if (k % step == 1 % step || k == log.size() || log[k - 1].rfind("05 90 00 04 00 20 ", 0) == 0)
                kills.push_back({&row, k});
    }
    std::vector<std::string> problems(kills.size());
    e2e::forEachParallel(kills.size(), e2e::sweepTiming().parallel,
                         [&](size_t i) { problems[i] = killAt(*kills[i].row, kills[i].k); });
    for (size_t i = 0; i < kills.size(); ++i)
        EXPECT_EQ(problems[i], "") << kills[i].row->verb << " killed at exchange " << kills[i].k;
}

}  // namespace
