// The image verbs and the service-mode verbs end to end: the real zorviutil
// against the simulated board over a pseudo-terminal. The PS UART link
// waits a real second after every switch, so only a few runs switch; the
// others start the board in service mode (its service switch).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace {

using e2e::SimBoard;
using Lines = std::vector<std::string>;

// Drawing number 1437 keeps its service-mode permissions on the PS UART link.
const std::vector<std::string> kPermittedBoard = {"--model", "1437"};
const std::vector<std::string> kPermittedBoardInService = {"--model", "1437", "--service"};
// In service mode the PS UART opener reads the VPD copy from flash page 255
// (to learn the drawing number), which prints its progress line.
const std::string kOpenerRead = "Reading Application Flash page @ 0x1FE00...\n";

std::string pageLines(const char* verb, int first, int last) {
    std::string s;
    char line[80];
    for (int p = first; p <= last; ++p) {
        std::snprintf(line, sizeof line, "%s Application Flash page @ 0x%X...\n", verb, p * 512);
        s += line;
    }
    return s;
}

std::string pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 29 + (i >> 9) * 5);
    return s;
}

std::string flashOf(const SimBoard& board) {
    std::string flash;
    EXPECT_TRUE(e2e::readFile(board.stateDir() + "/appflash.bin", flash));
    EXPECT_EQ(flash.size(), 0x20000u);
    return flash;
}

/// The requests that are not page reads or writes, and the page requests
/// shortened to "R<page>" / "W<page>".
Lines shorten(const Lines& requests) {
    Lines out;
    for (const std::string& r : requests) {
        if (r.rfind("06 80 09 ", 0) == 0 || r.rfind("06 82 09 ", 0) == 0) {
            const unsigned lo = static_cast<unsigned>(std::stoul(r.substr(9, 2), nullptr, 16));
            const unsigned hi = static_cast<unsigned>(std::stoul(r.substr(12, 2), nullptr, 16));
            out.push_back((r[3] == '8' && r[4] == '0' ? "R" : "W") + std::to_string(lo | hi << 8));
        } else {
            out.push_back(r);
        }
    }
    return out;
}

Lines pages(char op, int first, int last) {
    Lines l;
    for (int p = first; p <= last; ++p) l.push_back(op + std::to_string(p));
    return l;
}

Lines concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(ImagesE2e, FirmwareUpdateAndSaveFromNormalModeOverPsUart) {
    SimBoard board(kPermittedBoard);
    ASSERT_TRUE(board.ok()) << board.error();
    const std::string fw = pattern(130048, 0x31);
    const std::string fwPath = board.tempDir() + "/fw.bin";
    ASSERT_TRUE(e2e::writeFile(fwPath, fw));

    auto r = board.run({"-psuart", "{port}", "update-firmware", fwPath});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "Firmware file '" + fwPath + "' length is 130048(0x1FC00) byte(s).\n" +
                         "Entering service mode: OK\n" + pageLines("Writing", 0, 253) +
                         pageLines("Reading", 0, 253) + "Verified OK.\n" + "Exiting service mode: OK\n");
    // The opener's product ID and VPD, the switch with its confirmation,
    // whole pages written without reading first, the verification, and the
    // way back.
    EXPECT_EQ(shorten(board.requests()), concat({{"03 86", "05 8C", "03 80", "03 86"}, pages('W', 0, 253),
                                                 pages('R', 0, 253), {"03 82", "03 86"}}));
    const std::string flash = flashOf(board);
    EXPECT_TRUE(flash.compare(0, fw.size(), fw) == 0);

    board.clearRequests();
    const std::string savedPath = board.tempDir() + "/saved.bin";
    r = board.run({"-psuart", "{port}", "save-firmware", savedPath});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "Entering service mode: OK\n" + pageLines("Reading", 0, 253) + "Exiting service mode: OK\n");
    std::string saved;
    ASSERT_TRUE(e2e::readFile(savedPath, saved));
    EXPECT_TRUE(saved == fw) << "saved " << saved.size() << " bytes";
}

TEST(ImagesE2e, StartedInServiceModeTheVerbsNeverSwitch) {
    SimBoard board(kPermittedBoardInService);
    ASSERT_TRUE(board.ok()) << board.error();
    const std::string before = flashOf(board);

    // Board configuration: a whole page, written without a read.
    const std::string cfg = pattern(512, 0x52);
    const std::string cfgPath = board.tempDir() + "/cfg.bin";
    ASSERT_TRUE(e2e::writeFile(cfgPath, cfg));
    auto r = board.run({"-psuart", "{port}", "update-brdcfg", cfgPath});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, kOpenerRead + "Board config file '" + cfgPath +
                         "' length is 512(0x200) byte(s).\n"
                         "Writing Application Flash page @ 0x1FC00...\n"
                         "Reading Application Flash page @ 0x1FC00...\n"
                         "Verified OK.\n");
    EXPECT_EQ(r.err, "");
    r = board.run({"-psuart", "{port}", "verify-brdcfg", cfgPath});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, kOpenerRead + "Board config file '" + cfgPath +
                         "' length is 512(0x200) byte(s).\n"
                         "Reading Application Flash page @ 0x1FC00...\n"
                         "Verified OK.\n");
    const std::string cfgSaved = board.tempDir() + "/cfg-saved.bin";
    r = board.run({"-psuart", "{port}", "save-brdcfg", cfgSaved});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, kOpenerRead + "Reading Application Flash page @ 0x1FC00...\n");
    std::string got;
    ASSERT_TRUE(e2e::readFile(cfgSaved, got));
    EXPECT_TRUE(got == cfg);

    // VPD: 8 bytes patch page 255 (0x1FE00) at offset 0x100; the drawing
    // number at bytes 4..7 stays 1437 so the board keeps its permissions.
    board.clearRequests();
    const std::string vpd = std::string("\x07\x00\x80\x00", 4) + std::string("\x9D\x05\x00\x00", 4);
    const std::string vpdPath = board.tempDir() + "/vpd8.bin";
    ASSERT_TRUE(e2e::writeFile(vpdPath, vpd));
    r = board.run({"-psuart", "{port}", "update-vpd", vpdPath});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, kOpenerRead + "VPD file '" + vpdPath +
                         "' length is 8(0x8) byte(s).\n"
                         "Reading Application Flash page @ 0x1FE00...\n"
                         "Writing Application Flash page @ 0x1FE00...\n"
                         "Reading Application Flash page @ 0x1FE00...\n"
                         "Verified OK.\n");
    // The record is written as asked, after a warning on standard error.
    EXPECT_EQ(r.err, "zorviutil: warning: the VPD image's length field says 128, no valid record length for a file "
                     "of 8 bytes (8 at most); the board will hold a record it cannot check\n");
    // In service mode the opener reads the VPD copy from flash (page 255).
    EXPECT_EQ(shorten(board.requests()), (Lines{"03 86", "R255", "R255", "W255", "R255"}));

    std::string expected = before;
    expected.replace(0x1FC00, cfg.size(), cfg);
    expected.replace(0x1FF00, vpd.size(), vpd);
    EXPECT_TRUE(flashOf(board) == expected) << "bytes outside the images changed";

    const std::string vpdSaved = board.tempDir() + "/vpd-saved.bin";
    r = board.run({"-psuart", "{port}", "save-vpd", vpdSaved});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    ASSERT_TRUE(e2e::readFile(vpdSaved, got));
    EXPECT_EQ(got.size(), 128u);
    EXPECT_TRUE(got == expected.substr(0x1FF00, 128));

    for (const std::string& req : board.requests()) {
        EXPECT_NE(req, "03 80");
        EXPECT_NE(req, "03 82");
    }
}

TEST(ImagesE2e, VerificationListsTwentyErrorsThenTheTotal) {
    SimBoard board(kPermittedBoardInService);
    ASSERT_TRUE(board.ok()) << board.error();
    std::string fw = flashOf(board).substr(0, 130048);
    // 25 changed bytes from 0x1F0, across the boundary of pages 0 and 1.
    std::string want = kOpenerRead + "Firmware file '" + board.tempDir() + "/fw.bin' length is 130048(0x1FC00) byte(s).\n";
    want += pageLines("Reading", 0, 0);
    char line[120];
    for (unsigned a = 0x1F0; a < 0x1F0 + 25; ++a) {
        const unsigned char actual = static_cast<unsigned char>(fw[a]);
        fw[a] = static_cast<char>(actual ^ 0x5A);
        if (a == 0x200) want += pageLines("Reading", 1, 1);
        if (a < 0x1F0 + 20) {
            std::snprintf(line, sizeof line, "*** Verification error at address 0x%X; expected=0x%02X actual=0x%02X\n",
                          a, actual ^ 0x5A, actual);
            want += line;
        } else if (a == 0x1F0 + 20) {
            want += "*** More than 20 verification errors detected.\n";
        }
    }
    want += pageLines("Reading", 2, 253);
    want += "*** Total of 25 verification errors detected.\n";
    ASSERT_TRUE(e2e::writeFile(board.tempDir() + "/fw.bin", fw));

    auto r = board.run({"-psuart", "{port}", "verify-firmware", board.tempDir() + "/fw.bin"});
    EXPECT_EQ(r.exitCode, 8);
    EXPECT_EQ(r.out, want);
}

TEST(ImagesE2e, OversizedFirmwareIsRefusedBeforeAnythingIsSent) {
    SimBoard board(kPermittedBoard);
    ASSERT_TRUE(board.ok()) << board.error();
    const std::string path = board.tempDir() + "/big.bin";
    ASSERT_TRUE(e2e::writeFile(path, pattern(130049, 1)));
    auto r = board.run({"-psuart", "{port}", "update-firmware", path});
    EXPECT_EQ(r.exitCode, 6);
    EXPECT_EQ(r.out, "*** Firmware file cannot be more than 0x1FC00 bytes; actual length is 0x1FC01.\n");
    // Only what opening the link asks.
    EXPECT_EQ(board.requests(), (Lines{"03 86", "05 8C"}));
}

TEST(ImagesE2e, UsbLinkDoesNotSwitchUnlessGranted) {
    SimBoard board;
    ASSERT_TRUE(board.ok()) << board.error();
    const std::string path = board.tempDir() + "/vpd.bin";
    ASSERT_TRUE(e2e::writeFile(path, pattern(8, 2)));
    struct Case {
        std::vector<std::string> args;
        const char* flags;  ///< ZORVIUTIL_FLAGS, or null
        const char* expected;
    };
    const std::string autoHint =
        "zorviutil: hint: ZORVIUTIL_FLAGS=7 lets the image verbs switch by themselves; or enter service mode once "
        "(the board's service switch, or enter-service-mode with ZORVIUTIL_FLAGS=3), run them, then "
        "exit-service-mode (see SERVICE MODE in zorviutil(1))\n";
    const std::string enterHint =
        "zorviutil: hint: ZORVIUTIL_FLAGS=1 allows it on this link; or use the board's service switch (see SERVICE "
        "MODE in zorviutil(1))\n";
    const Case cases[] = {
        {{"update-vpd", path}, nullptr, "*** Automatically entering Service Mode via USB is not supported.\n"},
        {{"save-firmware", path}, nullptr, "*** Automatically entering Service Mode via USB is not supported.\n"},
        {{"enter-service-mode"}, nullptr, "*** Enter Service Mode via USB is not supported.\n"},
        // Entering granted, automatic switching not: the image verbs still refuse.
        {{"verify-brdcfg", path}, "1", "*** Automatically entering Service Mode via USB is not supported.\n"},
        // Automatic switching granted, entering not.
        {{"update-firmware", path}, "4", "*** Enter Service Mode via USB is not supported.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        board.clearRequests();
        std::vector<std::string> args = {"-usbcom", "{port}"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        e2e::EnvList env;
        if (c.flags != nullptr) env.push_back({"ZORVIUTIL_FLAGS", c.flags});
        auto r = board.run(args, "", env);
        EXPECT_EQ(r.exitCode, 12);
        EXPECT_EQ(r.out, c.expected);
        // One hint on standard error says what to do instead.
        EXPECT_EQ(r.err, std::string(c.expected).find("Automatically") != std::string::npos ? autoHint : enterHint);
        EXPECT_EQ(board.requests(), (Lines{"03 86"}));
    }
    std::string content;
    ASSERT_TRUE(e2e::readFile(path, content));
    EXPECT_EQ(content.size(), 8u);
}

TEST(ImagesE2e, ServiceModeVerbsOverPsUart) {
    SimBoard board(kPermittedBoard);
    ASSERT_TRUE(board.ok()) << board.error();
    struct Step {
        const char* verb;
        const char* expected;
    };
    const Step steps[] = {
        {"exit-service-mode", "Nothing to do.\n"},
        {"enter-service-mode", "Entering service mode: OK\n"},
        {"enter-service-mode", "Reading Application Flash page @ 0x1FE00...\nNothing to do.\n"},
        {"exit-service-mode", "Reading Application Flash page @ 0x1FE00...\nExiting service mode: OK\n"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.verb);
        auto r = board.run({"-psuart", "{port}", s.verb});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, s.expected);
    }
}

TEST(ImagesE2e, SwitchThatFails) {
    struct Case {
        std::vector<std::string> simArgs;
        int exitCode;
        const char* switchLine;
    };
    const Case cases[] = {
        {{"--model", "1437", "--switch-no-effect"}, 12,
         "Entering service mode: *** uC did not enter Service Mode as requested.\n"},
        {{"--model", "1437", "--refuse-switch", "5"}, 102,
         "Entering service mode: *** ZORVI returned status 0x05 for Enter Service Mode command\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.switchLine);
        SimBoard board(c.simArgs);
        ASSERT_TRUE(board.ok()) << board.error();
        const std::string path = board.tempDir() + "/vpd.bin";
        ASSERT_TRUE(e2e::writeFile(path, pattern(8, 3)));
        const std::string before = flashOf(board);
        auto r = board.run({"-psuart", "{port}", "update-vpd", path});
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out, "VPD file '" + path + "' length is 8(0x8) byte(s).\n" + c.switchLine);
        for (const std::string& req : board.requests()) EXPECT_NE(req.substr(0, 2), "06");
        EXPECT_TRUE(flashOf(board) == before);
    }
}

TEST(ImagesE2e, FailedFirmwareWriteKeepsTheUcInServiceMode) {
    SimBoard board({"--model", "1437", "--page-write-fail", "2=3"});
    ASSERT_TRUE(board.ok()) << board.error();
    const std::string path = board.tempDir() + "/fw.bin";
    ASSERT_TRUE(e2e::writeFile(path, pattern(2048, 4)));
    auto r = board.run({"-psuart", "{port}", "update-firmware", path});
    EXPECT_EQ(r.exitCode, 102);
    EXPECT_EQ(r.out, "Firmware file '" + path +
                         "' length is 2048(0x800) byte(s).\n"
                         "Entering service mode: OK\n" +
                         pageLines("Writing", 0, 2) +
                         "*** ZORVI returned status 0x03 for Flash Application Write command\n"
                         "+++ The uC stays in Service Mode because its application flash was not updated "
                         "completely; run the update again.\n");
    // Still in service mode: entering has nothing to do.
    r = board.run({"-psuart", "{port}", "enter-service-mode"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kOpenerRead + "Nothing to do.\n");
    // The error document counts the refused page among those sent.
    r = board.run({"-psuart", "{port}", "+json", "update-firmware", path});
    EXPECT_EQ(r.exitCode, 102);
    EXPECT_NE(r.out.find("\n  },\n  \"pages_written\": 3\n}"), std::string::npos) << r.out;
    const std::string problems = e2e::schemaProblems("error.schema.json", r.out);
    if (problems.rfind("skip:", 0) != 0) {
        EXPECT_EQ(problems, "");
    }
}

TEST(ImagesE2e, LinkAndFileFailures) {
    SimBoard board({"--model", "1437", "--service", "--fault", "short@06.80"});
    ASSERT_TRUE(board.ok()) << board.error();
    // Opening in service mode reads page 255 (a page read, cut short too),
    // so the opener itself fails; the PS UART opener passes its result up.
    // The USB opener reads only the product ID.
    const std::string path = board.tempDir() + "/vpd.bin";
    ASSERT_TRUE(e2e::writeFile(path, pattern(8, 5)));
    auto r = board.run({"-usbcom", "{port}", "verify-vpd", path});
    EXPECT_EQ(r.exitCode, 104);
    EXPECT_EQ(r.out, "VPD file '" + path +
                         "' length is 8(0x8) byte(s).\n"
                         "Reading Application Flash page @ 0x1FE00...\n"
                         "+++ Unexpected ZORVI response length 1 bytes; expected 515 bytes.\n"
                         "+++ ZORVI response too short to be valid.\n");

    r = board.run({"-usbcom", "{port}", "update-vpd", board.tempDir() + "/missing.bin"});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_EQ(r.out, "*** Failed to VPD file '" + board.tempDir() + "/missing.bin' for reading.\n");
}

}  // namespace
