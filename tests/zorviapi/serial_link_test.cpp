// Real exchanges through the library over a pseudo-terminal pair, with a
// thread on the master side playing the uC.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "pty_device.h"
#include "zorvi.h"

// speed_probe.cpp: the rate of a non-standard speed, else all ones.
uint32_t outputSpeedOf(int fd);

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// head followed by tail. (Element by element: GCC 12 misreads vector
// insert after a short initializer list at -O3 as an overflow.)
Bytes join(Bytes head, const Bytes& tail) {
    head.reserve(head.size() + tail.size());
    for (uint8_t b : tail) head.push_back(b);
    return head;
}

// The reply a well-behaved uC gives: request bytes 0 and 1 (bit 7 of the
// command cleared), then `payload`.
DeviceReply answer(const Bytes& frame, const Bytes& payload, int delayMs = 0) {
    Bytes request = unframe(frame);
    Bytes message = join({request.at(0), static_cast<uint8_t>(request.at(1) & 0x7F)}, payload);
    return {frameOf(message), delayMs};
}

// An open port on a fresh device; closes itself.
struct OpenPort {
    explicit OpenPort(const PtyDevice& device) { status = ZORVI_OpenPortA(device.path().c_str(), &handle); }
    ~OpenPort() {
        if (status == ZORVI_SUCCESS) ZORVI_Close(handle);
    }
    ZORVI_STATUS status = ~0u;
    ZORVI_HANDLE handle = 0;
};

struct Exchange {
    ZORVI_STATUS status;
    Bytes reply;
    uint32_t length;
};

Exchange command(ZORVI_HANDLE handle, const Bytes& request, uint32_t capacity = 64, uint32_t timeoutUs = 1000000) {
    Bytes reply(capacity);
    uint32_t length = 12345;
    ZORVI_STATUS s = ZORVI_Command(handle, 0, timeoutUs, static_cast<uint32_t>(request.size()), request.data(),
                                   capacity, reply.data(), &length);
    if (s == ZORVI_SUCCESS) reply.resize(std::min(length, capacity));
    return {s, reply, length};
}

TEST(SerialLink, ProductIdExchange) {
    PtyDevice device([](const Bytes&) {
        // Noise, then the reply with an escaped 0x04.
        return DeviceReply{{0x55, 0x01, 0x03, 0x06, 0x10, 0xFB, 0x00, 0x00, 0x00, 0x04}};
    });
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    Exchange e = command(port.handle, {0x03, 0x86});
    ASSERT_EQ(e.status, ZORVI_SUCCESS);
    EXPECT_EQ(e.length, 6u);
    EXPECT_EQ(e.reply, (Bytes{0x03, 0x06, 0x04, 0x00, 0x00, 0x00}));
    EXPECT_EQ(device.wire(), (Bytes{0x01, 0x03, 0x86, 0x04}));
}

TEST(SerialLink, EveryByteValuePassesUntouched) {
    // A cooked tty would end input at 0x04, raise a signal for 0x03, turn
    // 0x0D into 0x0A, stop output at 0x13 and eat 0x7F; the link must not.
    Bytes payload;
    for (int v = 0; v < 256; ++v) payload.push_back(static_cast<uint8_t>(v));
    PtyDevice device([&](const Bytes& frame) {
        Bytes request = unframe(frame);
        return answer(frame, Bytes(request.begin() + 2, request.end()));
    });
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    const Bytes request = join({0x07, 0x81}, payload);
    Exchange e = command(port.handle, request, 300);
    ASSERT_EQ(e.status, ZORVI_SUCCESS);
    const Bytes expected = join({0x07, 0x01}, payload);
    EXPECT_EQ(e.length, 258u);
    EXPECT_EQ(e.reply, expected);
    EXPECT_EQ(device.wire(), frameOf(request));
}

TEST(SerialLink, LongReplyCountedBeyondTheBuffer) {
    PtyDevice device([](const Bytes& frame) { return answer(frame, Bytes(513, 0x42)); });
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    Bytes reply(16, 0xEE);
    uint32_t length = 0;
    const uint8_t request[] = {0x09, 0x8A};
    ASSERT_EQ(ZORVI_Command(port.handle, 0, 1000000, 2, request, 8, reply.data(), &length), ZORVI_SUCCESS);
    EXPECT_EQ(length, 515u);
    EXPECT_EQ(reply, (Bytes{0x09, 0x0A, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                            0xEE}));
}

TEST(SerialLink, NoReplyWantedReturnsAtOnce) {
    PtyDevice device;  // never answers
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    uint32_t length = 99;
    const uint8_t request[] = {0x02, 0x90, 0x01};
    ASSERT_EQ(ZORVI_Command(port.handle, 0, 1000000, 3, request, 0, nullptr, &length), ZORVI_SUCCESS);
    EXPECT_EQ(length, 0u);
    auto start = Clock::now();
    while (device.wire().size() < 6 && msSince(start) < 2000) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(device.wire(), (Bytes{0x01, 0x02, 0x90, 0x10, 0xFE, 0x04}));
}

TEST(SerialLink, TimeOutWhenNoReplyComes) {
    PtyDevice device;
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    auto start = Clock::now();
    Exchange e = command(port.handle, {0x03, 0x86}, 64, 60000);
    long long took = msSince(start);
    EXPECT_EQ(e.status, ZORVI_TIMEOUT);
    EXPECT_GE(took, 60);
    EXPECT_LT(took, 1000);
}

TEST(SerialLink, TimeOutWhenOnlyOtherFramesCome) {
    // Frames of another group byte keep the decoder waiting; the exchange
    // still ends at its deadline.
    PtyDevice device([](const Bytes&) { return DeviceReply{frameOf({0x05, 0x06, 0x00})}; });
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    EXPECT_EQ(command(port.handle, {0x03, 0x86}, 64, 50000).status, ZORVI_TIMEOUT);
}

TEST(SerialLink, TimeOutWhileTheLineStreamsNoise) {
    // Bytes that never stop arriving never make a read wait; the deadline
    // must hold anyway.
    PtyDevice device;
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    std::atomic<bool> stop{false};
    std::thread noise([&] {
        while (!stop) device.send(Bytes(64, 0x55));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto start = Clock::now();
    Exchange e = command(port.handle, {0x03, 0x86}, 64, 100000);
    long long took = msSince(start);
    stop = true;
    noise.join();
    EXPECT_EQ(e.status, ZORVI_TIMEOUT);
    EXPECT_LT(took, 1000);
}

// Far more than the pseudo-terminal buffers hold: writes come back short or
// refused until the device reads.
Bytes hugeRequest() {
    Bytes request{0x0B, 0x85};
    for (int i = 0; i < 300000; ++i) request.push_back(static_cast<uint8_t>(i));
    return request;
}

TEST(SerialLink, LongRequestWaitsForRoomOnTheLine) {
    PtyDevice device([](const Bytes& frame) { return answer(frame, {0x00}); }, 200);
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    const Bytes request = hugeRequest();
    Exchange e = command(port.handle, request, 64, 5000000);
    ASSERT_EQ(e.status, ZORVI_SUCCESS);
    EXPECT_EQ(e.reply, (Bytes{0x0B, 0x05, 0x00}));
    EXPECT_TRUE(device.wire() == frameOf(request));  // every byte, in order, exactly once
}

TEST(SerialLink, TimeOutWhileSending) {
    // The deadline covers the writes too: a device that takes nothing ends
    // the exchange while the request is still going out.
    PtyDevice device({}, 3000);
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    auto start = Clock::now();
    Exchange e = command(port.handle, hugeRequest(), 64, 100000);
    long long took = msSince(start);
    EXPECT_EQ(e.status, ZORVI_TIMEOUT);
    EXPECT_GE(took, 100);
    EXPECT_LT(took, 1000);
}

TEST(SerialLink, TimeOutWhileSendingDropsTheQueuedRest) {
    // A time-out cancels what is still waiting to go out, so the next
    // exchange starts on an empty line instead of queueing behind the stale
    // tail of the abandoned frame.
    PtyDevice device([](const Bytes& frame) { return answer(frame, {0x00, 0x44}); }, 300);
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    EXPECT_EQ(command(port.handle, hugeRequest(), 64, 100000).status, ZORVI_TIMEOUT);
    Exchange e = command(port.handle, {0x03, 0x86}, 64, 2000000);
    ASSERT_EQ(e.status, ZORVI_SUCCESS);
    EXPECT_EQ(e.reply, (Bytes{0x03, 0x06, 0x00, 0x44}));
    // The device saw the new frame right after at most what had already
    // left the port: a pseudo-terminal's master keeps up to one 4 KiB line
    // buffer that no flush on the port side reaches (a real port likewise
    // keeps its hardware FIFO). Without the flush, everything queued (tens
    // of KiB) would still go out first.
    const Bytes wire = device.wire();
    const Bytes next = frameOf({0x03, 0x86});
    ASSERT_GE(wire.size(), next.size());
    const size_t stale = wire.size() - next.size();
    EXPECT_LE(stale, 4096u);
    EXPECT_EQ(Bytes(wire.begin() + static_cast<long>(stale), wire.end()), next);
    const Bytes abandoned = frameOf(hugeRequest());
    EXPECT_TRUE(std::equal(wire.begin(), wire.begin() + static_cast<long>(stale), abandoned.begin()));
}

TEST(SerialLink, NoTimeOutWaitsForASlowReply) {
    PtyDevice device([](const Bytes& frame) { return answer(frame, {0x00}, 300); });
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    auto start = Clock::now();
    Exchange e = command(port.handle, {0x03, 0x83}, 64, 0);
    EXPECT_EQ(e.status, ZORVI_SUCCESS);
    EXPECT_EQ(e.reply, (Bytes{0x03, 0x03, 0x00}));
    EXPECT_GE(msSince(start), 300);
}

TEST(SerialLink, LateReplySkippedByTheNextExchange) {
    PtyDevice device([](const Bytes& frame) {
        Bytes request = unframe(frame);
        // The first request is answered too late for its time-out.
        return request.at(1) == 0x83 ? answer(frame, {0x11, 0x22}, 200) : answer(frame, {0x00, 0x33});
    });
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    EXPECT_EQ(command(port.handle, {0x03, 0x83}, 64, 50000).status, ZORVI_TIMEOUT);
    // The late reply (03 03 11 22) arrives first and must be passed over.
    Exchange e = command(port.handle, {0x03, 0x86});
    ASSERT_EQ(e.status, ZORVI_SUCCESS);
    EXPECT_EQ(e.reply, (Bytes{0x03, 0x06, 0x00, 0x33}));
}

TEST(SerialLink, WhatFollowsAReplyStaysForTheNextExchange) {
    // The first reply arrives with the second one right behind it; the
    // device answers nothing after that.
    PtyDevice device([](const Bytes& frame) {
        if (unframe(frame).at(1) != 0x83) return DeviceReply{};
        return DeviceReply{join(frameOf({0x03, 0x03, 0x00}), frameOf({0x03, 0x06, 0x00, 0x44})), 0};
    });
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    EXPECT_EQ(command(port.handle, {0x03, 0x83}).reply, (Bytes{0x03, 0x03, 0x00}));
    Exchange e = command(port.handle, {0x03, 0x86});
    ASSERT_EQ(e.status, ZORVI_SUCCESS);
    EXPECT_EQ(e.reply, (Bytes{0x03, 0x06, 0x00, 0x44}));
}

TEST(SerialLink, OpenDrainsStaleBytes) {
    // A complete reply frame left on the line from before the open would
    // otherwise be taken as the answer to the first request.
    PtyDevice device([](const Bytes& frame) { return answer(frame, {0x00, 0x02}, 20); });
    ASSERT_TRUE(device.ready());
    device.send(frameOf({0x03, 0x06, 0x00, 0x01}));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    Exchange e = command(port.handle, {0x03, 0x86});
    ASSERT_EQ(e.status, ZORVI_SUCCESS);
    EXPECT_EQ(e.reply, (Bytes{0x03, 0x06, 0x00, 0x02}));
}

TEST(SerialLink, CloseDropsWhatFollowedTheLastReply) {
    // The first reply comes with a stale answer to the second request right
    // behind it; after a close and a new open only a fresh answer counts.
    PtyDevice device([](const Bytes& frame) {
        if (unframe(frame).at(1) != 0x83) return answer(frame, {0x00, 0x02}, 20);
        return DeviceReply{join(frameOf({0x03, 0x03, 0x00}), frameOf({0x03, 0x06, 0x00, 0x01})), 0};
    });
    ASSERT_TRUE(device.ready());
    {
        OpenPort port(device);
        ASSERT_EQ(port.status, ZORVI_SUCCESS);
        EXPECT_EQ(command(port.handle, {0x03, 0x83}).reply, (Bytes{0x03, 0x03, 0x00}));
    }
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    Exchange e = command(port.handle, {0x03, 0x86});
    ASSERT_EQ(e.status, ZORVI_SUCCESS);
    EXPECT_EQ(e.reply, (Bytes{0x03, 0x06, 0x00, 0x02}));
}

TEST(SerialLink, OpenOfAChatteringPortStillReturns) {
    // A line that never goes quiet cannot hold the open forever.
    PtyDevice device;
    ASSERT_TRUE(device.ready());
    std::atomic<bool> stop{false};
    std::thread noise([&] {
        while (!stop) {
            device.send(Bytes(16, 0x55));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    auto start = Clock::now();
    OpenPort port(device);
    long long took = msSince(start);
    stop = true;
    noise.join();
    EXPECT_EQ(port.status, ZORVI_SUCCESS);
    EXPECT_LT(took, 3000);
}

TEST(SerialLink, PortIsExclusive) {
    PtyDevice device;
    ASSERT_TRUE(device.ready());
    ZORVI_HANDLE first = 0, second = 0;
    ASSERT_EQ(ZORVI_OpenPortA(device.path().c_str(), &first), ZORVI_SUCCESS);
    EXPECT_EQ(ZORVI_OpenPortA(device.path().c_str(), &second), ZORVI_ACCESS_DENIED);
    ASSERT_EQ(ZORVI_Close(first), ZORVI_SUCCESS);
    // Free again once closed.
    ASSERT_EQ(ZORVI_OpenPortA(device.path().c_str(), &second), ZORVI_SUCCESS);
    EXPECT_EQ(ZORVI_Close(second), ZORVI_SUCCESS);
}

TEST(SerialLink, WideNameOpensThePort) {
    PtyDevice device([](const Bytes& frame) { return answer(frame, {0x00}); });
    ASSERT_TRUE(device.ready());
    // A non-ASCII name (a link to the slave) must reach the system as UTF-8.
    char dir[] = "/tmp/zorviapi-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string link = std::string(dir) + "/p\xC3\xB6rt";
    ASSERT_EQ(symlink(device.path().c_str(), link.c_str()), 0);
    std::wstring wide(dir, dir + strlen(dir));
    wide += L"/p\u00f6rt";
    ZORVI_HANDLE handle = 0;
    ZORVI_STATUS s = ZORVI_OpenPortW(wide.c_str(), &handle);
    unlink(link.c_str());
    rmdir(dir);
    ASSERT_EQ(s, ZORVI_SUCCESS);
    EXPECT_EQ(command(handle, {0x03, 0x83}).reply, (Bytes{0x03, 0x03, 0x00}));
    EXPECT_EQ(ZORVI_Close(handle), ZORVI_SUCCESS);
}

TEST(SerialLink, BaudRates) {
    PtyDevice device;
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    int fd = static_cast<int>(port.handle);
    termios before{};
    ASSERT_EQ(tcgetattr(fd, &before), 0);

    // A pseudo-terminal keeps whatever speed it is given, standard or not.
    EXPECT_EQ(ZORVI_SetPortBaud(port.handle, 171428), ZORVI_SUCCESS);
    EXPECT_EQ(outputSpeedOf(fd), 171428u);
    EXPECT_EQ(ZORVI_SetPortBaud(port.handle, 9600), ZORVI_SUCCESS);
    termios after{};
    ASSERT_EQ(tcgetattr(fd, &after), 0);
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&after), static_cast<speed_t>(B9600));
    // Only the speed changed: the raw mode set at open stays.
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    const tcflag_t speedBits = CBAUD | CIBAUD;
    EXPECT_EQ(after.c_cflag & ~speedBits, before.c_cflag & ~speedBits);
    EXPECT_EQ(after.c_lflag & static_cast<tcflag_t>(ICANON | ECHO | ISIG), 0u);

    // Rate 0 would hang the line up instead of setting a speed.
    EXPECT_EQ(ZORVI_SetPortBaud(port.handle, 0), ZORVI_BAUD_RATE_FAILED);
    // Not a tty.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    EXPECT_EQ(ZORVI_SetPortBaud(static_cast<ZORVI_HANDLE>(pipeFds[0]), 115200), ZORVI_BAUD_RATE_FAILED);
    close(pipeFds[0]);
    close(pipeFds[1]);
}

TEST(SerialLink, ClosedHandleIsInvalid) {
    PtyDevice device;
    ASSERT_TRUE(device.ready());
    ZORVI_HANDLE handle = 0;
    ASSERT_EQ(ZORVI_OpenPortA(device.path().c_str(), &handle), ZORVI_SUCCESS);
    ASSERT_EQ(ZORVI_Close(handle), ZORVI_SUCCESS);
    EXPECT_EQ(command(handle, {0x03, 0x86}).status, ZORVI_INVALID_HANDLE);
    EXPECT_EQ(ZORVI_Close(handle), ZORVI_INVALID_HANDLE);
}

TEST(SerialLink, VanishedDeviceFailsWithoutWaitingOut) {
    PtyDevice device;
    ASSERT_TRUE(device.ready());
    OpenPort port(device);
    ASSERT_EQ(port.status, ZORVI_SUCCESS);
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        device.vanish();
    });
    auto start = Clock::now();
    Exchange e = command(port.handle, {0x03, 0x86}, 64, 3000000);
    long long took = msSince(start);
    unplug.join();
    EXPECT_EQ(e.status, ZORVI_UNEXPECTED_ERROR);
    EXPECT_LT(took, 2000);
}

TEST(SerialLink, ThreadsOnDifferentPorts) {
    auto echo = [](const Bytes& frame) {
        Bytes request = unframe(frame);
        return answer(frame, Bytes(request.begin() + 2, request.end()));
    };
    PtyDevice a(echo), b(echo);
    ASSERT_TRUE(a.ready() && b.ready());
    OpenPort pa(a), pb(b);
    ASSERT_EQ(pa.status, ZORVI_SUCCESS);
    ASSERT_EQ(pb.status, ZORVI_SUCCESS);
    auto run = [](ZORVI_HANDLE handle, uint8_t group, int* failures) {
        for (int i = 0; i < 200; ++i) {
            Bytes request{group, 0x81, static_cast<uint8_t>(i), 0x10, 0x04};
            Exchange e = command(handle, request);
            if (e.status != ZORVI_SUCCESS || e.reply != Bytes({group, 0x01, static_cast<uint8_t>(i), 0x10, 0x04}))
                ++*failures;
        }
    };
    int failA = 0, failB = 0;
    std::thread ta(run, pa.handle, 0x21, &failA), tb(run, pb.handle, 0x22, &failB);
    ta.join();
    tb.join();
    EXPECT_EQ(failA, 0);
    EXPECT_EQ(failB, 0);
}

}  // namespace
