#include "control/board_control.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/json_out.h"
#include "base/out.h"
#include "control/i2c_verbs.h"
#include "platform/platform.h"
#include "support/fake_uc.h"
#include "support/typed_verb.h"

namespace {

using Verb = std::function<Result(ConnectionContext*)>;

const Bytes kVpdRequest = {0x05, 0x8C};
// A status reply padded to the message's full length.
Bytes refused(uint8_t command, uint8_t status, size_t length) {
    Bytes reply(length, 0);
    reply[0] = 0x05;
    reply[1] = command;
    reply[2] = status;
    return reply;
}
const Bytes kVpdRefused = refused(0x0C, 1, 259);
const std::string kVpdRefusedLine = "*** ZORVI returned status 0x01 for Request VPD command\n";
const std::string kHint =
    "    If you know the boot mode value, try using the literal value instead of its symbolic name.\n";
const std::string kExitHint =
    "    Please exit Service Mode manually using switch setting or by issuing the exit-service-mode command.\n";

Bytes vpdReply(uint32_t drawing) {
    Bytes reply(3 + 256, 0);
    reply[0] = 0x05;
    reply[1] = 0x0C;
    for (int i = 0; i < 4; ++i) reply[3 + 4 + i] = static_cast<uint8_t>(drawing >> (8 * i));
    return reply;
}

// One verb run against canned replies: its result, its output and every
// request it sent.
struct Row {
    const char* label;
    Verb verb;
    std::vector<Bytes> replies;
    Result code;
    std::string out;
    std::vector<Bytes> requests;
};

void runRows(const std::vector<Row>& rows, bool serviceMode = false) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        FakeUc uc;
        uc.context()->inServiceMode = serviceMode;
        for (const Bytes& reply : row.replies) uc.queueReply(reply);
        OutCapture cap;
        EXPECT_EQ(row.verb(uc.context()), row.code);
        EXPECT_EQ(cap.text(), row.out);
        EXPECT_EQ(uc.requests(), row.requests);
    }
}

Verb setMode(const char* word, bool nv) {
    return [word, nv](ConnectionContext* c) { return setBootMode(word, c, false, nv); };
}
Verb getMode(bool nv) {
    return [nv](ConnectionContext* c) { return getBootMode(false, c, nv); };
}

TEST(BootMode, SetByNumberOrFamilyName) {
    const Bytes ok = {0x05, 0x15, 0x00};
    auto sent = [](uint8_t mode, uint8_t flag) { return std::vector<Bytes>{kVpdRequest, {0x05, 0x95, mode, flag}}; };
    runRows({
        {"number, VPD unreadable", setMode("3", false), {kVpdRefused, ok}, 0,
         kVpdRefusedLine + "Boot Mode is now 'UNKNOWN' (0x3).\n", sent(3, 1)},
        {"ZynqMP name, any case", setMode("QSPI32", false), {vpdReply(1437), ok}, 0,
         "Boot Mode is now 'qspi32' (0x2).\n", sent(2, 1)},
        {"Versal, nv", setMode("qspi32", true), {vpdReply(1429), ok}, 0,
         "Boot Mode at next power-on will be 'qspi32' (0x2).\n", sent(2, 2)},
        {"Versal alias", setMode("sd0", false), {vpdReply(1429), ok}, 0, "Boot Mode is now 'sd0_v3' (0x3).\n",
         sent(3, 1)},
        {"ZynqMP primary", setMode("sd0", false), {vpdReply(1528), ok}, 0, "Boot Mode is now 'sd0' (0x3).\n",
         sent(3, 1)},
        {"smap on Versal", setMode("smap", false), {vpdReply(1492), ok}, 0, "Boot Mode is now 'selectmap' (0xA).\n",
         sent(10, 1)},
        {"switch", setMode("Switch", false), {vpdReply(1437), ok}, 0,
         "Boot Mode is now entirely under control of switches.\n", sent(0xFF, 1)},
        {"255 nv", setMode("255", true), {vpdReply(1437), ok}, 0,
         "Boot Mode at next power-on will be entirely under control of switches.\n", sent(0xFF, 2)},
        {"hex name", setMode("0x0E", false), {vpdReply(1437), ok}, 0, "Boot Mode is now 'sd1_ls' (0xE).\n",
         sent(14, 1)},
        {"unlisted", setMode("0x0B", false), {vpdReply(1437), ok}, 0, "Boot Mode is now 'RESERVED' (0xB).\n",
         sent(11, 1)},
        {"uC refuses", setMode("20", false), {vpdReply(1437), {0x05, 0x15, 0x02}}, 103,
         "*** ZORVI returned status 0x02 => Device reports invalid boot mode.\n", sent(20, 1)},
        {"nand on Versal", setMode("nand", false), {vpdReply(1429)}, 41,
         "*** 'nand' not recognized as a valid boot mode for product 'CARD-A02'.\n" + kHint, {kVpdRequest}},
        {"family unknown", setMode("jtag", false), {vpdReply(1353)}, 41,
         "*** 'jtag' not recognized as a valid boot mode for product 'CARD-A27'.\n" + kHint, {kVpdRequest}},
        {"name, VPD unreadable", setMode("jtag", false), {kVpdRefused}, 41,
         kVpdRefusedLine +
             "*** Failed to get VPD for determining FPGA family; cannot convert boot mode of 'jtag' to a number.\n" +
             kHint,
         {kVpdRequest}},
    });
}

TEST(BootMode, GetShowsDrivenPinsOrNext) {
    const std::vector<Bytes> sent = {kVpdRequest, {0x05, 0x96}};
    runRows({
        {"driven", getMode(false), {vpdReply(1437), {0x05, 0x16, 0x00, 0x02, 0x03, 0x0E}}, 0,
         "Boot mode currently driven is 'qspi32' (0x2).\nActual boot mode pins are 'sd1_ls' (0xE).\n", sent},
        {"switches", getMode(false), {vpdReply(1429), {0x05, 0x16, 0x00, 0xFF, 0x03, 0x0C}}, 0,
         "Boot mode currently entirely under control of switches.\nActual boot mode pins are 'RESERVED' (0xC).\n",
         sent},
        {"nv switches", getMode(true), {vpdReply(1437), {0x05, 0x16, 0x00, 0x02, 0xFF, 0x01}}, 0,
         "Boot mode at next power-on is entirely under control of switches.\n", sent},
        {"nv, VPD unreadable", getMode(true), {kVpdRefused, {0x05, 0x16, 0x00, 0x02, 0x05, 0x01}}, 0,
         kVpdRefusedLine + "Boot mode at next power-on is 'UNKNOWN' (0x5).\n", sent},
        {"status", getMode(false), {vpdReply(1437), refused(0x16, 1, 6)}, 103,
         "*** ZORVI returned status 0x01 => Get Boot Mode message not supported by device.\n", sent},
    });
}

// The +json documents of the reading verbs, decoded from the uC's bytes.
TEST(BoardControl, JsonDocuments) {
    const uint8_t switchesNow[3] = {0xFF, 0x03, 0x0C}, reservedNext[3] = {0x02, 0x0C, 0x01};
    const uint8_t supplyOff[3] = {1, 0, 1};
    const struct {
        const char* name;
        Json document;
        const char* expected;
    } rows[] = {
        {"switches decide, pins without a name", bootModeDocument(switchesNow, &kVersalBootModes, false),
         R"({"non_volatile":false,"source":"switches","mode":null,"name":null,"pins":{"mode":12,"name":"reserved"}})"},
        {"next power-on, reserved", bootModeDocument(reservedNext, &kZynqMpBootModes, true),
         R"({"non_volatile":true,"source":"setting","mode":12,"name":"reserved"})"},
        {"family unknown", bootModeDocument(reservedNext, nullptr, false),
         R"({"non_volatile":false,"source":"setting","mode":2,"name":null,"pins":{"mode":1,"name":null}})"},
        {"supply off", boardPowerDocument(supplyOff),
         R"({"power":"off","on":false,"software_request":"off","hardware_request":"on","psu_off_l":0})"},
        {"forced", mezzaninePowerDocument(1, true, 1800, 1700, 1900),
         R"({"mezzanine":1,"non_volatile":true,"forced":true,"requested_mv":1800,"minimum_mv":1700,"maximum_mv":1900})"},
        {"0xFFFF is not forced", mezzaninePowerDocument(0, false, 0xFFFF, 0, 0),
         R"({"mezzanine":0,"non_volatile":false,"forced":false,"requested_mv":65535,"minimum_mv":0,"maximum_mv":0})"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.document.dump(), row.expected) << row.name;
}

// Every name and alias finds its own entry (none is shadowed by an earlier
// one) and every value names its primary name.
TEST(BootMode, NameTablesSelfCheck) {
    for (const BootModeTable* table : {&kZynqMpBootModes, &kVersalBootModes}) {
        for (uint32_t i = 0; i < table->count; ++i) {
            const BootModeName& e = table->entries[i];
            SCOPED_TRACE(e.name);
            EXPECT_LE(e.value, 15);
            EXPECT_EQ(bootModeValue(*table, e.name), e.value);
            if (e.alias != nullptr) {
                EXPECT_EQ(bootModeValue(*table, e.alias), e.value);
            }
            EXPECT_STREQ(bootModeName(*table, e.value), e.name);
        }
    }
    EXPECT_EQ(kZynqMpBootModes.count, 11u);
    EXPECT_EQ(kVersalBootModes.count, 9u);
    for (uint32_t d : {1429u, 1430u, 1456u, 1492u}) EXPECT_EQ(bootModeTableForDrawing(d), &kVersalBootModes);
    for (uint32_t d : {1437u, 1528u}) EXPECT_EQ(bootModeTableForDrawing(d), &kZynqMpBootModes);
    EXPECT_EQ(bootModeTableForDrawing(1353), nullptr);
}

std::optional<std::string> gAnswer;  // nullopt: end of input
int gReads = 0;
bool gCapturingStderr = false;
std::string gStderrAtRead;  // what standard error held when the wait began
bool fakeStdin(std::string& line) {
    ++gReads;
    if (gCapturingStderr) gStderrAtRead = testing::internal::GetCapturedStderr();
    gCapturingStderr = false;
    if (!gAnswer) return false;
    line = *gAnswer;
    return true;
}

struct Stdin {
    platform::StdinHook old;
    explicit Stdin(std::optional<std::string> answer) {
        gAnswer = std::move(answer);
        gReads = 0;
        old = platform::setStdinHook(fakeStdin);
    }
    ~Stdin() { platform::setStdinHook(old); }
};

Verb force(uint32_t mv, uint32_t min, uint32_t max, uint32_t index, bool nv = false, bool confirmed = false) {
    return [=](ConnectionContext* c) { return forceMezzaninePower(mv, c, nv, false, confirmed, index, min, max); };
}

const std::string kPrompt =
    "WARNING: Forcing Mezzanine I/O voltage may damage hardware if performed incorrectly.\n"
    "To proceed AT OWN RISK, enter \"Y\" at the prompt: ";
const std::string kForcedNow =
    "uC now forcing Mezzanine 0 I/O voltage with immediate effect.\n"
    "Use \"display-sensors\" verb to see actual Mezzanine 0 I/O voltage.\n";
const Bytes kForce1800 = {0x05, 0x8B, 0x08, 0x07, 0xA4, 0x06, 0x6C, 0x07, 0x00};

TEST(MezzaninePower, ForcingAsksFirstUnlessConfirmedOrReleasing) {
    struct Case {
        const char* label;
        std::optional<std::string> answer;
        Verb verb;
        Result code;
        std::string out;
        std::vector<Bytes> requests;
        int reads;
        bool json = false;  ///< +json: the question is also on standard error before the wait
    };
    const Case cases[] = {
        {"y", "y", force(1800, 1700, 1900, 0), 0, kPrompt + kForcedNow, {kForce1800}, 1},
        {"+json, y", "y", force(1800, 1700, 1900, 0), 0, kPrompt + kForcedNow, {kForce1800}, 1, true},
        {"+json, n", "n", force(1800, 1700, 1900, 0), 42, kPrompt, {}, 1, true},
        {"blanks then Y", " \tYes", force(1800, 1700, 1900, 0), 0, kPrompt + kForcedNow, {kForce1800}, 1},
        {"n", "n", force(1800, 1700, 1900, 0), 42, kPrompt, {}, 1},
        {"empty line", "", force(1800, 1700, 1900, 0), 42, kPrompt, {}, 1},
        {"end of input", std::nullopt, force(1800, 1700, 1900, 0), 42, kPrompt, {}, 1},
        {"+confirm", std::nullopt, force(1800, 1700, 1900, 0, false, true), 0, kForcedNow, {kForce1800}, 0},
        {"release 0", std::nullopt, force(0, 1700, 1900, 1), 0,
         "uC stopped forcing Mezzanine 1 I/O voltage with immediate effect.\n"
         "Use \"display-sensors\" verb to see actual Mezzanine 1 I/O voltage.\n",
         {{0x05, 0x8B, 0, 0, 0, 0, 0, 0, 1}}, 0},
        {"release 65535 nv", std::nullopt, force(65535, 1700, 1900, 2, true), 0,
         "uC will stop forcing Mezzanine 2 I/O voltage at next board power-on.\n"
         "Use \"display-sensors\" verb after power-cycling board to see actual Mezzanine 2 I/O voltage.\n",
         {{0x05, 0x99, 0xFF, 0xFF, 0, 0, 0, 0, 2}}, 0},
        {"force nv", std::nullopt, force(3300, 3000, 3400, 1, true, true), 0,
         "uC will force Mezzanine 1 I/O voltage at board power-on.\n"
         "****************************************************************************\n"
         "WARNING: Forced Mezzanine I/O voltage will persist across power cycles.\n"
         "         If you change the Mezzanine card fitted, remember to check that the\n"
         "         forced I/O voltage is suitable for the new Mezzanine card.\n"
         "****************************************************************************\n"
         "Use \"display-sensors\" verb after power-cycling board to see actual Mezzanine 1 I/O voltage.\n",
         {{0x05, 0x99, 0xE4, 0x0C, 0xB8, 0x0B, 0x48, 0x0D, 1}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Stdin in(c.answer);
        FakeUc uc;
        if (!c.requests.empty()) uc.queueReply({0x05, static_cast<uint8_t>(c.requests[0][1] & 0x7F), 0x00});
        std::optional<JsonRun> json;
        if (c.json) json.emplace();
        OutCapture cap;
        gStderrAtRead.clear();
        testing::internal::CaptureStderr();
        gCapturingStderr = true;
        EXPECT_EQ(c.verb(uc.context()), c.code);
        if (gCapturingStderr) testing::internal::GetCapturedStderr();
        gCapturingStderr = false;
        EXPECT_EQ(cap.text(), c.out);
        EXPECT_EQ(uc.requests(), c.requests);
        EXPECT_EQ(gReads, c.reads);
        EXPECT_EQ(gStderrAtRead, c.json ? kPrompt : "");
    }
}

TEST(BoardControl, RepliesAndStatusTexts) {
    auto getMez = [](bool nv, uint32_t index) {
        return [=](ConnectionContext* c) { return getMezzaninePower(c, nv, index, false); };
    };
    auto power = [](bool on) { return [=](ConnectionContext* c) { return setBoardPower(c, on, false); }; };
    const Verb getPower = [](ConnectionContext* c) { return getBoardPower(c, false); };
    const Bytes forced = {0x05, 0x16, 0x00, 0x08, 0x07, 0xA4, 0x06, 0x6C, 0x07};
    runRows({
        {"off", power(false), {{0x05, 0x17, 0x00}}, 0, "Set SW board power request to OFF.\n", {{0x05, 0x97, 0x01}}},
        {"on", power(true), {{0x05, 0x17, 0x01}}, 103,
         "*** ZORVI returned status 0x01 => SetBrdPower message not supported by device.\n", {{0x05, 0x97, 0x00}}},
        {"all on", getPower, {{0x05, 0x18, 0x00, 0x00, 0x00, 0x00}}, 0,
         "SW req. power ON, HW req. power ON, Actual PSU_OFF_L = 1\n", {{0x05, 0x98}}},
        {"sw off", getPower, {{0x05, 0x18, 0x00, 0x01, 0x00, 0x01}}, 0,
         "SW req. power OFF, HW req. power ON, Actual PSU_OFF_L = 0\n", {{0x05, 0x98}}},
        {"mez forced", getMez(false, 1), {forced}, 0,
         "Mezzanine 1 voltage currently forced to requested (min., max.): 1800 (1700, 1900) mV\n",
         {{0x05, 0x96, 0x01}}},
        {"mez nv forced", getMez(true, 1), {{0x05, 0x1A, 0x00, 0x08, 0x07, 0xA4, 0x06, 0x6C, 0x07}}, 0,
         "Mezzanine 1 voltage is forced at power up to requested (min., max.): 1800 (1700, 1900) mV\n",
         {{0x05, 0x9A, 0x01}}},
        {"mez not forced", getMez(false, 0), {{0x05, 0x16, 0x00, 0xFF, 0xFF, 0, 0, 0, 0}}, 0,
         "Mezzanine 0 voltage currently NOT forced; requested (min., max.) = 65535 (0, 0) mV\n", {{0x05, 0x96, 0x00}}},
        {"mez nv not forced", getMez(true, 0), {{0x05, 0x1A, 0x00, 0, 0, 0, 0, 0, 0}}, 0,
         "Mezzanine 0 voltage is NOT forced at power up; requested (min., max.) = 0 (0, 0) mV\n",
         {{0x05, 0x9A, 0x00}}},
        {"mez get status 3", getMez(false, 0), {refused(0x16, 3, 9)}, 103,
         "*** ZORVI returned status 0x03 => ** UNEXPECTED ERROR CODE **\n", {{0x05, 0x96, 0x00}}},
        {"mez force status 3", force(1800, 1700, 1900, 0, false, true), {{0x05, 0x0B, 0x03}}, 103,
         "*** ZORVI returned status 0x03 => Requested voltage range is not valid.\n", {kForce1800}},
    });
}

TEST(SmbusAddress, MessagesPerSettingAndValue) {
    auto set = [](const char* a, bool nv) { return typedVerb({nv ? "set-smbus-addr-nv" : "set-smbus-addr", a}); };
    auto get = [](bool nv) { return typedVerb({nv ? "get-smbus-addr-nv" : "get-smbus-addr"}); };
    const std::string reboot =
        "The microcontroller can be made to reboot by either (a) removing and then\n"
        "restoring all power including standby power, or (b) entering and exiting Service\n"
        "Mode.\n";
    const Bytes ok = {0x05, 0x12, 0x00};
    runRows({
        {"nv 0x48", set("0x48", true), {ok}, 0,
         "The microcontroller's nonvolatile SMBUS chip address has been set to 0x48.\n"
         "The microcontroller will enable its SMBUS interface when it next reboots.\n" + reboot,
         {{0x05, 0x92, 0x02, 0x48}}},
        {"nv 0", set("0", true), {ok}, 0,
         "The microcontroller's nonvolatile SMBUS chip address has been set to 0.\n"
         "The microcontroller will disable its SMBUS interface when it next reboots.\n" + reboot,
         {{0x05, 0x92, 0x02, 0x00}}},
        {"now 0x10", set("0x10", false), {ok}, 0,
         "The microcontroller's volatile SMBUS chip address has been set to 0x10.\n"
         "This has enabled the microcontroller's SMBUS interface.\n"
         "This condition will persist until the microcontroller next reboots.\n" + reboot,
         {{0x05, 0x92, 0x01, 0x10}}},
        {"now 0", set("0", false), {ok}, 0,
         "The microcontroller's volatile SMBUS chip address has been set to 0.\n"
         "This has disabled the microcontroller's SMBUS interface.\n"
         "This condition will persist until the microcontroller next reboots.\n" + reboot,
         {{0x05, 0x92, 0x01, 0x00}}},
        {"refused", set("0x7F", false), {{0x05, 0x12, 0x01}}, 103,
         "*** ZORVI returned error status 0x01 => Invalid SMBUS chip address\n", {{0x05, 0x92, 0x01, 0x7F}}},
        {"get now", get(false), {{0x05, 0x13, 0x00, 0x48}}, 0,
         "Current SMBUS chip address is 0x48.\nThe microcontroller's SMBUS interface is currently enabled.\n",
         {{0x05, 0x93, 0x01, 0x00}}},
        {"get now 0", get(false), {{0x05, 0x13, 0x00, 0x00}}, 0,
         "Current SMBUS chip address is 0.\nThe microcontroller's SMBUS interface is currently disabled.\n",
         {{0x05, 0x93, 0x01, 0x00}}},
        {"get nv", get(true), {{0x05, 0x13, 0x00, 0x08}}, 0,
         "Nonvolatile SMBUS chip address is 0x08.\n"
         "The microcontroller will enable its SMBUS interface when it next reboots.\n",
         {{0x05, 0x93, 0x02, 0x00}}},
        {"get nv 0", get(true), {{0x05, 0x13, 0x00, 0x00}}, 0,
         "Nonvolatile SMBUS chip address is 0.\n"
         "The microcontroller will disable its SMBUS interface when it next reboots.\n",
         {{0x05, 0x93, 0x02, 0x00}}},
        {"get status", get(true), {refused(0x13, 1, 4)}, 103,
         "*** ZORVI returned error status 0x01 => ** UNEXPECTED ERROR CODE **\n", {{0x05, 0x93, 0x02, 0x00}}},
    });
}

// Range checks come first, before the service-mode refusal; the SMBus verbs
// run in service mode; every other verb refuses there and sends nothing.
TEST(BoardControl, RangeChecksThenServiceModeRefusals) {
    const uint8_t bytes[256] = {};
    auto refusal = [](const char* verb) {
        return "*** The " + std::string(verb) + " command requires the device to not be in Service Mode.\n" + kExitHint;
    };
    runRows(
        {
            {"voltage", force(70000, 1, 2, 0), {}, 113,
             "*** Requested voltage of 70000 mV is not valid; maximum allowed value is 65535.\n", {}},
            {"minimum", force(1, 65536, 2, 0), {}, 113,
             "*** Requested minimum voltage of 65536 mV is not valid; maximum allowed value is 65535.\n", {}},
            {"maximum", force(1, 1, 65536, 0), {}, 113,
             "*** Requested maximum voltage of 65536 mV is not valid; maximum allowed value is 65535.\n", {}},
            {"index", force(0, 1, 2, 256), {}, 112,
             "*** Mezzanine index of 256 is not valid; maximum allowed value is 255.\n", {}},
            {"get index", [](ConnectionContext* c) { return getMezzaninePower(c, true, 256, false); }, {}, 112,
             "*** Mezzanine index of 256 is not valid; maximum allowed value is 255.\n", {}},
            {"smbus", typedVerb({"set-smbus-addr", "128"}), {}, 3,
             "*** SMBUS chip address be in the range 0 to 127(0x7F).\n", {}},
            {"bus", [](ConnectionContext* c) { return i2cRead(1, c, false, 256, 0, 0); }, {}, 15,
             "*** I2C bus number be in the range 0 to 255.\n", {}},
            {"device", [](ConnectionContext* c) { return i2cWriteRead(c, false, 0, 0x80, 0, 0, nullptr); }, {}, 16,
             "*** I2C device number must be in the range 0 to 127.\n", {}},
            {"register", [](ConnectionContext* c) { return i2cReadToFile("x", 256, c, false, 0, 0, 1); }, {}, 17,
             "*** Address must be in the range 0 to 255.\n", {}},
            {"read count", [](ConnectionContext* c) { return i2cRead(256, c, false, 0, 0, 0); }, {}, 20,
             "*** Byte count to return must be in the range 0 to 255.\n", {}},
            {"write count", [&](ConnectionContext* c) { return i2cWrite(c, false, 0, 0, 0, bytes, 256); }, {}, 20,
             "*** Byte count to write must be in the range 0 to 255.\n", {}},
            {"wr write count", [&](ConnectionContext* c) { return i2cWriteRead(c, false, 0, 0, 256, 0, bytes); }, {},
             20, "*** Byte count to write must be in the range 0 to 255.\n", {}},
            {"wr read count", [&](ConnectionContext* c) { return i2cWriteRead(c, false, 0, 0, 0, 256, bytes); }, {}, 20,
             "*** Byte count to read must be in the range 0 to 255.\n", {}},
            // A number the mode byte cannot carry would reach the uC as another
            // mode (256 as jtag).
            {"boot mode", setMode("256", false), {}, 41,
             "*** Boot mode value 256 is not valid; maximum allowed value is 255.\n", {}},
            {"set-boot-mode-nv", setMode("1", true), {}, 13, refusal("set-boot-mode-nv"), {}},
            {"get-boot-mode", getMode(false), {}, 13, refusal("get-boot-mode"), {}},
            {"set-brd-power", [](ConnectionContext* c) { return setBoardPower(c, true, false); }, {}, 13,
             refusal("set-brd-power"), {}},
            {"get-brd-power", [](ConnectionContext* c) { return getBoardPower(c, false); }, {}, 13,
             refusal("get-brd-power"), {}},
            {"force-mez-power-nv", force(1800, 1700, 1900, 0, true), {}, 13, refusal("force-mez-power"), {}},
            {"get-mez-power", [](ConnectionContext* c) { return getMezzaninePower(c, false, 0, false); }, {}, 13,
             refusal("force-mez-power"), {}},
            {"i2c-read", [](ConnectionContext* c) { return i2cRead(1, c, false, 0, 0, 0); }, {}, 13,
             refusal("i2c-read"), {}},
            {"i2c-write", [&](ConnectionContext* c) { return i2cWrite(c, false, 0, 0, 0, bytes, 1); }, {}, 13,
             refusal("i2c-write"), {}},
            {"i2c-write-read", [&](ConnectionContext* c) { return i2cWriteRead(c, false, 0, 0, 1, 1, bytes); }, {},
             13, refusal("i2c-write-read"), {}},
            {"i2c-read-to-file", [](ConnectionContext* c) { return i2cReadToFile("x", 0, c, false, 0, 0, 1); }, {}, 13,
             refusal("i2c-read-to-file"), {}},
            {"get-smbus-addr", typedVerb({"get-smbus-addr"}),
             {{0x05, 0x13, 0x00, 0x00}}, 0,
             "Current SMBUS chip address is 0.\nThe microcontroller's SMBUS interface is currently disabled.\n",
             {{0x05, 0x93, 0x01, 0x00}}},
        },
        true);
}

}  // namespace
