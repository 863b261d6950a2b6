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

namespace zsim::pcie {
namespace {

struct Connection {
    int fd = -1;
    uint32_t sequence = 0;
    std::vector<uint8_t> pending;  // received bytes not yet consumed
};

std::mutex gLock;
std::map<uint32_t, Connection*> gHandles;
uint32_t gNextHandle = 1;

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

}  // namespace

const wchar_t* statusText(const StatusTexts& names, uint32_t status, uint32_t selector) {
    struct Row {
        uint32_t code;
        const wchar_t* name;
        const wchar_t* text;
    };
    const Row rows[] = {
        {kSuccess, names.success, L"No error"},
        {kUnexpectedError, names.unexpectedError, L"An unexpected error caused the operation to fail"},
        {kBadDriver, names.badDriver, L"The driver may not be correctly installed (simulator not running?)"},
        {kNoMemory, names.noMemory, L"Couldn't allocate memory required to complete operation"},
        {kDeviceNotFound, names.deviceNotFound, L"Failed to open the device with the specified index"},
        {kInvalidHandle, names.invalidHandle, L"The device handle was invalid"},
        {kNullPointer, names.nullPointer, L"A NULL pointer was passed where non-NULL was required"},
        {kTimeout, names.timeout, L"The operation did not complete within the timeout period"},
        {kShortCommand, names.shortCommand, L"The length of the command was less than 2 bytes"},
    };
    for (const Row& r : rows)
        if (r.code == status) return selector == 0 ? r.text : r.name;
    return selector == 0 ? L"Unrecognized status code" : names.unknown;
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

uint32_t uniqueId(uint32_t handle, uint32_t words[2]) {
    if (words == nullptr) return kNullPointer;
    Connection* c = find(handle);
    if (c == nullptr) return kInvalidHandle;
    std::vector<uint8_t> answer;
    uint32_t status = transact(*c, kOpUniqueId, nullptr, 0, nowUs() + 5000000, answer);
    if (status != kSuccess) return status;
    if (answer.size() != 8) return kUnexpectedError;
    words[0] = get32(&answer[0]);
    words[1] = get32(&answer[4]);
    return kSuccess;
}

uint32_t command(uint32_t handle, uint32_t timeoutUs, uint32_t requestLength, const uint8_t* request,
                 uint32_t replyCapacity, uint8_t* reply, uint32_t* replyLength) {
    if (requestLength > 0 && request == nullptr) return kNullPointer;
    if (requestLength < 2) return kShortCommand;
    if ((replyCapacity > 0 && reply == nullptr) || replyLength == nullptr) return kNullPointer;
    if (requestLength > kMaxPayload) return kUnexpectedError;
    Connection* c = find(handle);
    if (c == nullptr) return kInvalidHandle;
    // One time-out bounds the whole exchange; 0 means no limit.
    const long long deadline = timeoutUs == 0 ? -1 : nowUs() + static_cast<long long>(timeoutUs);
    std::vector<uint8_t> answer;
    uint32_t status = transact(*c, kOpCommand, request, requestLength, deadline, answer);
    if (status != kSuccess) return status;
    // The reply is stored up to the capacity; the actual length is reported.
    const size_t stored = answer.size() < replyCapacity ? answer.size() : replyCapacity;
    if (stored != 0) std::memcpy(reply, answer.data(), stored);
    *replyLength = static_cast<uint32_t>(answer.size());
    return kSuccess;
}

uint32_t deviceStatus(uint32_t handle, uint32_t* status) {
    if (status == nullptr) return kNullPointer;
    if (find(handle) == nullptr) return kInvalidHandle;
    *status = 0;
    return kSuccess;
}

}  // namespace zsim::pcie
