// Ctrl-C and termination requests during a long verb: the exchange under
// way finishes, the board is handed back (service mode left, the lengthy SPI
// operation ended), no file appears under the target name, the process ends
// by the signal, and the next run finds the port free.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace {

using Lines = std::vector<std::string>;

struct StopRow {
    const char* name;
    int signal;
    Lines simArgs;
    Lines args;               // {out} is the save file
    size_t signalAfter;       // requests logged before the signal goes
    Lines lastRequests;       // how the run must end on the line (prefixes)
    Lines nextRun;            // a second run right after, which must succeed
};

const StopRow kStops[] = {
    // A paced line makes the 254 page reads take seconds, so the signal
    // surely lands among them.
    {"save-firmware", SIGINT, {"--baud", "115200"}, {"-psuart", "{port}", "save-firmware", "{out}"}, 8,
     {"03 82", "03 86"}, {"-psuart", "{port}", "save-vpd", "{out}"}},
    {"spi-save-to-bin", SIGTERM, {"--baud", "115200", "--spi-chip", "0=w25q128"},
     {"-usbcom", "{port}", "spi-save-to-bin", "0", "{out}", "0", "0x10000"}, 20, {"05 91 03"},
     {"-usbcom", "{port}", "spi-save-to-bin", "0", "{out}", "0", "16"}},
};

TEST(StopRequest, LongVerbStopsCleanly) {
    for (const StopRow& row : kStops) {
        SCOPED_TRACE(row.name);
        e2e::SimBoard board(row.simArgs);
        ASSERT_TRUE(board.ok()) << board.error();
        const std::string out = board.tempDir() + "/saved.bin";
        auto withOut = [&](Lines args) {
            for (auto& a : args)
                if (a == "{out}") a = out;
            return args;
        };
        bool sent = false;
        e2e::RunExtras extras;
        extras.whileRunning = [&](pid_t pid) {
            if (!sent && board.requests().size() >= row.signalAfter) {
                kill(pid, row.signal);
                sent = true;
            }
        };
        const e2e::RunResult r = board.run(withOut(row.args), "", {}, 60000, extras);
        ASSERT_TRUE(sent);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 128 + row.signal) << r.out;
        EXPECT_NE(r.out.find(std::string("*** Stopped by ") + (row.signal == SIGINT ? "SIGINT" : "SIGTERM") +
                             "; no further commands are sent to the uC.\n"),
                  std::string::npos)
            << r.out;
        const Lines log = board.requests();
        ASSERT_GE(log.size(), row.lastRequests.size());
        for (size_t i = 0; i < row.lastRequests.size(); ++i)
            EXPECT_EQ(log[log.size() - row.lastRequests.size() + i].rfind(row.lastRequests[i], 0), 0u) << log.back();
        // Nothing under the target name, nothing half-written beside it.
        for (const auto& e : std::filesystem::directory_iterator(board.tempDir()))
            EXPECT_EQ(e.path().filename().string().find("saved.bin"), std::string::npos) << e.path();

        // The uC runs its normal firmware again, and the port is free.
        const e2e::RunResult id = board.run({"-usbcom", "{port}", "product-id"});
        EXPECT_EQ(id.out, "ZORVI firmware Product ID is 721(0x2D1)\n");
        const e2e::RunResult again = board.run(withOut(row.nextRun));
        EXPECT_EQ(again.exitCode, 0) << again.out;
        EXPECT_TRUE(std::filesystem::exists(out));
    }
}

}  // namespace
