// The simulated uC: answers per command, mode switching, application-flash
// rules, VPD options, sensors, black box, persistence, and the routing: a
// board whose devices claim one request twice does not start.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "core/board.h"
#include "devices/app_flash.h"
#include "devices/sensors.h"

namespace {

using Bytes = std::vector<uint8_t>;
using zsim::Board;
using zsim::SimOptions;

std::optional<Bytes> ask(Board& b, Bytes rq) { return b.respond(rq); }
const Bytes& flashOf(const Board& b) { return b.device<zsim::ApplicationFlash>()->image(); }

Bytes pageRead(uint16_t page) { return {0x06, 0x80, 0x09, static_cast<uint8_t>(page), static_cast<uint8_t>(page >> 8)}; }
Bytes pageWrite(uint16_t page, uint8_t fill) {
    Bytes rq = {0x06, 0x82, 0x09, static_cast<uint8_t>(page), static_cast<uint8_t>(page >> 8)};
    rq.insert(rq.end(), 512, fill);
    return rq;
}
uint32_t le32(const Bytes& b, size_t at) {
    return b[at] | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(b[at + 3]) << 24;
}

struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/zorvisim-test-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

TEST(SimBoard, IdentityAnswers) {
    SimOptions o;
    Board b(o);
    struct Case {
        Bytes rq;
        std::optional<Bytes> reply;
    };
    const Case cases[] = {
        {{0x03, 0x86}, Bytes{0x03, 0x06, 0xD1, 0x02, 0x00, 0x00}},  // 721
        {{0x03, 0x83}, Bytes{0x03, 0x03, 0x04, 0x00, 0x1A, 0x00, 0x00, 0x00, 0x07, 0x00}},  // 4.26.0.7
        {{0x03, 0x84, 0x01, 0x04, 0x10}, Bytes{0x03, 0x04, 0x01, 0x04, 0x10}},
        {{0x05, 0x86}, Bytes{0x05, 0x06, 0x00}},
        {{0xFF, 0x81}, std::nullopt},  // test-timeout: never answered
        {{0x07, 0x81}, Bytes{0x07, 0x01, 0xFF}},  // unknown group
        {{0x03, 0x99}, Bytes{0x03, 0x19, 0xFF}},  // unknown command
        {{0x03, 0x06}, Bytes{0x03, 0x06, 0xFF}},  // command without bit 7: not a request
        {{0x03}, std::nullopt},                   // no reply code to answer with
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.rq));
        EXPECT_EQ(ask(b, c.rq), c.reply);
    }
}

TEST(SimBoard, SilentUnknownAnswersNothing) {
    SimOptions o;
    o.silentUnknown = true;
    Board b(o);
    EXPECT_EQ(ask(b, {0x07, 0x81}), std::nullopt);
    EXPECT_TRUE(ask(b, {0x03, 0x86}).has_value());
}

TEST(SimBoard, ProductIdSetsPerMode) {
    struct Case {
        zsim::ProductIdSet set;
        uint32_t normal, service;
    };
    const Case cases[] = {{zsim::ProductIdSet::Standard, 721, 720},
                          {zsim::ProductIdSet::Alt, 1321, 1320},
                          {zsim::ProductIdSet::Xdma, 0x2D100, 0x2D000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.normal);
        SimOptions o;
        o.productIds = c.set;
        Board b(o);
        EXPECT_EQ(le32(*ask(b, {0x03, 0x86}), 2), c.normal);
        EXPECT_EQ(ask(b, {0x03, 0x80}), (Bytes{0x03, 0x00, 0x00}));
        EXPECT_EQ(le32(*ask(b, {0x03, 0x86}), 2), c.service);
        EXPECT_EQ(ask(b, {0x03, 0x83}), (Bytes{0x03, 0x03, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x00}));
        EXPECT_EQ(ask(b, {0x03, 0x82}), (Bytes{0x03, 0x02, 0x00}));
        EXPECT_EQ(le32(*ask(b, {0x03, 0x86}), 2), c.normal);
    }
}

TEST(SimBoard, SwitchFaults) {
    SimOptions refuse;
    refuse.refuseSwitchStatus = 0x09;
    Board r(refuse);
    EXPECT_EQ(ask(r, {0x03, 0x80}), (Bytes{0x03, 0x00, 0x09}));
    EXPECT_FALSE(r.inServiceMode());

    SimOptions stuck;
    stuck.switchNoEffect = true;
    stuck.service = true;
    Board s(stuck);
    EXPECT_EQ(ask(s, {0x03, 0x82}), (Bytes{0x03, 0x02, 0x00}));
    EXPECT_TRUE(s.inServiceMode());
    EXPECT_EQ(le32(*ask(s, {0x03, 0x86}), 2), 720u);
}

TEST(SimBoard, FlashPagesOnlyInServiceMode) {
    SimOptions o;
    Board b(o);
    EXPECT_EQ(ask(b, pageRead(0)), (Bytes{0x06, 0x00, 0x02}));
    EXPECT_EQ(ask(b, pageWrite(0, 0xAB)), (Bytes{0x06, 0x02, 0x02}));
    EXPECT_EQ(flashOf(b)[0], 0x00);  // the vector table, untouched

    ask(b, {0x03, 0x80});
    auto page0 = ask(b, pageRead(0));
    ASSERT_TRUE(page0);
    ASSERT_EQ(page0->size(), 515u);
    EXPECT_EQ((Bytes(page0->begin(), page0->begin() + 7)), (Bytes{0x06, 0x00, 0x00, 0x00, 0x80, 0x00, 0x20}));

    EXPECT_EQ(ask(b, pageWrite(3, 0x5C)), (Bytes{0x06, 0x02, 0x00}));
    auto page3 = ask(b, pageRead(3));
    Bytes expected = {0x06, 0x00, 0x00};
    expected.insert(expected.end(), 512, 0x5C);
    EXPECT_EQ(*page3, expected);

    // Bad requests: page beyond 128 KiB, wrong sub-code, wrong write length.
    EXPECT_EQ(ask(b, pageRead(256)), (Bytes{0x06, 0x00, 0x01}));
    EXPECT_EQ(ask(b, (Bytes{0x06, 0x80, 0x08, 0x00, 0x00})), (Bytes{0x06, 0x00, 0x01}));
    EXPECT_EQ(ask(b, (Bytes{0x06, 0x80, 0x09, 0x00})), (Bytes{0x06, 0x00, 0x01}));
    const Bytes before = flashOf(b);
    Bytes shortWrite = pageWrite(4, 0x11);
    shortWrite.pop_back();
    EXPECT_EQ(ask(b, shortWrite), (Bytes{0x06, 0x02, 0x01}));
    EXPECT_EQ(flashOf(b), before);
}

TEST(SimBoard, PageWriteFailsAtTheChosenPageOnly) {
    SimOptions o;
    o.service = true;
    o.pageWriteFailPage = 254;
    o.pageWriteFailStatus = 0x33;
    Board b(o);
    EXPECT_EQ(ask(b, pageWrite(253, 0x01)), (Bytes{0x06, 0x02, 0x00}));
    EXPECT_EQ(ask(b, pageWrite(254, 0x01)), (Bytes{0x06, 0x02, 0x33}));
    EXPECT_NE(flashOf(b)[254 * 512], 0x01);
    EXPECT_EQ(flashOf(b)[253 * 512], 0x01);
}

TEST(SimBoard, VpdCopyInFlashIsTheRecordStartAndFeedsRequestVpd) {
    SimOptions o;
    o.model = 1437;
    o.serial = 777;
    Board b(o);
    auto vpd = ask(b, {0x05, 0x8C});
    ASSERT_TRUE(vpd);
    ASSERT_EQ(vpd->size(), 259u);
    EXPECT_EQ((Bytes(vpd->begin(), vpd->begin() + 3)), (Bytes{0x05, 0x0C, 0x00}));
    EXPECT_EQ(le32(*vpd, 3 + 4), 1437u);
    EXPECT_EQ(le32(*vpd, 3 + 8), 777u);
    for (uint32_t i = 0; i < 128; ++i) ASSERT_EQ(flashOf(b)[0x1FF00 + i], vpd->at(3 + i)) << i;

    // A VPD image written in service mode is what the normal firmware hands out.
    ask(b, {0x03, 0x80});
    EXPECT_EQ(ask(b, {0x05, 0x8C}), (Bytes{0x05, 0x0C, 0x02}));  // board functions: normal firmware only
    Bytes page = *ask(b, pageRead(255));
    Bytes rq = {0x06, 0x82, 0x09, 0xFF, 0x00};
    rq.insert(rq.end(), page.begin() + 3, page.end());
    rq[5 + 0x100 + 8] = 0x39;  // serial number low byte
    EXPECT_EQ(ask(b, rq), (Bytes{0x06, 0x02, 0x00}));
    ask(b, {0x03, 0x82});
    EXPECT_EQ(ask(b, {0x05, 0x8C})->at(3 + 8), 0x39);
}

uint8_t sum(const Bytes& b, size_t from, size_t n) {
    uint8_t s = 0;
    for (size_t i = 0; i < n; ++i) s = static_cast<uint8_t>(s + b[from + i]);
    return s;
}

TEST(SimBoard, VpdRecordOptions) {
    struct Case {
        const char* name;
        void (*set)(SimOptions&);
        uint16_t version, length;
        uint32_t drawing;
        bool checksumOk;
    };
    const Case cases[] = {
        {"default", [](SimOptions&) {}, 0, 0, 1353, true},
        {"bad checksum", [](SimOptions& o) { o.vpdBadChecksum = true; }, 0, 0, 1353, false},
        {"version 1", [](SimOptions& o) { o.vpdVersion = 1; }, 1, 0, 1353, true},
        {"length 40", [](SimOptions& o) { o.vpdLength = 40; }, 0, 40, 1353, true},
        {"unknown drawing", [](SimOptions& o) { o.vpdDrawing = 9999; }, 0, 0, 9999, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimOptions o;
        c.set(o);
        Board b(o);
        Bytes vpd = *ask(b, {0x05, 0x8C});
        const uint16_t length = static_cast<uint16_t>(vpd[3 + 2] | vpd[3 + 3] << 8);
        EXPECT_EQ(vpd[3] | vpd[4] << 8, c.version);
        if (c.length != 0) {
            EXPECT_EQ(length, c.length);
        }
        EXPECT_EQ(le32(vpd, 3 + 4), c.drawing);
        ASSERT_GE(length, 5);
        ASSERT_LE(length, 128);
        EXPECT_EQ(sum(vpd, 3, length) == 0, c.checksumOk);
    }
}

TEST(SimBoard, SensorsOverridesAndBlackBox) {
    SimOptions o;
    o.sensorSeconds = 0x01020304u;  // --sensor-seconds: readings that do not move
    Board b(o);
    Bytes page = *ask(b, {0x05, 0x89});
    ASSERT_EQ(page.size(), 67u);
    EXPECT_EQ((Bytes(page.begin(), page.begin() + 3)), (Bytes{0x05, 0x09, 0x00}));

    // Override channel 2 with 0x1234, then release it.
    uint8_t channelPage[zsim::kSimSensorPageSize];
    zsim::buildSensorPage(o.model, 0, 0x01020304u, channelPage);
    zsim::applySensorOverride(channelPage, 2, 0x1234);
    EXPECT_EQ(ask(b, (Bytes{0x05, 0x81, 2, 0x34, 0x12, 0, 0, 1})), (Bytes{0x05, 0x01, 0x00}));
    EXPECT_EQ(b.device<zsim::SensorMonitor>()->overrides().at(2), 0x1234u);
    Bytes overridden = *ask(b, {0x05, 0x89});
    EXPECT_EQ(Bytes(overridden.begin() + 3, overridden.end()), Bytes(channelPage, channelPage + 64));
    EXPECT_EQ(ask(b, (Bytes{0x05, 0x81, 2, 0, 0, 0, 0, 0})), (Bytes{0x05, 0x01, 0x00}));
    EXPECT_TRUE(b.device<zsim::SensorMonitor>()->overrides().empty());
    EXPECT_EQ(*ask(b, {0x05, 0x89}), page);

    // A channel the model lacks, a bad action, a short request: status 1.
    EXPECT_EQ(ask(b, (Bytes{0x05, 0x81, 200, 1, 0, 0, 0, 1})), (Bytes{0x05, 0x01, 0x01}));
    EXPECT_EQ(ask(b, (Bytes{0x05, 0x81, 2, 1, 0, 0, 0, 7})), (Bytes{0x05, 0x01, 0x01}));
    EXPECT_EQ(ask(b, (Bytes{0x05, 0x81, 2})), (Bytes{0x05, 0x01, 0x01}));

    uint8_t records[zsim::kSimBlackBoxRecords][zsim::kSimSensorPageSize];
    zsim::buildBlackBox(o.model, records);
    for (uint8_t index : {0, 23, 24, 30}) {
        SCOPED_TRACE(index);
        Bytes rec = *ask(b, {0x05, 0x8A, index});
        ASSERT_EQ(rec.size(), 67u);
        EXPECT_EQ(rec[2], 0x00);
        EXPECT_EQ(Bytes(rec.begin() + 3, rec.end()), Bytes(records[index], records[index] + 64));
    }
    EXPECT_EQ(ask(b, (Bytes{0x05, 0x8A, 31})), (Bytes{0x05, 0x0A, 0x01}));
    EXPECT_EQ(ask(b, (Bytes{0x05, 0x8A})), (Bytes{0x05, 0x0A, 0x01}));
}

TEST(SimBoard, BoardFunctionsRefusedByTheServiceFirmware) {
    SimOptions o;
    o.service = true;
    Board b(o);
    for (Bytes rq : {Bytes{0x05, 0x86}, Bytes{0x05, 0x89}, Bytes{0x05, 0x8A, 0}, Bytes{0x05, 0x8C}}) {
        SCOPED_TRACE(::testing::PrintToString(rq));
        EXPECT_EQ(ask(b, rq), (Bytes{0x05, static_cast<uint8_t>(rq[1] & 0x7F), 0x02}));
    }
}

TEST(SimBoard, StateDirKeepsFlashAndOverridesButNotTheMode) {
    TempDir dir;
    SimOptions o;
    o.stateDir = dir.path + "/state";
    {
        Board b(o);
        std::string err;
        ASSERT_TRUE(b.loadState(err)) << err;
        ask(b, {0x05, 0x81, 3, 0x10, 0x00, 0x00, 0x00, 1});
        ask(b, {0x03, 0x80});
        ask(b, pageWrite(7, 0x77));
        EXPECT_EQ(b.takeSaveError(), "");
    }
    EXPECT_EQ(std::filesystem::file_size(o.stateDir + "/appflash.bin"), 128u * 1024u);
    {
        Board b(o);
        std::string err;
        ASSERT_TRUE(b.loadState(err)) << err;
        EXPECT_FALSE(b.inServiceMode());  // a start is a power-on
        EXPECT_EQ(flashOf(b)[7 * 512], 0x77);
        EXPECT_EQ(flashOf(b)[7 * 512 + 511], 0x77);
        EXPECT_EQ(b.device<zsim::SensorMonitor>()->overrides(), (std::map<uint32_t, uint32_t>{{3, 0x10}}));
    }
}

TEST(SimBoard, StateDirVpdRegionFollowsAnExplicitIdentity) {
    TempDir dir;
    SimOptions o;
    o.stateDir = dir.path;
    {
        Board b(o);
        std::string err;
        ASSERT_TRUE(b.loadState(err)) << err;
        ask(b, {0x03, 0x80});
        Bytes rq = pageWrite(255, 0xEE);
        ask(b, rq);
    }
    {
        Board b(o);  // same options: the saved VPD stays
        std::string err;
        ASSERT_TRUE(b.loadState(err));
        EXPECT_EQ(flashOf(b)[0x1FF00], 0xEE);
    }
    o.serial = 4;
    o.identityGiven = true;
    Board b(o);
    std::string err;
    ASSERT_TRUE(b.loadState(err));
    EXPECT_EQ(flashOf(b)[0x1FF00 + 8], 4);
    EXPECT_EQ(flashOf(b)[0x1FE00], 0xEE);  // the rest of the page is as saved
}

TEST(SimBoard, CorruptSavedFlashIsAnError) {
    TempDir dir;
    std::ofstream(dir.path + "/appflash.bin") << "short";
    SimOptions o;
    o.stateDir = dir.path;
    Board b(o);
    std::string err;
    EXPECT_FALSE(b.loadState(err));
    EXPECT_NE(err.find("appflash.bin"), std::string::npos);
}

// Two devices that claim what they are given (two types, so that the
// message names both).
struct ClaimsA : zsim::BoardDevice {
    explicit ClaimsA(zsim::Claim c) : claim(c) {}
    std::vector<zsim::Claim> claims() const override { return {claim}; }
    std::optional<Bytes> handle(const Bytes&) override { return Bytes{}; }
    zsim::Claim claim;
};
struct ClaimsB : ClaimsA {
    using ClaimsA::ClaimsA;
};
std::vector<std::unique_ptr<zsim::BoardDevice>> pair(zsim::Claim a, zsim::Claim b) {
    std::vector<std::unique_ptr<zsim::BoardDevice>> devices;
    devices.push_back(std::make_unique<ClaimsA>(a));
    devices.push_back(std::make_unique<ClaimsB>(b));
    return devices;
}

TEST(SimBoard, ABoardWhoseDevicesClaimARequestTwiceDoesNotStart) {
    const std::string both = "devices (anonymous namespace)::ClaimsA and (anonymous namespace)::ClaimsB both claim ";
    struct Case {
        const char* name;
        zsim::DeviceMaker devices;
        std::string error;  ///< empty: the board starts
    };
    const Case cases[] = {
        {"the board's own devices", zsim::makeBoardDevices, ""},
        {"one request twice", [](zsim::BoardState&) { return pair({0x05, 0x90}, {0x05, 0x90}); },
         both + "request 05 90"},
        {"one length twice", [](zsim::BoardState&) { return pair({0x06, 0x82, 517}, {0x06, 0x82, 517}); },
         both + "request 06 82 of 517 bytes"},
        {"a length and any other", [](zsim::BoardState&) { return pair({0x06, 0x82, 517}, {0x06, 0x82}); }, ""},
        {"two commands of a group", [](zsim::BoardState&) { return pair({0x05, 0x90}, {0x05, 0x91}); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimOptions o;
        Board b(o, c.devices);
        std::string err;
        EXPECT_EQ(b.start(err), c.error.empty());
        EXPECT_EQ(err, c.error);
    }
}

TEST(SimBoard, EveryClaimIsARequest) {
    SimOptions o;
    Board b(o);
    for (const auto& device : b.devices())
        for (const zsim::Claim& c : device->claims()) {
            SCOPED_TRACE(zsim::hexLine({c.group, c.command}));
            EXPECT_NE(c.command & 0x80, 0);  // a request, not a reply code
        }
}

TEST(SimBoard, HexLine) {
    EXPECT_EQ(zsim::hexLine({0x03, 0x86}), "03 86");
    EXPECT_EQ(zsim::hexLine({0xFF, 0x0A, 0x00}), "FF 0A 00");
    EXPECT_EQ(zsim::hexLine({}), "");
}

}  // namespace
