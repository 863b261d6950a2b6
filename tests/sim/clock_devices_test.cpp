// The simulated clock devices alone: the SI5338 on its bus and the clock
// generators' frequency and register-map requests.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "devices/clock_generators.h"
#include "devices/si5338.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using namespace zsim;

uint8_t readReg(Si5338& chip, uint8_t address) {
    uint8_t value = 0;
    EXPECT_TRUE(chip.write(&address, 1));
    EXPECT_TRUE(chip.read(&value, 1));
    return value;
}
void writeRegs(Si5338& chip, Bytes bytes) { EXPECT_TRUE(chip.write(bytes.data(), bytes.size())); }

TEST(SimSi5338, PagesIdentityStatusAndWriteRecord) {
    struct Case {
        std::optional<uint32_t> clkin, lock;
        Bytes before, after;  ///< readings of 218 before and after the soft reset
    };
    const Case cases[] = {
        {1, 2, {0x15, 0x11}, {0x11, 0x11, 0x00, 0x00}},
        {0, 0, {0x11}, {0x00}},
        {std::nullopt, 1, {0x15, 0x15}, {0x15, 0x15}},
        {0, std::nullopt, {0x11}, {0x11, 0x11, 0x11}},
    };
    for (const Case& c : cases) {
        SimOptions o;
        o.si5338ClkinReads = c.clkin;
        o.si5338LockReads = c.lock;
        BoardState state(o);
        Si5338 chip(state);
        EXPECT_EQ(Bytes({readReg(chip, 0), readReg(chip, 2), readReg(chip, 3), readReg(chip, 4), readReg(chip, 5)}),
                  Bytes({0x01, 0x26, 0x10, 0x39, 0x30}));
        Bytes before, after;
        for (size_t i = 0; i < c.before.size(); ++i) before.push_back(readReg(chip, 218));
        EXPECT_EQ(readReg(chip, 235), 0);  // no calibration before a lock
        writeRegs(chip, {246, 0x02});
        for (size_t i = 0; i < c.after.size(); ++i) after.push_back(readReg(chip, 218));
        EXPECT_EQ(before, c.before);
        EXPECT_EQ(after, c.after);
        EXPECT_EQ(readReg(chip, 237), after.back() == 0 ? 0x01 : 0x00);
    }
    SimOptions o;
    BoardState state(o);
    Si5338 chip(state);
    writeRegs(chip, {44, 0x11, 0x22});  // page 0: 44, 45
    writeRegs(chip, {255, 1});
    writeRegs(chip, {44, 0x33});        // page 1: 300
    writeRegs(chip, {0, 0x77});         // read-only identification
    EXPECT_EQ(readReg(chip, 44), 0x33);
    EXPECT_EQ(Bytes({chip.reg(44), chip.reg(45), chip.reg(300), chip.reg(256), chip.reg(0)}),
              Bytes({0x11, 0x22, 0x33, 0x77, 0x01}));
    EXPECT_EQ(chip.writes(), (Lines{"44=11", "45=22", "255=01", "300=33", "256=77"}));
}

Bytes ask(ClockGenerators& g, Bytes rq) { return *g.handle(rq); }

TEST(SimClockGenerators, FrequencyRequestsPerModel) {
    struct Case {
        uint32_t model;
        Bytes request;
        Bytes reply;
    };
    const Case cases[] = {
        {1353, {5, 0x8F, 0}, {5, 0x0F, 0, 0x00, 0xE1, 0xF5, 0x05}},
        {1353, {5, 0x8F, 2}, {5, 0x0F, 1, 0, 0, 0, 0}},
        {1353, {5, 0x8E, 1, 0x00, 0xE1, 0xF5, 0x05}, {5, 0x0E, 0, 0, 0, 0, 0}},
        {1353, {5, 0x8E, 1, 1, 0, 0, 0}, {5, 0x0E, 0x11, 0, 0, 0, 0}},
        {1353, {5, 0x84, 1, 1}, {5, 0x04, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
        {1353, {5, 0x83, 1, 0, 0, 0, 0, 3}, {5, 0x03, 0, 0, 0, 0, 0}},
        {1413, {5, 0x83, 0, 0, 0, 0, 0, 3}, {5, 0x03, 2, 0, 0, 0, 0}},
        {1308, {5, 0x8F, 0}, {5, 0x0F, 2, 0, 0, 0, 0}},
        {1308, {5, 0x83, 0, 0, 0, 0, 0, 3}, {5, 0x03, 3, 0, 0, 0, 0}},
        {1308, {5, 0x9B, 0xC2, 0, 0, 0, 0}, {5, 0x1B, 1}},
    };
    for (const Case& c : cases) {
        SimOptions o;
        o.model = c.model;
        BoardState state(o);
        ClockGenerators g(state, nullptr);
        EXPECT_EQ(ask(g, c.request), c.reply) << c.model << " " << static_cast<int>(c.request[1]);
    }
}

Bytes chunk(uint8_t flags, uint8_t index, uint8_t type, Bytes payload) {
    Bytes rq = {5, 0x9B, flags, index, type, static_cast<uint8_t>(payload.size()),
                static_cast<uint8_t>(payload.size() >> 8)};
    for (uint8_t b : payload) rq.push_back(b);
    return rq;
}

TEST(SimClockGenerators, MapChunksAndTheSi5338Sequence) {
    SimOptions o;
    BoardState state(o);
    Si5338 chip(state);
    ClockGenerators g(state, &chip);
    struct Step {
        Bytes request;
        uint8_t status;
    };
    const Step steps[] = {
        {chunk(0x00, 1, 1, {17, 8}), kMapBadFlags},              // no first chunk
        {chunk(0x40, 1, 1, {17, 8}), 0},
        {chunk(0x81, 1, 1, {18, 9}), kMapBadFlags},              // flags changed on the way
        {chunk(0xC0, 1, 0, {17, 8}), kMapBadMap},                // SI5338 type for the LMK61E2
        {chunk(0xC0, 2, 1, {17, 8}), kMapBadIndex},
        {chunk(0xC0, 1, 1, {17, 8, 18}), kMapBadMap},            // half a pair
        {chunk(0xC0, 0, 0, {0x5F, 0x01, 0xFF, 0}), kMapBadMap},  // register 351
        {chunk(0xC2, 0, 0, {1, 2}), kMapBadFlags},               // factory default with a map
        {chunk(0x40, 1, 1, {17, 8}), 0},
        {chunk(0x80, 1, 1, {18, 9}), 0},
        {chunk(0xC0, 0, 0, {0x2C, 0x01, 0x00, 0x05, 6, 0, 0x1D, 0x08}), 0},
    };
    for (const Step& s : steps) {
        const Bytes reply = ask(g, s.request);
        EXPECT_EQ(reply, (Bytes{5, 0x1B, s.status})) << static_cast<int>(s.request[2]);
    }
    EXPECT_EQ(g.lastMap(1), (Bytes{17, 8, 18, 9}));
    EXPECT_EQ(chip.writes(), (Lines{"255=00", "230=10", "241=E5", "255=01", "300=00", "255=00", "6=08", "49=00",
                                    "246=02", "241=65", "47=15", "46=41", "45=9E", "49=80", "230=00"}));
    o.si5338LockReads.reset();
    EXPECT_EQ(ask(g, chunk(0xC0, 0, 0, {6, 0, 0x1D, 0x08})), (Bytes{5, 0x1B, kMapNoLock}));
    o.si5338ClkinReads.reset();
    EXPECT_EQ(ask(g, chunk(0xC0, 0, 0, {6, 0, 0x1D, 0x08})), (Bytes{5, 0x1B, kMapNoInputClock}));
    state.powered = false;
    EXPECT_EQ(ask(g, chunk(0xC0, 0, 0, {6, 0, 0x1D, 0x08})), (Bytes{5, 0x1B, kMapChipSilent}));
}

TEST(SimClockGenerators, OverridesAndMapsPersistAcrossPowerUps) {
    char tmpl[] = "/tmp/zorvisim-clocks-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    SimOptions o;
    {
        BoardState state(o);
        ClockGenerators g(state, nullptr);
        std::string error;
        ASSERT_TRUE(g.loadState(dir, error));
        EXPECT_EQ(ask(g, {5, 0x83, 1, 0x40, 0x59, 0x73, 0x07, 3})[2], 0);  // 125 MHz
        EXPECT_EQ(ask(g, chunk(0xC1, 1, 1, {17, 8}))[2], 0);
        EXPECT_TRUE(std::filesystem::exists(dir + "/clock-nvmap-1.bin"));
    }
    BoardState state(o);
    ClockGenerators g(state, nullptr);
    std::string error;
    ASSERT_TRUE(g.loadState(dir, error));
    EXPECT_EQ(g.overrideFrequency(1), 125000000u);
    EXPECT_EQ(g.frequency(1), 125000000u);
    EXPECT_EQ(ask(g, chunk(0xC3, 1, 0, {}))[2], 0);
    EXPECT_FALSE(std::filesystem::exists(dir + "/clock-nvmap-1.bin"));
    std::filesystem::remove_all(dir);
}

}  // namespace
