#include "pty_device.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

PtyDevice::PtyDevice(Handler handler, int deafMs) : handler_(std::move(handler)), deafMs_(deafMs) {
    int m = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m < 0) return;
    char name[128];
    if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name, sizeof name) != 0) {
        close(m);
        return;
    }
    // Put the slave in raw mode once, so that bytes written before the
    // library opens it are not echoed back in the default cooked mode.
    int s = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s >= 0) {
        termios tio{};
        tcgetattr(s, &tio);
        cfmakeraw(&tio);
        tcsetattr(s, TCSANOW, &tio);
        close(s);
    }
    master_ = m;
    path_ = name;
    thread_ = std::thread([this] { run(); });
}

PtyDevice::~PtyDevice() { vanish(); }

void PtyDevice::vanish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) close(master_);
    master_ = -1;
}

Bytes PtyDevice::wire() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return wire_;
}

void PtyDevice::send(const Bytes& bytes) {
    size_t done = 0;
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (done < bytes.size() && !stop_ && std::chrono::steady_clock::now() < giveUp) {
        ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        pollfd p{master_, POLLOUT, 0};
        poll(&p, 1, 10);
    }
}

void PtyDevice::run() {
    Bytes pending;
    for (int waited = 0; waited < deafMs_ && !stop_; ++waited) usleep(1000);
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0) continue;
        uint8_t buffer[4096];
        ssize_t n = (p.revents & POLLIN) ? read(master_, buffer, sizeof buffer) : -1;
        if (n <= 0) {
            // No slave open at the moment: the master reports a hang-up.
            usleep(2000);
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            wire_.insert(wire_.end(), buffer, buffer + n);
        }
        pending.insert(pending.end(), buffer, buffer + n);
        for (;;) {
            auto end = std::find(pending.begin(), pending.end(), uint8_t{0x04});
            if (end == pending.end()) break;
            auto start = std::find(std::make_reverse_iterator(end), pending.rend(), uint8_t{0x01});
            if (start != pending.rend() && handler_) {
                Bytes frame(std::prev(start.base()), std::next(end));
                DeviceReply reply = handler_(frame);
                for (int waited = 0; waited < reply.delayMs && !stop_; ++waited) usleep(1000);
                send(reply.bytes);
            }
            pending.erase(pending.begin(), std::next(end));
        }
    }
}

Bytes unframe(const Bytes& frame) {
    Bytes message;
    bool escaped = false;
    for (size_t i = 1; i + 1 < frame.size(); ++i) {
        if (frame[i] == 0x10) {
            escaped = true;
            continue;
        }
        message.push_back(escaped ? static_cast<uint8_t>(~frame[i]) : frame[i]);
        escaped = false;
    }
    return message;
}

Bytes frameOf(const Bytes& message) {
    Bytes frame{0x01};
    for (uint8_t b : message) {
        if (b == 0x01 || b == 0x04 || b == 0x10) {
            frame.push_back(0x10);
            frame.push_back(static_cast<uint8_t>(~b));
        } else {
            frame.push_back(b);
        }
    }
    frame.push_back(0x04);
    return frame;
}
