// End to end: the sensor and black-box verbs of zorviutil against the
// simulated board.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e_harness.h"

using e2e::SimBoard;
using e2e::splitLines;

namespace {

const std::string kRule = "-------------------------------------------------------------------------------";

// The bracketed channel name at the end of an ADC/TMP line.
std::string channelName(const std::string& line) {
    const size_t open = line.rfind('[');
    if (open == std::string::npos || line.back() != ']') return "<no name>";
    return line.substr(open + 1, line.size() - open - 2);
}

std::vector<std::string> channelNames(const std::string& out) {
    std::vector<std::string> names;
    for (const std::string& line : splitLines(out)) {
        if (line.rfind("  ADC", 0) == 0 && line.find("(#") != std::string::npos) names.push_back(channelName(line));
        if (line.rfind("  TMP", 0) == 0 && line.find("(#") != std::string::npos) names.push_back(channelName(line));
    }
    return names;
}

// Lines outside the decoded pages (those start with two blanks).
std::vector<std::string> skeleton(const std::string& out) {
    std::vector<std::string> lines;
    for (const std::string& line : splitLines(out)) {
        if (line.rfind("  ", 0) != 0) lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> listing(const char* type, std::initializer_list<unsigned> pages) {
    std::vector<std::string> lines = {kRule};
    for (unsigned p : pages) {
        lines.push_back(std::string("Black box ") + type + " record (page " + std::to_string(p) + "):");
        lines.push_back(kRule);
    }
    return lines;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Every model's page and its channel names are checked without a link
// (tests/records); here the verb's requests and the page's frame.
TEST(E2eSensors, DisplaySensorsReadsTheVpdThenThePage) {
    SimBoard board({"--model", "1413"});
    ASSERT_TRUE(board.ok()) << board.error();
    const auto r = board.run({"-usbcom", "{port}", "display-sensors"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const auto lines = splitLines(r.out);
    ASSERT_EQ(lines.size(), 50u) << r.out;  // heading + 49 page lines
    EXPECT_EQ(lines[0], "Human-readable Sensor Page:");
    const auto names = channelNames(r.out);
    ASSERT_EQ(names.size(), 18u) << r.out;
    EXPECT_EQ(names[0], "Power in (15V to 30V)");
    EXPECT_EQ(board.requests(), (std::vector<std::string>{"03 86", "05 8C", "05 89"}));
}

TEST(E2eSensors, DisplaySensorsRawDumpsTheWholePage) {
    SimBoard board({"--model", "1308"});
    ASSERT_TRUE(board.ok()) << board.error();
    const auto r = board.run({"-usbcom", "{port}", "display-sensors-raw"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const auto lines = splitLines(r.out);
    ASSERT_EQ(lines.size(), 6u) << r.out;
    EXPECT_EQ(lines[0], "Raw Sensor Page:");
    EXPECT_EQ(lines[1], "      +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F");
    const char* rowLabels[] = {"0x00: ", "0x10: ", "0x20: ", "0x30: "};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[2 + i].rfind(rowLabels[i], 0), 0u) << lines[2 + i];
        EXPECT_EQ(lines[2 + i].size(), 6u + 16u * 3u + 16u) << lines[2 + i];
    }
    EXPECT_EQ(board.requests(), (std::vector<std::string>{"03 86", "05 89"}));
}

// The simulated black box holds clobber records 0-2, 4-7, 9-12, 14-16 and
// 21 (the rest erased) and noclobber records 24, 25, 27, 28 and 30, with
// elapsed times that put them in this order, newest first.
const std::initializer_list<unsigned> kClobberOrder = {12, 7, 16, 4, 10, 1, 0, 15, 6, 21, 11, 5, 14, 2, 9};
const std::initializer_list<unsigned> kNoclobberOrder = {27, 28, 24, 30, 25};

TEST(E2eSensors, BlackBoxSortsFiltersAndCounts) {
    SimBoard board({"--model", "1353"});
    ASSERT_TRUE(board.ok()) << board.error();
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> expected;
        size_t recordReads;
    };
    const Case cases[] = {
        {{}, concat(concat(listing("clobber", kClobberOrder), {""}), listing("noclobber", kNoclobberOrder)), 31},
        {{"both"}, concat(concat(listing("clobber", kClobberOrder), {""}), listing("noclobber", kNoclobberOrder)),
         31},
        {{"clobber"}, listing("clobber", kClobberOrder), 24},
        {{"noclobber"}, listing("noclobber", kNoclobberOrder), 7},
        {{"clobber", "3"}, listing("clobber", {12, 7, 16}), 24},
        {{"noclobber", "30"}, listing("noclobber", kNoclobberOrder), 7},
        {{"both", "1"}, concat(concat(listing("clobber", {12}), {""}), listing("noclobber", {27})), 31},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"-usbcom", "{port}", "display-black-box"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(testing::Message() << "arguments: " << testing::PrintToString(c.args));
        board.clearRequests();
        const auto r = board.run(args);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(skeleton(r.out), c.expected);
        const auto rq = board.requests();
        ASSERT_EQ(rq.size(), 2u + c.recordReads);
        EXPECT_EQ(rq[1], "05 8C");
        const unsigned first = c.recordReads == 7 ? 24 : 0;
        for (size_t i = 0; i < c.recordReads; ++i) {
            char expected[16];
            std::snprintf(expected, sizeof expected, "05 8A %02X", static_cast<unsigned>(first + i));
            EXPECT_EQ(rq[2 + i], expected);
        }
    }
    // The listed pages carry their own readings: the newest clobber record's
    // elapsed time.
    const auto r = board.run({"-usbcom", "{port}", "display-black-box", "clobber", "1"});
    EXPECT_NE(r.out.find("Black box clobber record (page 12):\n  ETC         = { 0x18 0x80 0x06 0x00 } => 426008 "
                         "(0x00068018)\n"),
              std::string::npos)
        << r.out;
}

TEST(E2eSensors, BlackBoxReadFailureStopsAndKeepsWhatWasRead) {
    // Request 1 is the product ID, 2 the VPD, 3 + k black-box record k:
    // record 5 answers status 0x03.
    SimBoard board({"--model", "1353", "--status", "8=3"});
    ASSERT_TRUE(board.ok()) << board.error();
    const auto r = board.run({"-usbcom", "{port}", "display-black-box"});
    EXPECT_EQ(r.exitCode, 102) << r.out;
    EXPECT_EQ(skeleton(r.out),
              concat({"*** ZORVI returned status 0x03 for Request Black Box record command",
                      "*** Failed to read black-box clobber record with index 5."},
                     listing("clobber", {4, 1, 0, 2})));
    EXPECT_EQ(board.requests().size(), 8u);
}

TEST(E2eSensors, OverrideShowsInTheReadingsUntilReleased) {
    SimBoard board({"--model", "1308"});
    ASSERT_TRUE(board.ok()) << board.error();
    auto r = board.run({"-usbcom", "{port}", "override-sensor", "15", "0x1250"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "");
    r = board.run({"-usbcom", "{port}", "override-sensor", "10", "8192"});
    EXPECT_EQ(r.exitCode, 0) << r.out;

    const std::string tempLine =
        "  TMP01 (#15) = { 0x50 0x12 }           => 0x1250 => 19.850 deg. C [FPGA temperature]\n";
    const std::string currentLine =
        "  ADC10 (#10) = { 0x00 0x20 }           => 0x2000 => 2.000 A [12V current (edge conn.)]\n";
    r = board.run({"-usbcom", "{port}", "display-sensors"});
    EXPECT_NE(r.out.find(tempLine), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(currentLine), std::string::npos) << r.out;

    board.clearRequests();
    r = board.run({"-usbcom", "{port}", "release-sensor", "15"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(board.requests(), (std::vector<std::string>{"03 86", "05 81 0F 00 00 00 00 00"}));
    r = board.run({"-usbcom", "{port}", "display-sensors"});
    EXPECT_EQ(r.out.find(tempLine), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(currentLine), std::string::npos) << r.out;  // still overridden
    EXPECT_NE(r.out.find("  TMP01 (#15) = "), std::string::npos);
}

TEST(E2eSensors, OverrideOfAChannelTheModelLacksOrABadIndex) {
    SimBoard board({"--model", "1308"});
    ASSERT_TRUE(board.ok()) << board.error();
    // Channel 16 is not fitted on this model.
    auto r = board.run({"-usbcom", "{port}", "override-sensor", "16", "100"});
    EXPECT_EQ(r.exitCode, 103);
    EXPECT_EQ(r.out, "*** ZORVI returned status 0x01 => Invalid sensor index\n");
    r = board.run({"-usbcom", "{port}", "release-sensor", "200"});
    EXPECT_EQ(r.exitCode, 103);
    EXPECT_EQ(r.out, "*** ZORVI returned status 0x01 => Invalid sensor index\n");

    board.clearRequests();
    r = board.run({"-usbcom", "{port}", "override-sensor", "256", "1"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "*** Sensor index must be in the range 0 to 255.\n");
    EXPECT_EQ(board.requests(), (std::vector<std::string>{"03 86"}));
}

}  // namespace
