// A fake uC with 128 KiB of application flash and the two firmware modes,
// answering through FakeUc. Faults are switched on per test.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/fake_uc.h"

namespace flashtest {

constexpr uint32_t kFlashSize = 0x20000;

inline std::vector<uint32_t>& sleeps() {
    static std::vector<uint32_t> s;
    return s;
}

/// Replaces the switch delay with a record of it.
class InstantClock {
public:
    InstantClock() {
        sleeps().clear();
        platform::ClockHooks hooks;
        hooks.sleepMs = [](uint32_t ms) { sleeps().push_back(ms); };
        previous_ = platform::setClockHooks(hooks);
    }
    ~InstantClock() { platform::setClockHooks(previous_); }

private:
    platform::ClockHooks previous_;
};

struct FlashUc {
    Bytes flash = Bytes(kFlashSize);
    bool service = false;
    bool stuck = false;           ///< acknowledges switches but keeps its mode
    int failReadPage = -1;        ///< page number answered with status 0x04
    int failWritePage = -1;       ///< page number answered with status 0x03
    int shortReadPage = -1;       ///< page number answered with only 100 bytes
    int ignoreWritePage = -1;     ///< page number whose writes are acknowledged but lost
    bool writeReplyWithoutStatus = false;

    FlashUc() {
        for (uint32_t i = 0; i < kFlashSize; ++i) flash[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    }

    void bind(FakeUc& fake) {
        fake.onRequest([this](const Bytes& req, Bytes& reply) -> uint32_t { return answer(req, reply); });
    }

    uint32_t answer(const Bytes& req, Bytes& reply) {
        if (req == Bytes{0x03, 0x86}) {
            const uint32_t id = service ? 720 : 721;
            reply = {0x03, 0x06, static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), 0, 0};
            return 0;
        }
        if (req == Bytes{0x03, 0x80} || req == Bytes{0x03, 0x82}) {
            reply = {0x03, static_cast<uint8_t>(req[1] & 0x7F), 0};
            if (!stuck) service = req[1] == 0x80;
            return 0;
        }
        if (req.size() >= 5 && req[0] == 0x06 && req[2] == 0x09) {
            const int page = req[3] | (req[4] << 8);
            const uint32_t base = static_cast<uint32_t>(page) * 512;
            const uint8_t code = static_cast<uint8_t>(req[1] & 0x7F);
            // The normal firmware has no access to its own flash.
            const bool refused = !service || base >= kFlashSize;
            if (req[1] == 0x80 && req.size() == 5) {
                if (refused || page == failReadPage) {
                    reply = {0x06, code, 0x04};
                    reply.resize(515);  // a full-length reply whose status says no
                    return 0;
                }
                reply = {0x06, code, 0x00};
                reply.insert(reply.end(), flash.begin() + base, flash.begin() + base + 512);
                if (page == shortReadPage) reply.resize(100);
                return 0;
            }
            if (req[1] == 0x82 && req.size() == 517) {
                if (refused || page == failWritePage) {
                    reply = {0x06, code, 0x03};
                    return 0;
                }
                if (page != ignoreWritePage) std::copy(req.begin() + 5, req.end(), flash.begin() + base);
                reply = {0x06, code, 0x00};
                if (writeReplyWithoutStatus) reply.resize(2);
                return 0;
            }
        }
        ADD_FAILURE() << "unexpected request of " << req.size() << " bytes";
        return 532;
    }
};

/// One word per request: "enter", "exit", "id", "R<page>", "W<page>".
inline std::vector<std::string> summary(const std::vector<Bytes>& requests) {
    std::vector<std::string> words;
    for (const Bytes& r : requests) {
        if (r == Bytes{0x03, 0x80}) {
            words.push_back("enter");
        } else if (r == Bytes{0x03, 0x82}) {
            words.push_back("exit");
        } else if (r == Bytes{0x03, 0x86}) {
            words.push_back("id");
        } else if (r.size() >= 5 && r[0] == 0x06) {
            words.push_back((r[1] == 0x80 ? "R" : "W") + std::to_string(r[3] | (r[4] << 8)));
        } else {
            words.push_back("?");
        }
    }
    return words;
}

/// A context as the PS UART opener leaves it for a permitted board.
inline void grantAll(ConnectionContext* ctx) {
    ctx->linkName = "PS UART";
    ctx->canEnterServiceMode = 1;
    ctx->canExitServiceMode = 1;
    ctx->autoServiceMode = 1;
    ctx->modeSwitchDelayMs = 1000;
}

/// A scratch directory removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string writeFile(const std::string& name, const Bytes& content) const;

private:
    std::string dir_;
};

Bytes readFile(const std::string& path);
/// n bytes of a pattern unlike the fake's flash contents.
Bytes pattern(size_t n, uint8_t seed);

}  // namespace flashtest
