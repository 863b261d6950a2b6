#include "pcie/pcie_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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
    Session session;
};

static std::mutex gTableLock;

TableLock::TableLock() { gTableLock.lock(); }
TableLock::~TableLock() { gTableLock.unlock(); }

long long nowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

Session& sessionOf(Connection& c) { return c.session; }

bool sendPacket(Connection& c, const uint8_t* data, size_t length) { return sendAll(c.fd, data, length); }

uint32_t receive(Connection& c, long long deadlineUs, std::vector<uint8_t>& into) {
    int waitMs = -1;
    if (deadlineUs >= 0) {
        const long long left = deadlineUs - nowUs();
        if (left <= 0) return kTimeout;
        waitMs = static_cast<int>((left + 999) / 1000);
    }
    pollfd p{c.fd, POLLIN, 0};
    const int r = poll(&p, 1, waitMs);
    if (r < 0 && errno != EINTR) return kUnexpectedError;
    if (r <= 0) return kSuccess;
    uint8_t buf[4096];
    const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
    if (n == 0) return kUnexpectedError;
    if (n < 0) return errno == EINTR || errno == EAGAIN ? kSuccess : kUnexpectedError;
    into.insert(into.end(), buf, buf + n);
    return kSuccess;
}

uint32_t connect(Connection** c) {
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
    *c = new (std::nothrow) Connection;
    if (*c == nullptr) {
        ::close(fd);
        return kNoMemory;
    }
    (*c)->fd = fd;
    return kSuccess;
}

void disconnect(Connection* c) {
    ::close(c->fd);
    delete c;
}

}  // namespace zsim::pcie
