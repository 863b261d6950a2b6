#include "server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <sys/un.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pcie/pcie_protocol.h"

namespace zsim {
namespace {

long long nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

uint64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

Server::Server(const SimOptions& options)
    : options_(options), sim_(options), lineIn_(options.baud), lineOut_(options.baud) {
    // A paced line keeps its byte times only if wake-ups are not rounded
    // up by the default 50 us timer slack.
    if (options.baud != 0 || options.exchangeUs != 0) prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

Server::~Server() {
    for (Client& c : clients_) ::close(c.fd);
    if (listen_ >= 0) {
        ::close(listen_);
        ::unlink(socketPath_.c_str());
    }
    if (listenTcp_ >= 0) ::close(listenTcp_);
    if (log_ >= 0) ::close(log_);
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

bool Server::open(std::string& error) {
    if (!sim_.board().start(error)) return false;
    if (!options_.logFile.empty()) {
        log_ = ::open(options_.logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (log_ < 0) {
            error = "cannot open log file '" + options_.logFile + "': " + std::strerror(errno);
            return false;
        }
    }
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
        error = "ptsname failed";
        return false;
    }
    port_ = name;
    // The simulator keeps the slave side open itself: then a client that
    // closes its end leaves the pair intact (no EIO/HUP on the master) and
    // the terminal settings below stay in force for the next client.
    slave_ = ::open(port_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        error = "cannot open '" + port_ + "': " + std::strerror(errno);
        return false;
    }
    // Started as the leader of a session without a terminal (setsid
    // zorvisim ..., as the tests do), the simulator makes the pty its
    // controlling terminal. Otherwise the first such session leader that
    // opens it takes it: Wine's wineserver does, and is hung up when the
    // simulator ends. With a terminal of its own the call fails harmlessly.
    if (getsid(0) == getpid()) ioctl(slave_, TIOCSCTTY, 0);
    // Raw before any client opens it: a client that never sets the line up
    // itself (Wine's serial layer leaves it as found) must get every byte.
    termios t{};
    if (tcgetattr(slave_, &t) == 0) {
        cfmakeraw(&t);  // every byte value passes untouched, 0x04 and 0x10 included
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        tcsetattr(slave_, TCSANOW, &t);
    }
    int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    if (!options_.noPcie && !openSocket(error)) {
        if (!options_.pcieSocket.empty()) return false;
        // Only the default path was taken (another simulator runs): the
        // serial link still works, so go on without the PCIe links.
        std::fprintf(stderr, "zorvisim: %s; PCIe links disabled\n", error.c_str());
        error.clear();
    }
    if (!options_.noPcie && options_.pcieTcpPort && !openTcp(error)) return false;
    return true;
}

bool Server::openTcp(std::string& error) {
    listenTcp_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(*options_.pcieTcpPort);
    socklen_t length = sizeof addr;
    if (listenTcp_ < 0 || ::bind(listenTcp_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenTcp_, 16) != 0 || getsockname(listenTcp_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
        error = "cannot listen on TCP port " + std::to_string(*options_.pcieTcpPort) + ": " + std::strerror(errno);
        return false;
    }
    tcpPort_ = ntohs(addr.sin_port);
    std::fprintf(stderr, "zorvisim: PCIe stand-ins on TCP port %u\n", static_cast<unsigned>(tcpPort_));
    return true;
}

bool Server::openSocket(std::string& error) {
    socketPath_ = options_.pcieSocket.empty() ? kDefaultPcieSocket : options_.pcieSocket;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath_.size() >= sizeof addr.sun_path) {
        error = "socket path too long: " + socketPath_;
        return false;
    }
    std::memcpy(addr.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
    // A socket file left by a simulator that died is taken over; one that
    // still answers belongs to a running simulator and is left alone.
    int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe >= 0) {
        if (::connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            ::close(probe);
            error = "another simulator listens on '" + socketPath_ + "' (use --pcie-socket or --no-pcie)";
            socketPath_.clear();
            return false;
        }
        ::close(probe);
    }
    ::unlink(socketPath_.c_str());
    listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_, 16) != 0) {
        error = "cannot listen on '" + socketPath_ + "': " + std::strerror(errno);
        if (listen_ >= 0) ::close(listen_);
        listen_ = -1;
        socketPath_.clear();
        return false;
    }
    return true;
}

void Server::logRequest(const std::vector<uint8_t>& request) {
    if (log_ < 0) return;
    std::string line = hexLine(request) + "\n";
    // One write per line: O_APPEND keeps lines whole even if the log is truncated meanwhile.
    ssize_t w = ::write(log_, line.data(), line.size());
    (void)w;
}

void Server::sleepMs(uint32_t ms) {
    // A late reply holds the (single-threaded, like the uC's) loop, but a
    // stop request still ends the wait.
    long long deadline = nowMs() + ms;
    for (;;) {
        long long left = deadline - nowMs();
        if (left <= 0) return;
        pollfd p{stopFd_, POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(left));
        if (r > 0) return;
    }
}

// Sleeps until shortly before the deadline, then spins: a wake-up comes
// some tens of microseconds late, a sizeable part of a short exchange at
// 921600 baud.
void Server::sleepUntilNs(uint64_t deadline) {
    constexpr uint64_t kSpinNs = 80000;
    for (;;) {
        const uint64_t now = nowNs();
        if (now >= deadline) return;
        const uint64_t left = deadline - now;
        if (left <= kSpinNs) continue;
        const uint64_t nap = left - kSpinNs;
        timespec ts{static_cast<time_t>(nap / 1000000000ull), static_cast<long>(nap % 1000000000ull)};
        pollfd p{stopFd_, POLLIN, 0};
        if (ppoll(&p, 1, &ts, nullptr) > 0) return;
    }
}

// The reply goes out in slices of about a millisecond of line time, each
// written when its last byte would be through the line.
void Server::writePtyPaced(const std::vector<uint8_t>& bytes, uint64_t readyNs) {
    const size_t slice = std::max<size_t>(1, options_.baud / 10000);
    for (size_t done = 0; done < bytes.size();) {
        const size_t take = std::min(slice, bytes.size() - done);
        sleepUntilNs(lineOut_.send(readyNs, take));
        writePty(std::vector<uint8_t>(bytes.begin() + static_cast<long>(done),
                                      bytes.begin() + static_cast<long>(done + take)));
        done += take;
    }
}

void Server::writePty(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    bool flushed = false;
    long long deadline = nowMs() + 1000;
    while (done < bytes.size()) {
        ssize_t w = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) return;
        if (nowMs() >= deadline) {
            // Nobody reads the terminal (the client went away): drop what
            // piled up unread rather than hang, as a real line would.
            if (flushed) return;
            tcflush(slave_, TCIFLUSH);
            flushed = true;
            deadline = nowMs() + 1000;
            continue;
        }
        pollfd p{master_, POLLOUT, 0};
        poll(&p, 1, 50);
    }
}

void Server::answerLine(std::vector<Outgoing>& outs, std::vector<std::vector<uint8_t>>& requests,
                        uint64_t arrivedNs) {
    // --exchange-us: the turnaround counts from the request's arrival.
    const uint64_t turnaroundNs = uint64_t{options_.exchangeUs} * 1000;
    const uint64_t arrived = turnaroundNs != 0 ? std::max(arrivedNs, nowNs()) : 0;
    for (size_t i = 0; i < outs.size(); ++i) {
        logRequest(requests[i]);
        if (outs[i].hangUp) {
            hangUpLine();
            return;
        }
        if (!outs[i].reply) continue;
        if (turnaroundNs != 0) sleepUntilNs(arrived + turnaroundNs);
        if (outs[i].delayMs != 0) {
            sleepUntilNs(arrivedNs);
            sleepMs(outs[i].delayMs);
        }
        if (lineOut_.paced())
            writePtyPaced(outs[i].lineBytes(), std::max(arrivedNs, nowNs()));
        else
            writePty(outs[i].lineBytes());
    }
}

// The cable is pulled: closing the master side (and the simulator's own
// slave descriptor) hangs the terminal up for whoever has it open: reads
// fail with EIO, poll reports POLLHUP. The line stays dead.
void Server::hangUpLine() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = -1;
    master_ = -1;
}

void Server::onPtyReadable() {
    uint8_t buf[4096];
    while (master_ >= 0) {
        ssize_t got = ::read(master_, buf, sizeof buf);
        if (got <= 0) return;
        std::vector<std::vector<uint8_t>> requests;
        if (!lineIn_.paced()) {
            std::vector<Outgoing> outs = sim_.feedLine(buf, static_cast<size_t>(got), &requests);
            answerLine(outs, requests, 0);
            continue;
        }
        // A paced line: the bytes read at once arrive one after another,
        // and the reply starts once the request's last byte is through (the
        // board may act earlier; nobody can tell).
        const uint64_t readAt = nowNs();
        for (ssize_t i = 0; i < got; ++i) {
            const uint64_t through = lineIn_.send(readAt, 1);
            std::vector<Outgoing> outs = sim_.feedLine(buf + i, 1, &requests);
            if (outs.empty()) continue;
            answerLine(outs, requests, through);
            requests.clear();
            if (master_ < 0) return;
        }
    }
}

void Server::onAccept(int listenFd) {
    for (;;) {
        int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        clients_.push_back(Client{fd, {}});
    }
}

bool Server::onClientReadable(Client& c) {
    uint8_t buf[8192];
    ssize_t got = ::recv(c.fd, buf, sizeof buf, 0);
    if (got == 0) return false;
    if (got < 0) return errno == EAGAIN || errno == EINTR;
    c.in.insert(c.in.end(), buf, buf + got);
    while (c.in.size() >= pcie::kRequestHeader) {
        const uint8_t op = c.in[0];
        const uint32_t seq = pcie::get32(&c.in[1]);
        const uint32_t length = pcie::get32(&c.in[5]);
        if (length > pcie::kMaxPayload) return false;
        if (c.in.size() < pcie::kRequestHeader + length) break;
        std::vector<uint8_t> payload(c.in.begin() + pcie::kRequestHeader,
                                     c.in.begin() + pcie::kRequestHeader + length);
        c.in.erase(c.in.begin(), c.in.begin() + pcie::kRequestHeader + length);
        std::vector<uint8_t> answer;
        bool answered = true;
        if (op == pcie::kOpCommand) {
            logRequest(payload);
            Outgoing out = sim_.handle(payload);
            if (out.hangUp) return false;
            // Line noise and half frames exist only on the serial line.
            answered = out.reply;
            if (answered && out.delayMs != 0) sleepMs(out.delayMs);
            answer = std::move(out.message);
        } else if (op == pcie::kOpUniqueId) {
            answer.resize(8);
            pcie::put32(&answer[0], options_.cardSerial);
            pcie::put32(&answer[4], options_.cardType);
        } else {
            return false;
        }
        if (!answered) continue;
        std::vector<uint8_t> packet(pcie::kReplyHeader + answer.size());
        pcie::put32(&packet[0], seq);
        pcie::put32(&packet[4], static_cast<uint32_t>(answer.size()));
        std::copy(answer.begin(), answer.end(), packet.begin() + pcie::kReplyHeader);
        int flags = fcntl(c.fd, F_GETFL);
        fcntl(c.fd, F_SETFL, flags & ~O_NONBLOCK);
        bool ok = pcie::sendAll(c.fd, packet.data(), packet.size());
        fcntl(c.fd, F_SETFL, flags);
        if (!ok) return false;
    }
    return true;
}

void Server::serve(int stopFd) {
    stopFd_ = stopFd;
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({stopFd_, POLLIN, 0});
        // After a hang-up the slot stays, ignored (a negative descriptor).
        fds.push_back({master_, POLLIN, 0});
        const size_t listenAt = fds.size();
        if (listen_ >= 0) fds.push_back({listen_, POLLIN, 0});
        const size_t tcpAt = fds.size();
        if (listenTcp_ >= 0) fds.push_back({listenTcp_, POLLIN, 0});
        const size_t firstClient = fds.size();
        for (const Client& c : clients_) fds.push_back({c.fd, POLLIN, 0});
        int r = poll(fds.data(), fds.size(), 200);
        if (r < 0 && errno != EINTR) return;
        // A client may have put the terminal into exclusive mode; since the
        // simulator holds the slave open, that would outlive the client and
        // lock the next one out. Clients never share the port at once, so
        // clearing it costs nothing.
        if (slave_ >= 0) ioctl(slave_, TIOCNXCL);
        if (r <= 0) continue;
        if ((fds[0].revents & POLLIN) != 0) return;
        if (master_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) onPtyReadable();
        if (listen_ >= 0 && (fds[listenAt].revents & POLLIN) != 0) onAccept(listen_);
        if (listenTcp_ >= 0 && (fds[tcpAt].revents & POLLIN) != 0) onAccept(listenTcp_);
        for (size_t i = firstClient, k = 0; i < fds.size(); ++i, ++k) {
            if (fds[i].revents == 0) continue;
            Client& c = clients_[k];
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !onClientReadable(c)) {
                ::close(c.fd);
                c.fd = -1;
            }
        }
        std::erase_if(clients_, [](const Client& c) { return c.fd < 0; });
        const std::string err = sim_.board().takeSaveError();
        if (!err.empty()) {
            std::fprintf(stderr, "zorvisim: %s\n", err.c_str());
        }
    }
}

}  // namespace zsim
