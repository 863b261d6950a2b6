// The PCIe stand-in libraries against a running zorvisim, called directly
// as the tool binds them: the exchange contract (reply stored up to the
// capacity, actual length reported, time-out honoured, late replies not
// mistaken for later ones) and their status numbering.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "e2e_harness.h"
#include "link/quenta.h"
#include "link/tobra.h"

namespace {

// The entry points both libraries share, bound by name.
struct PcieLib {
    std::string file;
    std::string prefix;
    void* lib = nullptr;
    uint32_t (*open)(uint32_t index, uint32_t* handle) = nullptr;
    TOBRA_CommandZORVI_Fn command = nullptr;
    TOBRA_GetStatusStringW_Fn text = nullptr;
    TOBRA_Close_Fn close = nullptr;
    TOBRA_GetUniqueId_Fn uniqueId = nullptr;  // bridge library only
};

TOBRA_Open_Fn gTobraOpen;
QUENTA_OpenBC_Fn gQuentaOpen;
uint32_t tobraOpen(uint32_t index, uint32_t* h) { return gTobraOpen(index, 0, 0, h); }
uint32_t quentaOpen(uint32_t index, uint32_t* h) { return gQuentaOpen(0, index, 0, h); }

bool bind(PcieLib& l) {
    l.lib = dlopen((e2e::binDir() + "/" + l.file).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (l.lib == nullptr) return false;
    auto sym = [&](const char* name) { return dlsym(l.lib, (l.prefix + name).c_str()); };
    if (l.prefix == "TOBRA_") {
        gTobraOpen = reinterpret_cast<TOBRA_Open_Fn>(sym("Open"));
        l.open = tobraOpen;
        l.command = reinterpret_cast<TOBRA_CommandZORVI_Fn>(sym("CommandZORVI"));
        l.close = reinterpret_cast<TOBRA_Close_Fn>(sym("Close"));
        l.uniqueId = reinterpret_cast<TOBRA_GetUniqueId_Fn>(sym("GetUniqueId"));
        if (sym("GetZORVIStatus") == nullptr || gTobraOpen == nullptr || l.uniqueId == nullptr) return false;
    } else {
        gQuentaOpen = reinterpret_cast<QUENTA_OpenBC_Fn>(sym("OpenBC"));
        l.open = quentaOpen;
        l.command = reinterpret_cast<QUENTA_CommandUC_Fn>(sym("CommandUC"));
        l.close = reinterpret_cast<QUENTA_CloseBC_Fn>(sym("CloseBC"));
        if (sym("GetUCStatus") == nullptr || gQuentaOpen == nullptr) return false;
    }
    l.text = reinterpret_cast<TOBRA_GetStatusStringW_Fn>(sym("GetStatusStringW"));
    return l.command != nullptr && l.close != nullptr && l.text != nullptr;
}

long long nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

class PcieStandIn : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        lib_.file = std::string("lib") + GetParam() + ".so";
        lib_.prefix = std::string(GetParam()) == "tobra" ? "TOBRA_" : "QUENTA_";
        ASSERT_TRUE(bind(lib_)) << dlerror();
    }
    std::wstring prefixW() const { return std::wstring(lib_.prefix.begin(), lib_.prefix.end()); }
    PcieLib lib_;
};

TEST_P(PcieStandIn, ExchangeContract) {
    e2e::SimBoard board({"--fault", "late@03.83=300", "--card-serial", "31", "--card-type", "11D"});
    ASSERT_TRUE(board.ok()) << board.error();
    setenv("ZORVISIM_PCIE_SOCKET", board.socket().c_str(), 1);

    uint32_t h = 0;
    EXPECT_EQ(lib_.open(1, &h), 517u);  // one card only
    ASSERT_EQ(lib_.open(0, &h), 0u);
    if (lib_.uniqueId != nullptr) {
        uint32_t words[2] = {};
        EXPECT_EQ(lib_.uniqueId(h, words), 0u);
        EXPECT_EQ(words[0], 31u);
        EXPECT_EQ(words[1], 0x11Du);
    }

    // Reply longer than the buffer: 3 bytes stored, 6 reported.
    const uint8_t productId[] = {0x03, 0x86};
    uint8_t reply[8];
    std::memset(reply, 0xCC, sizeof reply);
    uint32_t length = 0;
    EXPECT_EQ(lib_.command(h, 0, 1000000, 2, productId, 3, reply, &length), 0u);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(reply[0], 0x03);
    EXPECT_EQ(reply[1], 0x06);
    EXPECT_EQ(reply[2], 0xD1);
    EXPECT_EQ(reply[3], 0xCC);

    // A late reply times out; the next exchange gets its own reply, not
    // the late one.
    const uint8_t version[] = {0x03, 0x83};
    long long t0 = nowMs();
    EXPECT_EQ(lib_.command(h, 0, 100000, 2, version, sizeof reply, reply, &length), 532u);
    long long waited = nowMs() - t0;
    EXPECT_GE(waited, 95);
    EXPECT_LT(waited, 290);
    length = 0;
    EXPECT_EQ(lib_.command(h, 0, 2000000, 2, productId, sizeof reply, reply, &length), 0u);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(reply[1], 0x06);

    // Argument checks.
    EXPECT_EQ(lib_.command(h, 0, 1000, 1, productId, sizeof reply, reply, &length), 533u);
    EXPECT_EQ(lib_.command(h, 0, 1000, 2, nullptr, sizeof reply, reply, &length), 524u);
    EXPECT_EQ(lib_.command(h, 0, 1000, 2, productId, sizeof reply, nullptr, &length), 524u);
    EXPECT_EQ(lib_.command(h, 0, 1000, 2, productId, sizeof reply, reply, nullptr), 524u);
    EXPECT_EQ(lib_.command(h + 100, 0, 1000, 2, productId, sizeof reply, reply, &length), 521u);

    EXPECT_EQ(lib_.close(h), 0u);
    EXPECT_EQ(lib_.close(h), 521u);
    EXPECT_EQ(lib_.command(h, 0, 1000, 2, productId, sizeof reply, reply, &length), 521u);
    EXPECT_EQ(board.requests(), (std::vector<std::string>{"03 86", "03 83", "03 86"}));
}

TEST_P(PcieStandIn, NoSimulatorIsABadDriver) {
    const std::string dir = e2e::makeTempDir("no-sim");
    setenv("ZORVISIM_PCIE_SOCKET", (dir + "/none.sock").c_str(), 1);
    uint32_t h = 0;
    EXPECT_EQ(lib_.open(0, &h), 514u);
    rmdir(dir.c_str());
}

TEST_P(PcieStandIn, StatusTexts) {
    struct Case {
        uint32_t status;
        std::wstring name;
        std::wstring text;
    };
    const std::wstring p = prefixW();
    const Case cases[] = {
        {0, p + L"SUCCESS", L"No error"},
        {517, p + L"DEVICE_NOT_FOUND", L"Failed to open the device with the specified index"},
        {532, p + L"TIMEOUT", L"The operation did not complete within the timeout period"},
        {999, p + L"?", L"Unrecognized status code"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        EXPECT_EQ(std::wstring(lib_.text(c.status, 1)), c.name);
        EXPECT_EQ(std::wstring(lib_.text(c.status, 0)), c.text);
    }
}

INSTANTIATE_TEST_SUITE_P(Both, PcieStandIn, ::testing::Values("tobra", "quenta"));

}  // namespace
