// The client side of the Windows PCIe stand-ins (tobra.dll, quenta.dll): the
// same packets as the Linux libraries send, over TCP to a simulator on the
// same machine (zorvisim --pcie-tcp). Wine's sockets offer no Unix domain
// sockets, and the loopback interface reaches the Linux simulator from a
// Windows program under Wine as from one on real Windows.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/options.h"
#include "pcie/pcie_client.h"
#include "pcie/pcie_protocol.h"
#include "pcie/pcie_transport.h"

namespace zsim::pcie {

struct Connection {
    SOCKET socket = INVALID_SOCKET;
    Session session;
};

static SRWLOCK gTableLock = SRWLOCK_INIT;

TableLock::TableLock() { AcquireSRWLockExclusive(&gTableLock); }
TableLock::~TableLock() { ReleaseSRWLockExclusive(&gTableLock); }

long long nowUs() { return static_cast<long long>(GetTickCount64()) * 1000; }

static uint16_t simulatorPort() {
    const char* env = std::getenv(kPcieTcpPortEnv);
    if (env == nullptr || *env == '\0') return kDefaultPcieTcpPort;
    char* end = nullptr;
    const unsigned long port = std::strtoul(env, &end, 10);
    return (*end == '\0' && port > 0 && port <= 65535) ? static_cast<uint16_t>(port) : 0;
}

Session& sessionOf(Connection& c) { return c.session; }

bool sendPacket(Connection& c, const uint8_t* data, size_t length) {
    while (length > 0) {
        const int w = ::send(c.socket, reinterpret_cast<const char*>(data), static_cast<int>(length), 0);
        if (w <= 0) return false;
        data += w;
        length -= static_cast<size_t>(w);
    }
    return true;
}

uint32_t receive(Connection& c, long long deadlineUs, std::vector<uint8_t>& into) {
    timeval limit{};
    timeval* wait = nullptr;
    if (deadlineUs >= 0) {
        const long long left = deadlineUs - nowUs();
        if (left <= 0) return kTimeout;
        limit.tv_sec = static_cast<long>(left / 1000000);
        limit.tv_usec = static_cast<long>(left % 1000000);
        wait = &limit;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(c.socket, &readable);
    const int r = ::select(0, &readable, nullptr, nullptr, wait);
    if (r == SOCKET_ERROR) return kUnexpectedError;
    if (r == 0) return kSuccess;
    char buf[4096];
    const int n = ::recv(c.socket, buf, sizeof buf, 0);
    if (n <= 0) return kUnexpectedError;
    into.insert(into.end(), reinterpret_cast<uint8_t*>(buf), reinterpret_cast<uint8_t*>(buf) + n);
    return kSuccess;
}

uint32_t connect(Connection** c) {
    const uint16_t port = simulatorPort();
    if (port == 0) return kBadDriver;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return kBadDriver;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        WSACleanup();
        return kUnexpectedError;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::closesocket(s);
        WSACleanup();
        return kBadDriver;
    }
    // One small packet each way per exchange: send it at once.
    BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    *c = new (std::nothrow) Connection;
    if (*c == nullptr) {
        ::closesocket(s);
        WSACleanup();
        return kNoMemory;
    }
    (*c)->socket = s;
    return kSuccess;
}

void disconnect(Connection* c) {
    ::closesocket(c->socket);
    delete c;
    WSACleanup();
}

}  // namespace zsim::pcie
