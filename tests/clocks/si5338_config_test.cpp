// config-si5338 against a scripted SI5338 behind the uC's I2C requests.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "base/out.h"
#include "clock_test_support.h"
#include "clocks/clock_verbs.h"
#include "platform/platform.h"
#include "support/fake_uc.h"

namespace {

using Lines = std::vector<std::string>;

/// An SI5338 on bus 1 at 0x70: registers, the page register, and scripted
/// status (218) readings; records every write as "index=VV" (page applied).
struct FakeSi5338 {
    uint8_t regs[512] = {};
    int page = 0;
    std::deque<uint8_t> status;  ///< successive readings of 218 (then 0)
    Lines writes;
    uint8_t failWriteOf = 0;     ///< answer status 1 to a write of this register (0: none)

    FakeSi5338() {
        regs[0] = 0x01;  // revision B
        regs[2] = 0x26;  // 38
        regs[3] = 0x10;  // grade B
        regs[4] = 0x39;
        regs[5] = 0x30;  // code 12345
        regs[235] = 0x9E;
        regs[236] = 0x41;
        regs[237] = 0x01;
    }
    uint32_t index(uint8_t reg) const { return reg == 255 ? 255u : static_cast<uint32_t>(page * 256 + reg); }

    uint32_t answer(const Bytes& rq, Bytes& reply) {
        if (rq[1] == 0x80) {
            uint8_t value = regs[index(rq[4])];
            if (index(rq[4]) == 218) {
                value = status.empty() ? 0 : status.front();
                if (!status.empty()) status.pop_front();
            }
            reply = {5, 0x00, 0, value};
        } else {
            char line[16];
            std::snprintf(line, sizeof line, "%u=%02X", index(rq[4]), rq[6]);
            writes.push_back(line);
            if (rq[4] == 255) page = rq[6] & 1;
            regs[index(rq[4])] = rq[6];
            reply = {5, 0x02, static_cast<uint8_t>(failWriteOf != 0 && rq[4] == failWriteOf ? 1 : 0)};
        }
        return 0;
    }
};

std::vector<uint32_t>& sleeps() {
    static std::vector<uint32_t> s;
    return s;
}

struct InstantSleep {
    platform::ClockHooks old;
    InstantSleep() {
        sleeps().clear();
        platform::ClockHooks hooks;
        hooks.sleepMs = [](uint32_t ms) { sleeps().push_back(ms); };
        old = platform::setClockHooks(hooks);
    }
    ~InstantSleep() { platform::setClockHooks(old); }
};

struct ConfigRun {
    Result code;
    std::string out;
    Lines writes;
    size_t requests;
};

ConfigRun configure(FakeSi5338& chip, const std::string& mapText, bool verbose = false, uint32_t bus = 1,
              uint32_t device = 0x70) {
    const std::string path = writeTempFile("si5338.txt", mapText);
    FakeUc uc;
    uc.onRequest([&chip](const Bytes& rq, Bytes& reply) { return chip.answer(rq, reply); });
    OutCapture cap;
    const Result code = configureSi5338(path.c_str(), uc.context(), verbose, bus, device);
    std::string out = cap.text();
    for (size_t at; (at = out.find(path)) != std::string::npos;) out.replace(at, path.size(), "{f}");
    // Verbose runs also show every exchange; keep the verb's own lines.
    std::string own;
    for (const std::string& line : splitLines(out))
        if (line.rfind("DEBUG: ", 0) != 0) own += line + "\n";
    return {code, own, chip.writes, uc.requests().size()};
}

TEST(ConfigSi5338, ProgramsTheRealExportInTheChipsOrder) {
    InstantSleep clock;
    FakeSi5338 chip;
    chip.status = {0x04, 0x04, 0x00, 0x11, 0x10};  // input clock at the 2nd re-read, lock at the 3rd reading
    std::string text;
    ASSERT_TRUE(readWholeFile(dataFile("si5338_clockbuilder_export.txt"), text));
    const ConfigRun r = configure(chip, text);
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(r.out, "File '{f}' is an SI5338 register map with 235 register / value entries(s)\n"
                     "Part is SI5338B-B12345\nSI5338 configuration apparently successful.\n");
    // Page 0, outputs off, loss of lock paused, 235 entries with one page
    // switch before 287, back to page 0 for the sequence, then the tail.
    const Lines tail = {"49=00", "246=02", "241=65", "47=15", "46=41", "45=9E", "49=80", "230=0C"};
    ASSERT_EQ(r.writes.size(), 3u + 235u + 2u + tail.size());
    EXPECT_EQ(Lines(r.writes.begin(), r.writes.begin() + 4), (Lines{"255=00", "230=10", "241=E5", "6=08"}));
    EXPECT_EQ(r.writes[3 + 182], "230=1C");  // mask 0x0F over the 0x10 written before
    EXPECT_EQ(r.writes[3 + 183], "255=01");
    EXPECT_EQ(r.writes[3 + 184], "287=00");
    EXPECT_EQ(r.writes[3 + 236], "255=00");
    EXPECT_EQ(Lines(r.writes.end() - static_cast<long>(tail.size()), r.writes.end()), tail);
    EXPECT_EQ(sleeps(), std::vector<uint32_t>(5, 25));
}

// A write of the page register from the map moves the page the routine
// believes selected: register 7 after "255,1" is written on page 0 again.
TEST(ConfigSi5338, PagesFollowTheIndexAndThePageRegister) {
    InstantSleep clock;
    FakeSi5338 chip;
    const ConfigRun r = configure(chip, "300,5\n29,1\n255,1h\n29,2\n");
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(Lines(r.writes.begin() + 3, r.writes.begin() + 11),
              (Lines{"255=01", "300=00", "255=00", "29=01", "255=01", "255=00", "29=02", "49=00"}));
}

TEST(ConfigSi5338, PollsAndFailures) {
    struct Case {
        const char* name;
        std::deque<uint8_t> status;
        bool verbose;
        uint8_t grade;
        uint8_t failWrite;
        Result code;
        Lines lastLines;  ///< the end of the output
        size_t writes;
    };
    const std::deque<uint8_t> lost10(10, 0x04), lost11(11, 0x04);  // the first reading and re-reads
    std::deque<uint8_t> lock5 = {0x00, 0x11, 0x11, 0x10, 0x01, 0x15}, lock10(11, 0x11);
    lock10[0] = 0;
    const Case cases[] = {
        {"input clock on the 10th re-read", lost10, false, 0x10, 0, 0, {"SI5338 configuration apparently successful."}, 12},
        {"input clock needs an 11th", lost11, false, 0x10, 0, 119, {"*** Timeout waiting for input clock valid"}, 4},
        {"lock after five readings", lock5, true, 0x10, 0, 0,
         {"LOL_STATUS=0x11", "LOL_STATUS=0x11", "LOL_STATUS=0x10", "LOL_STATUS=0x01", "LOL_STATUS=0x15",
          "SI5338 configuration apparently successful."}, 12},
        {"no lock", lock10, false, 0x10, 0, 119, {"*** Timeout waiting for PLL lock; LOL_STATUS=0x11"}, 7},
        {"grade C", {}, false, 0x18, 0, 120, {"*** Unsupported part SI5338C-B12345"}, 1},
        {"write refused", {}, false, 0x10, 241, 103, {"*** ZORVI returned status 0x01 => General failure"}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstantSleep clock;
        FakeSi5338 chip;
        chip.status = c.status;
        chip.regs[3] = c.grade;
        chip.failWriteOf = c.failWrite;
        const ConfigRun r = configure(chip, "6,08h\n", c.verbose);
        EXPECT_EQ(r.code, c.code);
        const Lines out = splitLines(r.out);
        ASSERT_GE(out.size(), c.lastLines.size()) << r.out;
        EXPECT_EQ(Lines(out.end() - static_cast<long>(c.lastLines.size()), out.end()), c.lastLines) << r.out;
        EXPECT_EQ(r.writes.size(), c.writes);
    }
}

TEST(ConfigSi5338, ChecksBeforeAnyExchange) {
    struct Case {
        uint32_t bus, device;
        bool service;
        const char* file;
        Result code;
        std::string out;
    };
    const std::string missing = dataFile("no_such_file.txt");
    const Case cases[] = {
        {256, 0x70, false, "6,1", 15, "*** I2C bus number be in the range 0 to 255.\n"},
        {1, 128, false, "6,1", 16, "*** I2C device number must be in the range 0 to 127.\n"},
        {1, 0x70, true, "6,1", 13,
         "*** The config-si5338 command requires the device to not be in Service Mode.\n"
         "    Please exit Service Mode manually using switch setting or by issuing the exit-service-mode command.\n"},
        {1, 0x70, false, nullptr, 114,
         "*** Failed to read file '" + missing + "' in SI5338 register map format: file not found (error 258)\n"},
    };
    for (const Case& c : cases) {
        FakeUc uc;
        uc.context()->inServiceMode = c.service;
        const std::string path = c.file ? writeTempFile("checks.txt", c.file) : missing;
        OutCapture cap;
        EXPECT_EQ(configureSi5338(path.c_str(), uc.context(), false, c.bus, c.device), c.code);
        EXPECT_EQ(cap.text(), c.out);
        EXPECT_TRUE(uc.requests().empty());
    }
}

}  // namespace
