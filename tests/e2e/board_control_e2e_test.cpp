// End to end: the board-control and I2C verbs against the simulated board,
// the force-mez-power prompt answered through standard input, settings that
// take effect at the next power-on or the next start of the board.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace {

using e2e::SimBoard;
using Lines = std::vector<std::string>;

#define ASSERT_BOARD(board) ASSERT_TRUE((board).ok()) << (board).error()

// One run of zorviutil on the USB link: the verb's words, what it reads on
// standard input, and what it must print, return and send (after the
// product-ID read every run starts with).
struct Step {
    std::string args;
    std::string stdinText;
    int exitCode;
    std::string out;
    Lines requests;
};

Lines words(const std::string& text) {
    Lines w = {"-usbcom", "{port}"};
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find(' ', at);
        w.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return w;
}

void runSteps(SimBoard& board, const std::vector<Step>& steps) {
    for (const Step& s : steps) {
        SCOPED_TRACE(s.args + " <" + s.stdinText + ">");
        board.clearRequests();
        const e2e::RunResult r = board.run(words(s.args), s.stdinText);
        EXPECT_EQ(r.exitCode, s.exitCode);
        EXPECT_EQ(r.out, s.out);
        Lines expected = {"03 86"};
        expected.insert(expected.end(), s.requests.begin(), s.requests.end());
        EXPECT_EQ(board.requests(), expected);
    }
}

const std::string kRefusal =
    " command requires the device to not be in Service Mode.\n"
    "    Please exit Service Mode manually using switch setting or by issuing the exit-service-mode command.\n";

TEST(E2eBoardControl, BootModeByNameTakesEffectAtTheNextBoardPowerOn) {
    SimBoard board({"--model", "1437", "--boot-switches", "3"});
    ASSERT_BOARD(board);
    runSteps(board, {
        {"get-boot-mode", "", 0,
         "Boot mode currently entirely under control of switches.\nActual boot mode pins are 'sd0' (0x3).\n",
         {"05 8C", "05 96"}},
        {"set-boot-mode-nv EMMC", "", 0, "Boot Mode at next power-on will be 'emmc' (0x6).\n", {"05 8C", "05 95 06 02"}},
        {"set-brd-power OFF", "", 0, "Set SW board power request to OFF.\n", {"05 97 01"}},
        {"set-brd-power on", "", 0, "Set SW board power request to ON.\n", {"05 97 00"}},
        {"get-boot-mode", "", 0,
         "Boot mode currently driven is 'emmc' (0x6).\nActual boot mode pins are 'emmc' (0x6).\n", {"05 8C", "05 96"}},
    });
}

TEST(E2eBoardControl, ForceMezPowerAsksUnlessConfirmed) {
    SimBoard board;
    ASSERT_BOARD(board);
    const std::string prompt =
        "WARNING: Forcing Mezzanine I/O voltage may damage hardware if performed incorrectly.\n"
        "To proceed AT OWN RISK, enter \"Y\" at the prompt: ";
    const std::string forced =
        "uC now forcing Mezzanine 0 I/O voltage with immediate effect.\n"
        "Use \"display-sensors\" verb to see actual Mezzanine 0 I/O voltage.\n";
    runSteps(board, {
        {"force-mez-power 1800 1700 1900 0", "n\n", 42, prompt, {}},
        {"force-mez-power 1800 1700 1900 0", "", 42, prompt, {}},
        {"force-mez-power 1800 1700 1900 0", "  y\n", 0, prompt + forced, {"05 8B 08 07 A4 06 6C 07 00"}},
        {"+confirm force-mez-power-nv 3300 3000 3400 1", "", 0,
         "uC will force Mezzanine 1 I/O voltage at board power-on.\n"
         "****************************************************************************\n"
         "WARNING: Forced Mezzanine I/O voltage will persist across power cycles.\n"
         "         If you change the Mezzanine card fitted, remember to check that the\n"
         "         forced I/O voltage is suitable for the new Mezzanine card.\n"
         "****************************************************************************\n"
         "Use \"display-sensors\" verb after power-cycling board to see actual Mezzanine 1 I/O voltage.\n",
         {"05 99 E4 0C B8 0B 48 0D 01"}},
    });
}

TEST(E2eBoardControl, SmbusAddressTakesEffectAtTheNextStartAndServesInServiceMode) {
    const std::string dir = e2e::makeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string reboot =
        "The microcontroller can be made to reboot by either (a) removing and then\n"
        "restoring all power including standby power, or (b) entering and exiting Service\n"
        "Mode.\n";
    {
        SimBoard board({"--state-dir", dir});
        ASSERT_BOARD(board);
        runSteps(board, {
            {"set-smbus-addr-nv 0x30", "", 0,
             "The microcontroller's nonvolatile SMBUS chip address has been set to 0x30.\n"
             "The microcontroller will enable its SMBUS interface when it next reboots.\n" + reboot,
             {"05 92 02 30"}},
            {"get-smbus-addr", "", 0,
             "Current SMBUS chip address is 0x48.\nThe microcontroller's SMBUS interface is currently enabled.\n",
             {"05 93 01 00"}},
        });
    }
    SimBoard board({"--state-dir", dir, "--service"});
    ASSERT_BOARD(board);
    runSteps(board, {
        {"get-smbus-addr", "", 0,
         "Current SMBUS chip address is 0x30.\nThe microcontroller's SMBUS interface is currently enabled.\n",
         {"05 93 01 00"}},
        {"get-boot-mode-nv", "", 13, "*** The get-boot-mode-nv" + kRefusal, {}},
    });
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

TEST(E2eI2c, FilesRoundTripThroughTheEepromAndPartialTransfers) {
    SimBoard board;
    ASSERT_BOARD(board);
    const std::string in = board.tempDir() + "/in.bin";
    const std::string out = board.tempDir() + "/out.bin";
    const std::string edge = board.tempDir() + "/edge.bin";
    ASSERT_TRUE(e2e::writeFile(in, "\x10\x11\x12\x13"));
    ASSERT_TRUE(e2e::writeFile(edge, "\xA0\xA1\xA2"));
    runSteps(board, {
        {"i2c-write-from-file 0 0x50 0x7E " + in, "", 0, "File '" + in + "' length is 4(0x4) byte(s).\n",
         {"05 82 00 50 7E 01 10", "05 82 00 50 7F 01 11", "05 82 00 50 80 01 12", "05 82 00 50 81 01 13"}},
        {"i2c-verify-with-file 0 0x50 0x7E " + in, "", 0, "File '" + in + "' length is 4(0x4) byte(s).\nVerified OK.\n",
         {"05 80 00 50 7E 01", "05 80 00 50 7F 01", "05 80 00 50 80 01", "05 80 00 50 81 01"}},
        {"i2c-write-from-file 0 0x50 0xBE " + edge, "", 103,
         "File '" + edge + "' length is 3(0x3) byte(s).\n"
         "*** ZORVI returned status 0x01 for byte 2 => General failure\n",
         {"05 82 00 50 BE 01 A0", "05 82 00 50 BF 01 A1", "05 82 00 50 C0 01 A2"}},
        {"i2c-read-to-file 0 0x50 0xBE 2 " + out, "", 0, "", {"05 80 00 50 BE 01", "05 80 00 50 BF 01"}},
        {"i2c-write-read 0 0x50 2 0xBF 0xAA 0xBB", "", 0,
         "+++ Reponse from uC indicates that it transferred less than requested number of bytes; actual 3 vs. "
         "expected 7\n"
         "+++ Reponse from uC indicates that write phase was truncated.\n"
         "+++ Reponse from uC indicates that no bytes were successfully read.\n",
         {"05 94 00 50 03 02 BF AA BB"}},
    });
    std::string saved;
    ASSERT_TRUE(e2e::readFile(out, saved));
    EXPECT_EQ(saved, "\xA0\xA1");
}

}  // namespace
