#include "pcie/pcie_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "core/options.h"
#include "pcie/pcie_protocol.h"
#include "pcie/pcie_transport.h"

namespace zsim::pcie {

struct Connection {
    int fd = -1;
    uint32_t sequence = 0;
    std::vector<uint8_t> pending;  // received bytes not yet consumed
};

static std::mutex gLock;
static std::map<uint32_t, Connection*> gHandles;
static uint32_t gNextHandle = 1;

Connection* find(uint32_t handle) {
    std::lock_guard<std::mutex> guard(gLock);
    auto it = gHandles.find(handle);
    return it == gHandles.end() ? nullptr : it->second;
}

long long nowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Sends one packet and waits for the answer with the same sequence number;
// answers to earlier packets (late replies after a time-out) are dropped.
// deadlineUs < 0: no limit.
uint32_t transact(Connection& c, uint8_t op, const uint8_t* payload, uint32_t length, long long deadlineUs,
                  std::vector<uint8_t>& answer) {
    const uint32_t seq = ++c.sequence;
    std::vector<uint8_t> packet(kRequestHeader + length);
    packet[0] = op;
    put32(&packet[1], seq);
    put32(&packet[5], length);
    if (length != 0) std::memcpy(&packet[kRequestHeader], payload, length);
    if (!sendAll(c.fd, packet.data(), packet.size())) return kUnexpectedError;
    for (;;) {
        while (c.pending.size() >= kReplyHeader) {
            const uint32_t got = get32(&c.pending[0]);
            const uint32_t size = get32(&c.pending[4]);
            if (size > kMaxPayload) return kUnexpectedError;
            if (c.pending.size() < kReplyHeader + size) break;
            auto begin = c.pending.begin() + kReplyHeader;
            if (got == seq) answer.assign(begin, begin + size);
            c.pending.erase(c.pending.begin(), begin + size);
            if (got == seq) return kSuccess;
        }
        int waitMs = -1;
        if (deadlineUs >= 0) {
            long long left = deadlineUs - nowUs();
            if (left <= 0) return kTimeout;
            waitMs = static_cast<int>((left + 999) / 1000);
        }
        pollfd p{c.fd, POLLIN, 0};
        int r = poll(&p, 1, waitMs);
        if (r < 0 && errno != EINTR) return kUnexpectedError;
        if (r <= 0) continue;
        uint8_t buf[4096];
        ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n == 0) return kUnexpectedError;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return kUnexpectedError;
        }
        c.pending.insert(c.pending.end(), buf, buf + n);
    }
}


uint32_t openDevice(uint32_t index, uint32_t* handle) {
    if (handle == nullptr) return kNullPointer;
    // The simulator plays one card, index 0.
    if (index != 0) return kDeviceNotFound;
    const char* env = std::getenv(kPcieSocketEnv);
    std::string path = (env != nullptr && *env != 0) ? env : kDefaultPcieSocket;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return kBadDriver;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return kUnexpectedError;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return kBadDriver;
    }
    Connection* c = new (std::nothrow) Connection;
    if (c == nullptr) {
        ::close(fd);
        return kNoMemory;
    }
    c->fd = fd;
    std::lock_guard<std::mutex> guard(gLock);
    *handle = gNextHandle++;
    gHandles[*handle] = c;
    return kSuccess;
}

uint32_t closeDevice(uint32_t handle) {
    Connection* c = nullptr;
    {
        std::lock_guard<std::mutex> guard(gLock);
        auto it = gHandles.find(handle);
        if (it == gHandles.end()) return kInvalidHandle;
        c = it->second;
        gHandles.erase(it);
    }
    ::close(c->fd);
    delete c;
    return kSuccess;
}

}  // namespace zsim::pcie
