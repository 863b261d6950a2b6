// The port on POSIX systems: a tty opened exclusively in raw 8-bit mode,
// exact writes and buffered reads bounded by one deadline, and one receive
// buffer per open port. The handle is the port's file descriptor. The line
// speed is set in port_speed_linux.cpp.
//
// Per-thread I/O resources: plain non-blocking reads and writes with poll()
// need nothing per calling thread, so no call can fail for want of them.
//
// Receive buffers: a read takes everything the port already holds in one
// call (a system call per byte costs more than the line time of a long
// reply), and what the frame decoder does not take stays in the port's
// buffer for the next exchange, as it would have stayed in the port's own
// queue. Whatever discards the port's input (the drain at open, the close)
// empties its buffer too. The buffers hang in one list, guarded by a lock,
// since two threads may open, use and close two ports at once. A port that
// is never closed keeps its buffer until the process ends.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "port.h"
#include "port_name.h"

namespace zorvi::port {

namespace {

// drainPort: the line counts as quiet after this long without a byte ...
constexpr long kDrainQuietNs = 50L * 1000000L;
// ... but a port that never stops talking (a console streaming its log)
// must not hold the open forever; after this long what is left is dropped
// and the frame decoder skips whatever follows.
constexpr uint64_t kDrainLimitUs = 1000000;

int descriptor(ZORVI_HANDLE handle) { return static_cast<int>(handle); }

// Status of a failed read or write.
ZORVI_STATUS transferStatus(int error) { return error == EBADF ? ZORVI_INVALID_HANDLE : ZORVI_UNEXPECTED_ERROR; }

// Status of a failed open (or of a step of it).
ZORVI_STATUS openStatus(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
        case ENOTTY:  // the name exists but is no serial port
            return ZORVI_DEVICE_NOT_FOUND;
        case EACCES:
        case EPERM:
        // The port is held by another user of it (TIOCEXCL refuses the
        // open with EBUSY, the lock with EWOULDBLOCK). Opening a port that
        // is in use is refused as an access denial on the platform this
        // protocol grew up on, so callers see the same status for it here.
        case EBUSY:
        case EWOULDBLOCK:
            return ZORVI_ACCESS_DENIED;
        case EMFILE:
        case ENFILE:
        case ENOMEM:
            return ZORVI_RESOURCE_LIMIT;
        default:
            return ZORVI_UNEXPECTED_ERROR;
    }
}

// Waits until `fd` is ready for `events` or the deadline passes. `hungUp`
// tells whether the line reported a hang-up or an error alongside.
ZORVI_STATUS waitReady(int fd, short events, const Deadline& deadline, bool* hungUp) {
    for (;;) {
        timespec left{};
        timespec* limit = nullptr;
        if (!deadline.unlimited()) {
            const uint64_t us = deadline.remainingUs();
            if (us == 0) return ZORVI_TIMEOUT;
            left.tv_sec = static_cast<time_t>(us / 1000000);
            left.tv_nsec = static_cast<long>(us % 1000000) * 1000;
            limit = &left;
        }
        pollfd p{fd, events, 0};
        int r = ppoll(&p, 1, limit, nullptr);
        if (r < 0) {
            if (errno == EINTR) continue;
            return ZORVI_UNEXPECTED_ERROR;
        }
        if (r == 0) return ZORVI_TIMEOUT;
        if (p.revents & POLLNVAL) return ZORVI_INVALID_HANDLE;
        *hungUp = (p.revents & (POLLHUP | POLLERR)) != 0;
        if (p.revents & events) return ZORVI_SUCCESS;
        // Hung up or failed with nothing left to read: the device is gone.
        return ZORVI_UNEXPECTED_ERROR;
    }
}

// The port settings for framed binary traffic.
bool makeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    // A cooked tty would end input at 0x04, turn 0x03 into a signal, and
    // rewrite CR and LF; every byte value must pass untouched. Software
    // flow control is off in both directions, since 0x11 and 0x13 are
    // ordinary data. Stop bits and hardware flow control stay as they are.
    cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXOFF | IXANY);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Discards what the port holds until the line has been quiet for a while.
// Never fails: a port that cannot be drained is used as it is.
void drainPort(int fd) {
    const uint64_t start = monotonicUs();
    for (;;) {
        if (tcflush(fd, TCIOFLUSH) != 0) return;
        pollfd p{fd, POLLIN, 0};
        timespec quiet{0, kDrainQuietNs};
        int r = ppoll(&p, 1, &quiet, nullptr);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0 || !(p.revents & POLLIN)) return;  // quiet, or nothing more to learn
        if (monotonicUs() - start >= kDrainLimitUs) {
            tcflush(fd, TCIFLUSH);
            return;
        }
    }
}

// The receive buffer of an open port.
struct ReceiveBuffer {
    int fd;
    ReceiveBuffer* next;
    size_t begin;  // the next byte to hand out
    size_t end;    // one past the last byte read
    uint8_t bytes[4096];
};

ReceiveBuffer* gBuffers = nullptr;
pthread_rwlock_t gBuffersLock = PTHREAD_RWLOCK_INITIALIZER;

ReceiveBuffer* findBufferLocked(int fd) {
    ReceiveBuffer* b = gBuffers;
    while (b != nullptr && b->fd != fd) b = b->next;
    return b;
}

ReceiveBuffer* findBuffer(int fd) {
    pthread_rwlock_rdlock(&gBuffersLock);
    ReceiveBuffer* b = findBufferLocked(fd);
    pthread_rwlock_unlock(&gBuffersLock);
    return b;
}

// Gives a freshly opened (and drained) port an empty buffer. Without memory
// for one the port is read a byte at a time, which needs none.
void addBuffer(int fd) {
    pthread_rwlock_wrlock(&gBuffersLock);
    if (ReceiveBuffer* stale = findBufferLocked(fd)) {
        // A descriptor closed behind the library's back and given out again.
        stale->begin = stale->end = 0;
    } else if (auto* b = static_cast<ReceiveBuffer*>(std::calloc(1, sizeof(ReceiveBuffer)))) {
        b->fd = fd;
        b->next = gBuffers;
        gBuffers = b;
    }
    pthread_rwlock_unlock(&gBuffersLock);
}

void removeBuffer(int fd) {
    pthread_rwlock_wrlock(&gBuffersLock);
    ReceiveBuffer** link = &gBuffers;
    while (*link != nullptr && (*link)->fd != fd) link = &(*link)->next;
    ReceiveBuffer* b = *link;
    if (b != nullptr) *link = b->next;
    pthread_rwlock_unlock(&gBuffersLock);
    std::free(b);
}

}  // namespace

uint64_t monotonicUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
}

// Values that cannot be a descriptor are no port.
bool isPort(ZORVI_HANDLE handle) { return handle <= static_cast<ZORVI_HANDLE>(INT_MAX); }

ZORVI_STATUS openA(const char* name, ZORVI_HANDLE* handle) {
    int d;
    do {
        d = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (d < 0 && errno == EINTR);
    if (d < 0) return openStatus(errno);

    // Exclusive use: TIOCEXCL refuses later opens of the tty (except to
    // privileged processes), and the lock catches those too. Neither is
    // taken before the tty check, so a non-tty is reported as such.
    int error = 0;
    termios probe{};
    if (tcgetattr(d, &probe) != 0)
        error = errno;
    else if (flock(d, LOCK_EX | LOCK_NB) != 0)
        error = errno;
    else if (ioctl(d, TIOCEXCL) != 0 || !makeRaw(d))
        error = errno;
    if (error != 0) {
        ::close(d);
        return openStatus(error);
    }
    drainPort(d);
    addBuffer(d);
    *handle = static_cast<ZORVI_HANDLE>(d);
    return ZORVI_SUCCESS;
}

ZORVI_STATUS openW(const wchar_t* name, ZORVI_HANDLE* handle) {
    // File names are bytes; wide names are taken as Unicode and opened by
    // their UTF-8 form, whatever the process locale.
    char path[kPortNameCapacity];
    switch (wideToUtf8(name, path, sizeof path)) {
        case PortNameResult::Ok:
            break;
        case PortNameResult::Invalid:
            return ZORVI_DEVICE_NOT_FOUND;
        case PortNameResult::TooLong:
            return ZORVI_UNEXPECTED_ERROR;  // as the system's "name too long"
    }
    return openA(path, handle);
}

ZORVI_STATUS close(ZORVI_HANDLE handle) {
    const int fd = descriptor(handle);
    // The buffer goes first: once the descriptor is closed its number may
    // be given to a port another thread opens.
    removeBuffer(fd);
    // The exclusive flag belongs to the tty, not to this descriptor: clear
    // it so that the port is free again if someone else still holds it
    // open. The lock goes with the descriptor.
    ioctl(fd, TIOCNXCL);
    if (::close(fd) == 0) return ZORVI_SUCCESS;
    // The descriptor is released even when close fails, so it is never
    // retried. An interrupted close has still done its work; an I/O error
    // (output that could not be delivered) is reported.
    if (errno == EBADF) return ZORVI_INVALID_HANDLE;
    return errno == EINTR ? ZORVI_SUCCESS : ZORVI_UNEXPECTED_ERROR;
}

ZORVI_STATUS write(ZORVI_HANDLE handle, const uint8_t* data, size_t length, const Deadline& deadline) {
    const int fd = descriptor(handle);
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n > 0) {
            data += n;
            length -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return transferStatus(errno);
        // The output queue is full: wait for room.
        bool hungUp = false;
        ZORVI_STATUS s = waitReady(fd, POLLOUT, deadline, &hungUp);
        if (s == ZORVI_TIMEOUT) {
            // A timed-out exchange cancels its pending output: what the
            // queue still holds of the abandoned frame is dropped, so the
            // next exchange does not wait behind it (the receiver skips the
            // cut frame at the next start byte).
            tcflush(fd, TCOFLUSH);
        }
        if (s != ZORVI_SUCCESS) return s;
    }
    return ZORVI_SUCCESS;
}

ZORVI_STATUS readByte(ZORVI_HANDLE handle, uint8_t* byte, const Deadline& deadline) {
    const int fd = descriptor(handle);
    ReceiveBuffer* buffer = findBuffer(fd);
    bool hungUp = false;
    for (;;) {
        if (buffer != nullptr && buffer->begin < buffer->end) {
            *byte = buffer->bytes[buffer->begin++];
            return ZORVI_SUCCESS;
        }
        // Read first and wait only when nothing is there: while a reply is
        // streaming in, a read takes all that has come and needs no poll. A
        // port without a buffer (none could be had) is read a byte at a
        // time, so that it, too, keeps what follows a frame.
        ssize_t n = buffer != nullptr ? ::read(fd, buffer->bytes, sizeof buffer->bytes) : ::read(fd, byte, 1);
        if (n > 0) {
            if (buffer == nullptr) return ZORVI_SUCCESS;
            buffer->begin = 0;
            buffer->end = static_cast<size_t>(n);
            continue;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return transferStatus(errno);
        }
        // n == 0: a raw tty with VMIN = VTIME = 0 reports an empty queue as
        // end of data rather than EAGAIN. A hung-up tty also polls readable
        // and then reads nothing; after a hang-up that is the end.
        if (hungUp) return ZORVI_UNEXPECTED_ERROR;
        ZORVI_STATUS s = waitReady(fd, POLLIN, deadline, &hungUp);
        if (s != ZORVI_SUCCESS) return s;
    }
}

}  // namespace zorvi::port
