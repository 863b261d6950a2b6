// End to end: write-metrics against the simulated board, its file checked
// by the programs that consume it (promtool; node_exporter's textfile
// collector, fetched with curl), the systemd units by systemd-analyze. A
// test whose program is not installed skips.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>

#include "e2e_harness.h"

namespace {

const std::string kBoard = "board=\"100001\"";  // the simulator's serial number

#define SKIP_WITHOUT(program) \
    if (access(program, X_OK) != 0) GTEST_SKIP() << program << " is not installed"

TEST(E2eMetrics, PromtoolAcceptsTheFileAndNodeExporterServesItWithTheBoardLabel) {
    SKIP_WITHOUT("/usr/bin/promtool");
    SKIP_WITHOUT("/usr/bin/prometheus-node-exporter");
    SKIP_WITHOUT("/usr/bin/curl");
    e2e::SimBoard board;
    ASSERT_TRUE(board.ok()) << board.error();
    const std::string folder = board.tempDir(), file = folder + "/zorvi-board.prom";
    std::string text;
    ASSERT_EQ(board.run({"-usbcom", "{port}", "write-metrics", file}).exitCode, 0);
    ASSERT_TRUE(e2e::readFile(file, text));
    const auto check = e2e::runProgram("/usr/bin/promtool", {"check", "metrics"}, text);
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_EQ(check.out + check.err, "");
    // A port nothing listens on now (bound to port 0, then let go).
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t length = sizeof a;
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&a), &length), 0);
    close(s);
    const std::string address = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    // curl retries (once a second, for up to two minutes) until the exporter
    // answers; then the exporter is stopped.
    std::string served;
    bool fetched = false;
    e2e::RunExtras extras;
    extras.whileRunning = [&](pid_t pid) {
        if (fetched) return;
        fetched = true;
        served = e2e::runProgram("/usr/bin/curl", {"-sf", "--retry", "120", "--retry-connrefused", "--retry-delay", "1",
                                                   "http://" + address + "/metrics"}, "", {}, 150000).out;
        kill(pid, SIGTERM);
    };
    const auto exporter = e2e::runProgram("/usr/bin/prometheus-node-exporter",
                                          {"--web.listen-address=" + address, "--collector.disable-defaults",
                                           "--collector.textfile", "--collector.textfile.directory=" + folder},
                                          "", {}, 180000, extras);
    ASSERT_FALSE(served.empty()) << "node_exporter never served the file: " << exporter.err;
    EXPECT_NE(served.find("node_textfile_scrape_error 0\n"), std::string::npos) << served;
    std::set<std::string> families;  // the exporter sorts the labels by name
    for (const std::string& line : e2e::splitLines(served)) {
        if (line.rfind("zorvi_", 0) != 0) continue;
        families.insert(line.substr(0, line.find('{')));
        EXPECT_NE(line.find(kBoard), std::string::npos) << line;
    }
    EXPECT_EQ(families, (std::set<std::string>{"zorvi_up", "zorvi_board_info", "zorvi_voltage_volts",
                                               "zorvi_temperature_celsius", "zorvi_sensor_state", "zorvi_status_bit",
                                               "zorvi_mezzanine_bit", "zorvi_black_box_records",
                                               "zorvi_scrape_duration_seconds", "zorvi_mode",
                                               "zorvi_elapsed_time_seconds", "zorvi_events",
                                               "zorvi_board_power_on",
                                               "zorvi_last_success_timestamp_seconds"}));
}

TEST(E2eMetrics, StandardOutputAFileReplacedWholeAndAFailedRead) {
    e2e::SimBoard board;
    ASSERT_TRUE(board.ok()) << board.error();
    auto r = board.run({"-usbcom", "{port}", "write-metrics", "-"});
    EXPECT_EQ(r.out.rfind("# HELP zorvi_up ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("zorvi_up{" + kBoard + "} 1\n"), std::string::npos);
    // An old file is replaced, and nothing else is left in the folder.
    const std::string folder = board.tempDir() + "/replaced", path = folder + "/zorvi-board.prom";
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(e2e::writeFile(path, "old\n"));
    r = board.run({"-usbcom", "{port}", "+json", "write-metrics", path});
    EXPECT_NE(r.out.find("\"file\": \"" + path + "\",\n  \"series\": "), std::string::npos) << r.out;
    std::string text;
    ASSERT_TRUE(e2e::readFile(path, text));
    EXPECT_NE(text.find("zorvi_up{" + kBoard + "} 1\n"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    // A firmware that does not serve the board power: no power series, no
    // failure, nothing printed.
    e2e::SimBoard noPower({"--status", "05.98=1"});
    ASSERT_TRUE(noPower.ok()) << noPower.error();
    r = noPower.run({"-usbcom", "{port}", "write-metrics", "-"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("# HELP zorvi_up ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("zorvi_board_power_on"), std::string::npos);
    EXPECT_NE(r.out.find("zorvi_up{" + kBoard + "} 1\n"), std::string::npos);
    // Every failed scrape rewrites the file: up 0, one reason, the board's
    // label and the last success carried over from the file it replaces.
    const std::string success = text.substr(text.find("zorvi_last_success_timestamp_seconds{"));
    ASSERT_NE(success.find("} "), std::string::npos) << text;
    const std::string lastSuccess = success.substr(0, success.find('\n') + 1);
    const struct {
        const char* what;
        std::vector<std::string> simArgs;
        const char* port;  ///< as given to -usbcom
        bool held;         ///< another program holds the port
        const char* reason;
        int exitCode;      ///< -1: that of display-sensors on the same board
    } rows[] = {
        {"refused sensor page", {"--status", "05.89=1"}, "{port}", false, "status", -1},
        {"service mode", {"--service"}, "{port}", false, "service_mode", 13},
        {"port held", {}, "{port}", true, "port_busy", 100},
        {"no such port", {}, "{port}-none", false, "port_not_found", 100},
        {"board silent", {"--fault", "no-reply@1"}, "{port}", false, "no_board_reply", 102},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        // A lock on the pseudo-terminal holds nothing for a Windows tool.
        if (row.held && !e2e::windowsBinDir().empty()) continue;
        e2e::SimBoard failing(row.simArgs);
        ASSERT_TRUE(failing.ok()) << failing.error();
        const int held = row.held ? open(failing.ptyPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
        if (row.held) {
            ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
        }
        r = failing.run({"-usbcom", row.port, "write-metrics", path});
        if (held >= 0) close(held);
        EXPECT_EQ(r.exitCode,
                  row.exitCode >= 0 ? row.exitCode : failing.run({"-usbcom", "{port}", "display-sensors"}).exitCode);
        ASSERT_TRUE(e2e::readFile(path, text));
        EXPECT_NE(text.find("zorvi_up{" + kBoard + "} 0\n"), std::string::npos) << text;
        EXPECT_NE(text.find("zorvi_scrape_error{" + kBoard + ",reason=\"" + row.reason + "\"} 1\n"),
                  std::string::npos) << text;
        EXPECT_NE(text.find(lastSuccess), std::string::npos) << text;
        EXPECT_EQ(text.find("zorvi_board_info"), std::string::npos) << text;
        EXPECT_EQ(text.find("zorvi_mode{" + kBoard + ",mode=\"service\"} 1\n") != std::string::npos,
                  row.simArgs == std::vector<std::string>{"--service"});
    }
}

TEST(E2eMetrics, SystemdAnalyzeVerifiesTheUnits) {
    SKIP_WITHOUT("/usr/bin/systemd-analyze");
    // systemd-analyze wants the program to exist: the copies name the build's.
    const std::string folder = e2e::makeTempDir("zorvi-units"), instance = "zorvi-metrics@dev-by\\x2did-usb\\x2d1";
    for (const char* unit :
         {"zorvi-metrics@.service", "zorvi-metrics@.timer", "zorvi-metrics-all.service", "zorvi-metrics-all.timer"}) {
        std::string text;
        ASSERT_TRUE(e2e::readFile(e2e::schemaDir() + "/../../packaging/" + unit, text)) << unit;
        const std::string installed = "/usr/bin/zorviutil ";
        if (size_t at = text.find(installed); at != std::string::npos)
            text.replace(at, installed.size() - 1, e2e::toolPath());
        ASSERT_TRUE(e2e::writeFile(folder + "/" + unit, text));
    }
    const std::string unitPath = folder + "/" + instance, all = folder + "/zorvi-metrics-all";
    const auto r = e2e::runProgram("/usr/bin/systemd-analyze", {"verify", "--man=no", unitPath + ".service",
                                                                 unitPath + ".timer", all + ".service", all + ".timer"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");
    // Their exposure as systemd rates it stays "OK" (below 2) as measured:
    // 0.8 for both, a system user's without capabilities, network or writes
    // beyond the textfile folder.
    for (const std::string& service : {unitPath + ".service", all + ".service"}) {
        const auto security =
            e2e::runProgram("/usr/bin/systemd-analyze", {"security", "--offline=true", "--no-pager", service});
        const size_t at = security.out.find("Overall exposure level for ");
        ASSERT_NE(at, std::string::npos) << security.out << security.err;
        const size_t colon = security.out.find(": ", at);
        ASSERT_NE(colon, std::string::npos) << security.out;
        EXPECT_LT(std::strtod(security.out.c_str() + colon + 2, nullptr), 2.0) << security.out.substr(at);
    }
    // Their user, as systemd-sysusers makes it in a tree of its own: a
    // system user in dialout that cannot log in.
    const std::string root = folder + "/root";
    std::filesystem::create_directories(root + "/usr/lib/sysusers.d");
    std::filesystem::create_directories(root + "/etc");
    std::filesystem::copy_file(e2e::schemaDir() + "/../../packaging/zorviutil.sysusers",
                               root + "/usr/lib/sysusers.d/zorviutil.conf");
    const auto users = e2e::runProgram("/usr/bin/systemd-sysusers", {"--root=" + root, "zorviutil.conf"});
    EXPECT_EQ(users.exitCode, 0) << users.err;
    std::string passwd, group;
    ASSERT_TRUE(e2e::readFile(root + "/etc/passwd", passwd) && e2e::readFile(root + "/etc/group", group));
    EXPECT_NE(passwd.find("zorvi-metrics:x:"), std::string::npos) << passwd;
    EXPECT_NE(passwd.find(":/nonexistent:/usr/sbin/nologin\n"), std::string::npos) << passwd;
    EXPECT_NE(group.find("dialout:x:"), std::string::npos) << group;
    EXPECT_NE(group.find(":zorvi-metrics\n"), std::string::npos) << group;
    std::filesystem::remove_all(folder);
}

}  // namespace
