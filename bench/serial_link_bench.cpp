// Round trips per second of ZORVI_Command against a bare echo over the same
// kind of pseudo-terminal pair, and their ratio.
//
// A device thread on the master side reads in bulk and, at each frame end
// byte, writes its prepared reply frame in one go. The bare echo writes the
// request frame and reads the reply in bulk (non-blocking, poll only when
// nothing is there), as the library reads into its receive buffer; so the
// ratio shows what the library adds on top of the unavoidable system calls.
//
// Usage: serial_link_bench [seconds per measurement, default 2]
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "zorvi.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// A message whose bytes need no escaping: group, command, then filler.
Bytes message(uint8_t group, uint8_t command, size_t length) {
    Bytes m{group, command};
    for (size_t i = 2; i < length; ++i) m.push_back(static_cast<uint8_t>(0x40 + i % 64));
    return m;
}

Bytes frameOf(const Bytes& m) {
    Bytes f;
    f.reserve(m.size() + 2);
    f.push_back(0x01);
    for (uint8_t b : m) f.push_back(b);
    f.push_back(0x04);
    return f;
}

class Device {
public:
    explicit Device(Bytes replyFrame) : reply_(std::move(replyFrame)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
            ptsname_r(master_, name, sizeof name) != 0) {
            perror("pty");
            exit(1);
        }
        path_ = name;
        thread_ = std::thread([this] { run(); });
    }
    ~Device() {
        stop_ = true;
        thread_.join();
        close(master_);
    }
    const std::string& path() const { return path_; }

private:
    void run() {
        uint8_t buffer[4096];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            ssize_t n = (p.revents & POLLIN) ? read(master_, buffer, sizeof buffer) : -1;
            if (n <= 0) {
                usleep(1000);  // no slave open just now
                continue;
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != 0x04) continue;
                size_t done = 0;
                while (done < reply_.size()) {
                    ssize_t w = write(master_, reply_.data() + done, reply_.size() - done);
                    if (w > 0) done += static_cast<size_t>(w);
                }
            }
        }
    }

    int master_ = -1;
    std::string path_;
    Bytes reply_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The bare echo: raw tty, one write, reads of whatever has arrived.
class BareEcho {
public:
    BareEcho(const std::string& path, Bytes requestFrame, size_t replyFrameLength)
        : request_(std::move(requestFrame)), replyLength_(replyFrameLength) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio{};
        if (fd_ < 0 || tcgetattr(fd_, &tio) != 0) {
            perror("open slave");
            exit(1);
        }
        cfmakeraw(&tio);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        tcsetattr(fd_, TCSANOW, &tio);
    }
    ~BareEcho() { close(fd_); }

    bool roundTrip() {
        size_t done = 0;
        while (done < request_.size()) {
            ssize_t w = write(fd_, request_.data() + done, request_.size() - done);
            if (w > 0)
                done += static_cast<size_t>(w);
            else if (!waitFor(POLLOUT))
                return false;
        }
        for (size_t got = 0; got < replyLength_;) {
            uint8_t b[4096];
            ssize_t n = read(fd_, b, sizeof b);
            if (n > 0)
                got += static_cast<size_t>(n);
            else if (!waitFor(POLLIN))
                return false;
        }
        return true;
    }

private:
    bool waitFor(short events) {
        pollfd p{fd_, events, 0};
        return poll(&p, 1, 1000) == 1;
    }

    int fd_;
    Bytes request_;
    size_t replyLength_;
};

template <typename Fn>
double roundTripsPerSecond(double seconds, Fn roundTrip) {
    for (int i = 0; i < 50; ++i)
        if (!roundTrip()) return 0;
    long count = 0;
    auto start = Clock::now();
    auto end = start + std::chrono::duration<double>(seconds);
    Clock::time_point now;
    do {
        for (int i = 0; i < 50; ++i) {
            if (!roundTrip()) return 0;
            ++count;
        }
        now = Clock::now();
    } while (now < end);
    return count / std::chrono::duration<double>(now - start).count();
}

struct Result {
    double bare;         // round trips per second, best round
    double zorvi;        // round trips per second, best round
    double medianRatio;  // median over the rounds of zorvi / bare
};

// Both sides run on their own pty pair at the same time and take turns in
// short rounds, so that load from elsewhere on the machine hits both alike;
// the best round of each counts.
Result measure(size_t requestLength, size_t replyLength, double seconds) {
    const Bytes request = message(0x21, 0x83, requestLength);
    const Bytes reply = message(0x21, 0x03, replyLength);
    const Bytes replyFrame = frameOf(reply);

    Device bareDevice(replyFrame);
    BareEcho echo(bareDevice.path(), frameOf(request), replyFrame.size());

    Device zorviDevice(replyFrame);
    ZORVI_HANDLE handle = 0;
    if (ZORVI_OpenPortA(zorviDevice.path().c_str(), &handle) != ZORVI_SUCCESS) {
        fprintf(stderr, "cannot open %s\n", zorviDevice.path().c_str());
        exit(1);
    }
    Bytes buffer(replyLength + 16);
    auto command = [&] {
        uint32_t length = 0;
        ZORVI_STATUS s = ZORVI_Command(handle, 0, 1000000, static_cast<uint32_t>(request.size()), request.data(),
                                       static_cast<uint32_t>(buffer.size()), buffer.data(), &length);
        if (s != ZORVI_SUCCESS || length != replyLength) fprintf(stderr, "status %u length %u\n", s, length);
        return s == ZORVI_SUCCESS && length == replyLength;
    };

    // Many short rounds, each side in turn: bursts of load from elsewhere
    // then hit both sides alike. Reported: the best round of each side, and
    // the median of the per-round ratios.
    const int rounds = 20;
    Result best{};
    std::vector<double> ratios;
    for (int i = 0; i < rounds; ++i) {
        double bare = roundTripsPerSecond(seconds / rounds, [&] { return echo.roundTrip(); });
        double zorvi = roundTripsPerSecond(seconds / rounds, command);
        if (bare > best.bare) best.bare = bare;
        if (zorvi > best.zorvi) best.zorvi = zorvi;
        if (bare > 0) ratios.push_back(zorvi / bare);
    }
    std::sort(ratios.begin(), ratios.end());
    best.medianRatio = ratios.empty() ? 0 : ratios[ratios.size() / 2];
    ZORVI_Close(handle);
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 2.0;
    if (seconds <= 0) seconds = 2.0;
    struct Case {
        size_t request;
        size_t reply;
    };
    const Case cases[] = {{34, 34}, {5, 515}};
    printf("%-34s %14s %14s %12s %12s\n", "exchange", "bare echo rt/s", "ZORVI rt/s", "best ratio", "median ratio");
    int belowTarget = 0;
    for (const Case& c : cases) {
        Result r = measure(c.request, c.reply, seconds);
        double ratio = r.bare > 0 ? r.zorvi / r.bare : 0;
        char label[64];
        snprintf(label, sizeof label, "%zu-byte request / %zu-byte reply", c.request, c.reply);
        printf("%-34s %14.0f %14.0f %11.1f%% %11.1f%%\n", label, r.bare, r.zorvi, ratio * 100, r.medianRatio * 100);
        if (r.medianRatio < 0.85) ++belowTarget;
    }
    printf("target: ZORVI_Command at least 85%% of the bare echo (median ratio): %s\n",
           belowTarget ? "MISSED" : "met");
    return 0;
}
