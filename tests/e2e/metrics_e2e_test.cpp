// End to end: write-metrics against the simulated board, its file checked
// by the programs that consume it (promtool, node_exporter's textfile
// collector, fetched with curl), and the systemd units checked by
// systemd-analyze. A test whose program is not installed skips.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "e2e_harness.h"

using e2e::SimBoard;

namespace fs = std::filesystem;

namespace {

constexpr char kBoard[] = "board=\"100001\"";  // the simulator's serial number

/// "" when the program is installed, else the line to skip with.
std::string missing(const std::string& program) {
    return access(program.c_str(), X_OK) == 0 ? "" : program + " is not installed";
}

/// A TCP port on the loopback interface that nothing listens on right now.
unsigned freePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    unsigned port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
}

/// A folder for the metrics files, and its one file written by the verb.
struct MetricsFile {
    std::string folder;
    std::string path;
    std::string text;
};

MetricsFile writeMetrics(const SimBoard& board) {
    MetricsFile m;
    m.folder = board.tempDir() + "/textfile";
    fs::create_directories(m.folder);
    m.path = m.folder + "/zorvi-board.prom";
    const auto r = board.run({"-usbcom", "{port}", "write-metrics", m.path});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(e2e::readFile(m.path, m.text));
    return m;
}

TEST(E2eMetrics, PromtoolFindsNothingToComplainAbout) {
    if (std::string skip = missing("/usr/bin/promtool"); !skip.empty()) GTEST_SKIP() << skip;
    SimBoard board;
    ASSERT_TRUE(board.ok()) << board.error();
    const MetricsFile m = writeMetrics(board);
    EXPECT_NE(m.text.find(std::string("zorvi_up{") + kBoard + "} 1\n"), std::string::npos) << m.text;
    const auto check = e2e::runProgram("/usr/bin/promtool", {"check", "metrics"}, m.text);
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_EQ(check.out + check.err, "");
}

TEST(E2eMetrics, NodeExporterServesTheSeriesWithTheBoardLabel) {
    for (const char* program : {"/usr/bin/prometheus-node-exporter", "/usr/bin/curl"})
        if (std::string skip = missing(program); !skip.empty()) GTEST_SKIP() << skip;
    SimBoard board;
    ASSERT_TRUE(board.ok()) << board.error();
    const MetricsFile m = writeMetrics(board);
    const std::string address = "127.0.0.1:" + std::to_string(freePort());

    // Fetch /metrics while the exporter runs, every quarter second until it
    // serves the file; then stop it. The run's time limit is only a guard.
    std::string served;
    auto lastTry = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    e2e::RunExtras extras;
    extras.whileRunning = [&](pid_t pid) {
        if (!served.empty() || std::chrono::steady_clock::now() - lastTry < std::chrono::milliseconds(250)) return;
        lastTry = std::chrono::steady_clock::now();
        const auto fetch = e2e::runProgram("/usr/bin/curl", {"-sf", "http://" + address + "/metrics"}, "", {}, 30000);
        if (fetch.exitCode != 0 || fetch.out.find("zorvi_up") == std::string::npos) return;
        served = fetch.out;
        kill(pid, SIGTERM);
    };
    const auto exporter = e2e::runProgram("/usr/bin/prometheus-node-exporter",
                                          {"--web.listen-address=" + address, "--collector.disable-defaults",
                                           "--collector.textfile", "--collector.textfile.directory=" + m.folder},
                                          "", {}, 120000, extras);
    ASSERT_FALSE(served.empty()) << "node_exporter never served the file: " << exporter.err;

    EXPECT_NE(served.find("node_textfile_scrape_error 0\n"), std::string::npos) << served;
    // Every zorvi_ series has the board label (the exporter sorts labels by name).
    std::set<std::string> families;
    for (const std::string& line : e2e::splitLines(served)) {
        if (line.rfind("zorvi_", 0) != 0) continue;
        families.insert(line.substr(0, line.find('{')));
        EXPECT_NE(line.find(kBoard), std::string::npos) << line;
    }
    EXPECT_EQ(families, (std::set<std::string>{"zorvi_up", "zorvi_board_info", "zorvi_voltage_volts",
                                               "zorvi_temperature_celsius", "zorvi_sensor_state", "zorvi_status_bit",
                                               "zorvi_mezzanine_bit", "zorvi_black_box_records",
                                               "zorvi_scrape_duration_seconds"}));
}

TEST(E2eMetrics, StandardOutputJsonSummaryAndAFileReplacedWhole) {
    SimBoard board;
    ASSERT_TRUE(board.ok()) << board.error();
    auto r = board.run({"-usbcom", "{port}", "write-metrics", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("# HELP zorvi_up ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(std::string("zorvi_up{") + kBoard + "} 1\n"), std::string::npos);

    // An old file is replaced, and nothing else is left in the folder.
    const std::string folder = board.tempDir() + "/replaced";
    fs::create_directories(folder);
    const std::string path = folder + "/zorvi-board.prom";
    ASSERT_TRUE(e2e::writeFile(path, "old\n"));
    r = board.run({"-usbcom", "{port}", "+json", "write-metrics", path});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(folderEntries(folder), std::vector<std::string>{"zorvi-board.prom"});
    std::string text;
    ASSERT_TRUE(e2e::readFile(path, text));
    EXPECT_EQ(text.rfind("# HELP zorvi_up ", 0), 0u);
    std::smatch series;
    EXPECT_TRUE(std::regex_search(r.out, series, std::regex("\"series\": ([0-9]+)"))) << r.out;
    EXPECT_NE(r.out.find("\"file\": \"" + path + "\""), std::string::npos) << r.out;
    const std::string problems = e2e::schemaProblems("summary.schema.json", r.out);
    if (problems.rfind("skip:", 0) != 0) {
        EXPECT_EQ(problems, "");
    }
}

TEST(E2eMetrics, AFailedReadStillWritesUpZero) {
    // The board refuses its sensor page; the VPD read before names it.
    SimBoard board({"--status", "05.89=1"});
    ASSERT_TRUE(board.ok()) << board.error();
    const std::string path = board.tempDir() + "/zorvi-board.prom";
    const auto r = board.run({"-usbcom", "{port}", "write-metrics", path});
    EXPECT_EQ(r.exitCode, board.run({"-usbcom", "{port}", "display-sensors"}).exitCode) << r.out;
    EXPECT_NE(r.exitCode, 0);
    std::string text;
    ASSERT_TRUE(e2e::readFile(path, text));
    EXPECT_NE(text.find(std::string("zorvi_up{") + kBoard + "} 0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("zorvi_scrape_duration_seconds{"), std::string::npos) << text;
    EXPECT_EQ(text.find("zorvi_board_info"), std::string::npos) << text;
}

TEST(E2eMetrics, SystemdAnalyzeVerifiesTheUnits) {
    if (std::string skip = missing("/usr/bin/systemd-analyze"); !skip.empty()) GTEST_SKIP() << skip;
    // The units name the installed program; systemd-analyze wants it to
    // exist, so the copies name the build's.
    const std::string packaging = e2e::schemaDir() + "/../../packaging";
    const std::string folder = e2e::makeTempDir("zorvi-units");
    ASSERT_FALSE(folder.empty());
    for (const char* unit : {"zorvi-metrics@.service", "zorvi-metrics@.timer"}) {
        std::string text;
        ASSERT_TRUE(e2e::readFile(packaging + "/" + unit, text)) << unit;
        const size_t at = text.find("/usr/bin/zorviutil ");
        if (at != std::string::npos) text.replace(at, std::string("/usr/bin/zorviutil").size(), e2e::toolPath());
        ASSERT_TRUE(e2e::writeFile(folder + "/" + unit, text));
    }
    const std::string instance = "zorvi-metrics@dev-serial-by\\x2did-usb\\x2dZORVI_1-if00";
    const auto r = e2e::runProgram("/usr/bin/systemd-analyze",
                                   {"verify", "--man=no", folder + "/" + instance + ".service",
                                    folder + "/" + instance + ".timer"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");
    fs::remove_all(folder);
}

}  // namespace
