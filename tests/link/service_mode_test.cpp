// The service-mode switch, the automatic switch and the two verbs, against
// an in-process fake uC whose mode follows the enter/exit requests.
#include "link/service_mode.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/out.h"
#include "platform/platform.h"
#include "support/fake_uc.h"

namespace {

std::vector<uint32_t> gSleeps;

/// Records every sleep instead of sleeping.
class InstantClock {
public:
    InstantClock() {
        gSleeps.clear();
        platform::ClockHooks hooks;
        hooks.sleepMs = [](uint32_t ms) { gSleeps.push_back(ms); };
        previous_ = platform::setClockHooks(hooks);
    }
    ~InstantClock() { platform::setClockHooks(previous_); }

private:
    platform::ClockHooks previous_;
};

/// A uC that switches firmware on request. Product IDs 720 (service) and
/// 721 (normal).
struct ModeUc {
    bool service = false;
    uint8_t switchStatus = 0;  ///< status byte of the enter/exit reply
    bool stuck = false;        ///< acknowledges but keeps its mode
    bool idTimesOut = false;   ///< product-ID read fails after the switch
    uint32_t idOverride = 0;   ///< non-zero: report this product ID
    uint32_t lostReply = 0;    ///< non-zero: the uC switches, then the exchange fails with this status
    int idFailures = 0;        ///< that many product-ID reads fail (after the first switch request)

    void bind(FakeUc& fake) {
        fake.onRequest([this](const Bytes& req, Bytes& reply) -> uint32_t {
            if (req == Bytes{0x03, 0x86}) {
                if (idTimesOut || (idFailures > 0 && idFailures--)) return 532;
                uint32_t id = idOverride != 0 ? idOverride : (service ? 720u : 721u);
                reply = {0x03, 0x06, static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8),
                         static_cast<uint8_t>(id >> 16), 0};
                return 0;
            }
            if (req == Bytes{0x03, 0x80} || req == Bytes{0x03, 0x82}) {
                reply = {0x03, static_cast<uint8_t>(req[1] & 0x7F), switchStatus};
                if (switchStatus == 0 && !stuck) service = req[1] == 0x80;
                return std::exchange(lostReply, 0u);
            }
            return 532;
        });
    }
};

const Bytes kEnter{0x03, 0x80};
const Bytes kExit{0x03, 0x82};
const Bytes kId{0x03, 0x86};

void grant(ConnectionContext* ctx, uint32_t enter, uint32_t exit, uint32_t automatic) {
    ctx->canEnterServiceMode = enter;
    ctx->canExitServiceMode = exit;
    ctx->autoServiceMode = automatic;
}

TEST(SwitchServiceMode, RefusesWithoutPermissionAndSendsNothing) {
    struct Case {
        bool enter;
        const char* linkName;
        const char* expected;
    };
    const Case cases[] = {
        {true, "USB", "*** Enter Service Mode via USB is not supported.\n"},
        {false, "USB", "*** Exit Service Mode via USB is not supported.\n"},
        {true, "PS UART", "*** Enter Service Mode via PS UART is not supported.\n"},
        {false, "TOBRA Driver (PCIe)", "*** Exit Service Mode via TOBRA Driver (PCIe) is not supported.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        for (bool checkOnly : {false, true}) {
            FakeUc fake;
            fake.context()->linkName = c.linkName;
            // The other direction's permission and automatic switching do
            // not stand in for the missing one.
            grant(fake.context(), c.enter ? 0 : 1, c.enter ? 1 : 0, 1);
            OutCapture cap;
            EXPECT_EQ(switchServiceMode(fake.context(), c.enter, false, checkOnly), 12u);
            EXPECT_EQ(cap.text(), c.expected);
            EXPECT_TRUE(fake.requests().empty());
        }
    }
}

TEST(SwitchServiceMode, CheckOnlyWithPermissionDoesNothing) {
    FakeUc fake;
    grant(fake.context(), 1, 1, 0);
    OutCapture cap;
    EXPECT_EQ(switchServiceMode(fake.context(), true, false, true), 0u);
    EXPECT_EQ(switchServiceMode(fake.context(), false, false, true), 0u);
    EXPECT_EQ(cap.text(), "");
    EXPECT_TRUE(fake.requests().empty());
}

TEST(SwitchServiceMode, SwitchesBothWaysAndWaitsTheLinkDelay) {
    for (uint32_t delay : {1000u, 5000u}) {
        SCOPED_TRACE(delay);
        InstantClock clock;
        FakeUc fake;
        ModeUc uc;
        uc.bind(fake);
        ConnectionContext* ctx = fake.context();
        ctx->modeSwitchDelayMs = delay;
        ctx->timeoutMicroseconds = 250000;
        grant(ctx, 1, 1, 0);

        OutCapture cap;
        EXPECT_EQ(switchServiceMode(ctx, true, false, false), 0u);
        EXPECT_EQ(cap.take(), "Entering service mode: OK\n");
        EXPECT_EQ(ctx->inServiceMode, 1u);
        EXPECT_EQ(switchServiceMode(ctx, false, false, false), 0u);
        EXPECT_EQ(cap.take(), "Exiting service mode: OK\n");
        EXPECT_EQ(ctx->inServiceMode, 0u);

        EXPECT_EQ(fake.requests(), (std::vector<Bytes>{kEnter, kId, kExit, kId}));
        EXPECT_EQ(gSleeps, (std::vector<uint32_t>{delay, delay}));
        // Every exchange of the switch runs with the context's time-out.
        for (uint32_t t : fake.timeouts()) EXPECT_EQ(t, 250000u);
    }
}

TEST(SwitchServiceMode, FailuresOfTheSwitch) {
    struct Case {
        const char* name;
        bool enter;
        void (*setUp)(ModeUc&, FakeUc&);
        Result result;
        std::vector<Bytes> requests;
        std::vector<uint32_t> sleeps;
        const char* expected;
    };
    const Case cases[] = {
        {"status byte", true, [](ModeUc& uc, FakeUc&) { uc.switchStatus = 0x05; }, 102, {kEnter}, {},
         "Entering service mode: *** ZORVI returned status 0x05 for Enter Service Mode command\n"},
        {"uC keeps its mode", true, [](ModeUc& uc, FakeUc&) { uc.stuck = true; }, 12, {kEnter, kId}, {5000},
         "Entering service mode: *** uC did not enter Service Mode as requested.\n"},
        {"uC stays in service mode", false, [](ModeUc& uc, FakeUc&) { uc.stuck = true; }, 12, {kExit, kId}, {5000},
         "Exiting service mode: *** uC did not exit Service Mode as requested.\n"},
        {"product ID unreadable after the delay", true, [](ModeUc& uc, FakeUc&) { uc.idTimesOut = true; }, 12,
         {kEnter, kId}, {5000},
         "Entering service mode: *** Failed to send command to ZORVI uC via USB: ZORVI_TIMEOUT\n"
         "*** Failed to get ZORVI firmware Product ID.\n"
         "*** uC did not enter Service Mode as requested.\n"},
        {"unknown product ID after the delay", true, [](ModeUc& uc, FakeUc&) { uc.idOverride = 999; }, 12,
         {kEnter, kId}, {5000},
         "Entering service mode: *** ZORVI firmware Product ID 999(0x3E7) not recognized. Aborting as a precaution "
         "against firmware corruption.\n"
         "*** uC did not enter Service Mode as requested.\n"},
        {"link failure", false, [](ModeUc&, FakeUc& fake) { fake.queueFailure(532); }, 102, {kExit}, {},
         "Exiting service mode: *** Failed to send command to ZORVI uC via USB: ZORVI_TIMEOUT\n"},
        {"reply too short", true, [](ModeUc&, FakeUc& fake) { fake.queueReply({0x03}); }, 104, {kEnter}, {},
         "Entering service mode: +++ Unexpected ZORVI response length 1 bytes; expected 3 bytes.\n"
         "+++ ZORVI response too short to be valid.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstantClock clock;
        FakeUc fake;
        ModeUc uc;
        uc.service = !c.enter;
        uc.bind(fake);
        c.setUp(uc, fake);
        fake.context()->inServiceMode = c.enter ? 0 : 1;
        grant(fake.context(), 1, 1, 1);
        OutCapture cap;
        EXPECT_EQ(switchServiceMode(fake.context(), c.enter, false, false), c.result);
        EXPECT_EQ(cap.text(), c.expected);
        EXPECT_EQ(fake.requests(), c.requests);
        EXPECT_EQ(gSleeps, c.sleeps);
        // The mode only changes on a confirmed switch.
        EXPECT_EQ(fake.context()->inServiceMode, c.enter ? 0u : 1u);
    }
}

TEST(EnsureServiceMode, DecidesBetweenNothingRefusalAndSwitch) {
    struct Case {
        const char* name;
        uint32_t inService, want, enter, exit, automatic;
        Result result;
        const char* expected;
        size_t requests;
    };
    const Case cases[] = {
        {"already in service mode", 1, 1, 0, 0, 0, 0, "", 0},
        {"already in normal mode", 0, 0, 0, 0, 0, 0, "", 0},
        {"no automatic entering", 0, 1, 1, 1, 0, 12, "*** Automatically entering Service Mode via USB is not supported.\n",
         0},
        {"no automatic exiting", 1, 0, 1, 1, 0, 12, "*** Automatically exiting Service Mode via USB is not supported.\n",
         0},
        {"automatic but entering not permitted", 0, 1, 0, 1, 1, 12, "*** Enter Service Mode via USB is not supported.\n",
         0},
        {"automatic entering", 0, 1, 1, 0, 1, 0, "Entering service mode: OK\n", 2},
        {"automatic exiting", 1, 0, 0, 1, 1, 0, "Exiting service mode: OK\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstantClock clock;
        FakeUc fake;
        ModeUc uc;
        uc.service = c.inService != 0;
        uc.bind(fake);
        fake.context()->inServiceMode = c.inService;
        grant(fake.context(), c.enter, c.exit, c.automatic);
        OutCapture cap;
        EXPECT_EQ(ensureServiceMode(fake.context(), c.want != 0, false, false), c.result);
        EXPECT_EQ(cap.text(), c.expected);
        EXPECT_EQ(fake.requests().size(), c.requests);
    }
}

// An automatic entry that failed unconfirmed: the uC is asked once more
// after the delay and switched back if it did switch; a warning says so.
TEST(EnsureServiceMode, UnconfirmedEntryIsLookedAtAgain) {
    const char* const kSwitchedBack =
        "zorviutil: warning: the uC entered service mode all the same; it was switched back to its normal firmware\n";
    struct Case {
        const char* name;
        void (*setUp)(ModeUc&, ConnectionContext*);
        Result result;
        std::vector<Bytes> requests;
        const char* warning;
        bool staysInService;
    };
    const Case cases[] = {
        {"reply lost, uC switched", [](ModeUc& uc, ConnectionContext*) { uc.lostReply = 532; }, 102,
         {kEnter, kId, kExit, kId}, kSwitchedBack, false},
        {"product ID lost, uC switched", [](ModeUc& uc, ConnectionContext*) { uc.idFailures = 1; }, 12,
         {kEnter, kId, kId, kExit, kId}, kSwitchedBack, false},
        {"reply lost, uC stayed", [](ModeUc& uc, ConnectionContext*) { uc.lostReply = 532, uc.stuck = true; }, 102,
         {kEnter, kId}, "", false},
        {"no permission to leave",
         [](ModeUc& uc, ConnectionContext* ctx) { uc.lostReply = 532, ctx->canExitServiceMode = 0; }, 102,
         {kEnter, kId},
         "zorviutil: warning: the uC entered service mode all the same and was not switched back; exit-service-mode "
         "does it (see SERVICE MODE in zorviutil(1))\n",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstantClock clock;
        FakeUc fake;
        ModeUc uc;
        uc.bind(fake);
        grant(fake.context(), 1, 1, 1);
        c.setUp(uc, fake.context());
        OutCapture cap;
        testing::internal::CaptureStderr();
        EXPECT_EQ(ensureServiceMode(fake.context(), true, false, false), c.result);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.warning);
        EXPECT_EQ(fake.requests(), c.requests);
        EXPECT_EQ(uc.service, c.staysInService);
    }
}

TEST(EnsureServiceMode, CheckOnlySendsNothing) {
    FakeUc fake;
    grant(fake.context(), 1, 1, 1);
    OutCapture cap;
    EXPECT_EQ(ensureServiceMode(fake.context(), true, false, true), 0u);
    EXPECT_EQ(cap.text(), "");
    EXPECT_TRUE(fake.requests().empty());
    EXPECT_EQ(fake.context()->inServiceMode, 0u);
}

TEST(ServiceModeVerbs, NothingToDoWhenAlreadyThere) {
    FakeUc fake;
    OutCapture cap;
    EXPECT_EQ(exitServiceMode(fake.context(), false), 0u);
    fake.context()->inServiceMode = 1;
    EXPECT_EQ(enterServiceMode(fake.context(), false), 0u);
    EXPECT_EQ(cap.text(), "Nothing to do.\nNothing to do.\n");
    EXPECT_TRUE(fake.requests().empty());
}

TEST(ServiceModeVerbs, IgnoreAutomaticSwitchingButNotPermissions) {
    InstantClock clock;
    FakeUc fake;
    ModeUc uc;
    uc.bind(fake);
    ConnectionContext* ctx = fake.context();
    OutCapture cap;
    // A USB link in normal mode grants nothing.
    EXPECT_EQ(enterServiceMode(ctx, false), 12u);
    EXPECT_EQ(cap.take(), "*** Enter Service Mode via USB is not supported.\n");
    EXPECT_TRUE(fake.requests().empty());

    grant(ctx, 1, 1, 0);
    EXPECT_EQ(enterServiceMode(ctx, false), 0u);
    EXPECT_EQ(exitServiceMode(ctx, false), 0u);
    EXPECT_EQ(cap.take(), "Entering service mode: OK\nExiting service mode: OK\n");
    EXPECT_EQ(fake.requests(), (std::vector<Bytes>{kEnter, kId, kExit, kId}));
    EXPECT_EQ(gSleeps, (std::vector<uint32_t>{5000, 5000}));
}

}  // namespace
