// Fault injection and option parsing of the simulator, with the line bytes
// built by hand.
#include <gtest/gtest.h>

#include "core/options.h"
#include "core/simulator.h"

namespace {

using Bytes = std::vector<uint8_t>;
using zsim::FaultKind;
using zsim::SimOptions;

SimOptions withFaults(const std::vector<std::string>& args) {
    SimOptions o;
    std::string err;
    EXPECT_TRUE(zsim::parseOptions(args, o, err)) << err;
    return o;
}

// The version request's reply frame: 01 03 03 04 00 1A 00 00 00 07 00 04
const Bytes kVersionFrame = {0x01, 0x03, 0x03, 0x10, 0xFB, 0x00, 0x1A, 0x00, 0x00, 0x00, 0x07, 0x00, 0x04};

TEST(SimFaults, SerialLineBytesPerFault) {
    struct Case {
        const char* fault;
        bool reply;
        Bytes line;
        uint32_t delayMs;
    };
    const Case cases[] = {
        {"no-reply@1", false, {}, 0},
        {"late@1=250", true, kVersionFrame, 250},
        {"short@1", true, {0x01, 0x03, 0x04}, 0},
        // Reply byte 1 0x03 becomes 0x04, which travels escaped.
        {"wrong-code@1", true,
         {0x01, 0x03, 0x10, 0xFB, 0x10, 0xFB, 0x00, 0x1A, 0x00, 0x00, 0x00, 0x07, 0x00, 0x04}, 0},
        // Byte 2 (here the version's first low byte 0x04) becomes the status.
        {"status@1=0x7E", true, {0x01, 0x03, 0x03, 0x7E, 0x00, 0x1A, 0x00, 0x00, 0x00, 0x07, 0x00, 0x04}, 0},
        {"oversize@1=2", true,
         {0x01, 0x03, 0x03, 0x10, 0xFB, 0x00, 0x1A, 0x00, 0x00, 0x00, 0x07, 0x00, 0xA0, 0xA1, 0x04}, 0},
        {"restart@1", true,
         {0x01, 0x03, 0x03, 0xEE, 0xDD, 0x01, 0x03, 0x03, 0x10, 0xFB, 0x00, 0x1A, 0x00, 0x00, 0x00, 0x07, 0x00, 0x04},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        zsim::Simulator sim(withFaults({"--fault", c.fault}));
        zsim::Outgoing out = sim.handle({0x03, 0x83});
        EXPECT_EQ(out.reply, c.reply);
        EXPECT_EQ(out.delayMs, c.delayMs);
        if (c.reply) {
            EXPECT_EQ(out.lineBytes(), c.line);
        }
    }
}

TEST(SimFaults, NoiseHoldsNoStartByteAndComesFirst) {
    zsim::Simulator sim(withFaults({"--noise", "1=40"}));
    Bytes line = sim.handle({0x03, 0x83}).lineBytes();
    ASSERT_EQ(line.size(), 40u + kVersionFrame.size());
    for (size_t i = 0; i < 40; ++i) EXPECT_NE(line[i], 0x01) << i;
    EXPECT_EQ(Bytes(line.begin() + 40, line.end()), kVersionFrame);
}

TEST(SimFaults, SelectorsPickTheRightRequests) {
    struct Case {
        const char* when;
        std::vector<bool> shortened;  // per request of the sequence below
    };
    // Requests: product ID, version, product ID, version.
    const Case cases[] = {
        {"2", {false, true, false, false}},
        {"all", {true, true, true, true}},
        {"03.86", {true, false, true, false}},
        {"3", {false, false, true, false}},
    };
    const Bytes requests[] = {{0x03, 0x86}, {0x03, 0x83}, {0x03, 0x86}, {0x03, 0x83}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        zsim::Simulator sim(withFaults({"--short-reply", c.when}));
        for (size_t i = 0; i < 4; ++i) EXPECT_EQ(sim.handle(requests[i]).message.size() == 1, c.shortened[i]) << i;
        EXPECT_EQ(sim.requestCount(), 4u);
    }
}

TEST(SimFaults, FaultyReplyStillChangesTheBoard) {
    // The enter request's reply is lost, but the uC did switch.
    zsim::Simulator sim(withFaults({"--fault", "no-reply@03.80"}));
    EXPECT_FALSE(sim.handle({0x03, 0x80}).reply);
    EXPECT_TRUE(sim.board().inServiceMode());
}

TEST(SimFaults, FeedLineCountsFramesNotReads) {
    zsim::Simulator sim(withFaults({"--no-reply", "2"}));
    const Bytes line = {0x55, 0x01, 0x03, 0x86, 0x04, 0x01, 0x03, 0x83, 0x04, 0x01, 0x03};
    std::vector<Bytes> requests;
    auto outs = sim.feedLine(line.data(), 6, &requests);
    auto more = sim.feedLine(line.data() + 6, line.size() - 6, &requests);
    outs.insert(outs.end(), more.begin(), more.end());
    ASSERT_EQ(outs.size(), 2u);
    EXPECT_TRUE(outs[0].reply);
    EXPECT_FALSE(outs[1].reply);
    EXPECT_EQ(requests, (std::vector<Bytes>{{0x03, 0x86}, {0x03, 0x83}}));
    const Bytes rest = {0x86, 0x04};
    outs = sim.feedLine(rest.data(), rest.size(), &requests);
    ASSERT_EQ(outs.size(), 1u);
    EXPECT_EQ(outs[0].lineBytes(), (Bytes{0x01, 0x03, 0x06, 0xD1, 0x02, 0x00, 0x00, 0x04}));
}

TEST(SimOptions, ParsesBoardAndServiceFaultOptions) {
    SimOptions o = withFaults({"--model", "1437", "--serial", "0x10", "--service", "--product-ids", "xdma",
                               "--vpd-version", "2", "--vpd-drawing", "7", "--page-write-fail", "254=0x21",
                               "--refuse-switch", "5", "--card-type", "11C", "--card-serial", "9", "--state-dir",
                               "/s", "--log", "/l", "--pcie-socket", "/p", "--run", "cmd", "--model", "{port}"});
    EXPECT_EQ(o.model, 1437u);
    EXPECT_EQ(o.serial, 16u);
    EXPECT_TRUE(o.service);
    EXPECT_EQ(o.productIds, zsim::ProductIdSet::Xdma);
    EXPECT_EQ(o.vpdVersion, 2);
    EXPECT_EQ(o.vpdDrawing, 7u);
    EXPECT_TRUE(o.identityGiven);
    EXPECT_EQ(o.pageWriteFailPage, 254u);
    EXPECT_EQ(o.pageWriteFailStatus, 0x21);
    EXPECT_EQ(o.refuseSwitchStatus, 5);
    EXPECT_EQ(o.cardType, 0x11Cu);
    EXPECT_EQ(o.cardSerial, 9u);
    EXPECT_EQ(o.stateDir, "/s");
    EXPECT_EQ(o.logFile, "/l");
    EXPECT_EQ(o.pcieSocket, "/p");
    // Everything after --run belongs to the command.
    EXPECT_EQ(o.runCommand, (std::vector<std::string>{"cmd", "--model", "{port}"}));
}

TEST(SimOptions, FaultSyntax) {
    SimOptions o = withFaults({"--fault", "late@03.83", "--late-reply", "4=10", "--status", "all=255", "--noise", "2"});
    ASSERT_EQ(o.faults.size(), 4u);
    EXPECT_EQ(o.faults[0].kind, FaultKind::LateReply);
    EXPECT_EQ(o.faults[0].param, 2000u);
    EXPECT_EQ(o.faults[0].when.kind, zsim::FaultWhen::Command);
    EXPECT_EQ(o.faults[0].when.group, 0x03);
    EXPECT_EQ(o.faults[0].when.command, 0x83);
    EXPECT_EQ(o.faults[1].param, 10u);
    EXPECT_EQ(o.faults[1].when.n, 4u);
    EXPECT_EQ(o.faults[2].kind, FaultKind::Status);
    EXPECT_EQ(o.faults[2].when.kind, zsim::FaultWhen::All);
    EXPECT_EQ(o.faults[2].param, 255u);
    EXPECT_EQ(o.faults[3].param, 8u);
}

// The fault list names a kind with its value (late=MS), so a user writes
// the value before the selector too: both orders mean the same fault.
TEST(SimOptions, FaultValueBeforeOrAfterTheSelector) {
    struct Case {
        const char* text;
        FaultKind kind;
        uint32_t n, param;
    };
    const Case cases[] = {
        {"late@2=1500", FaultKind::LateReply, 2, 1500}, {"late=1500@2", FaultKind::LateReply, 2, 1500},
        {"status=7@3", FaultKind::Status, 3, 7},        {"noise@1", FaultKind::Noise, 1, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SimOptions o = withFaults({"--fault", c.text});
        ASSERT_EQ(o.faults.size(), 1u);
        EXPECT_EQ(o.faults[0].kind, c.kind);
        EXPECT_EQ(o.faults[0].when.n, c.n);
        EXPECT_EQ(o.faults[0].param, c.param);
    }
}

TEST(SimOptions, RejectsBadOptions) {
    const std::vector<std::vector<std::string>> bad = {
        {"--model"},                       {"--model", "12x"},          {"--product-ids", "weird"},
        {"--fault", "short"},              {"--fault", "bogus@1"},      {"--fault", "short@0"},
        {"--fault", "status@1"},           {"--fault", "status@1=256"}, {"--fault", "short@3.1FF"},
        {"--refuse-switch", "0"},          {"--page-write-fail", "x"},  {"--page-write-fail", "3=0"},
        {"--card-type", "xyz"},            {"--run"},                   {"--unknown"},
        {"--vpd-length", "65536"},         {"--fault", "late=x@2"},     {"--fault", "status=1@2=3"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(::testing::PrintToString(args));
        SimOptions o;
        std::string err;
        EXPECT_FALSE(zsim::parseOptions(args, o, err));
        EXPECT_FALSE(err.empty());
    }
}

}  // namespace
