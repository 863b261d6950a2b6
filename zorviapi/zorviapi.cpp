// The seven exported entry points of libzorviapi.so. They check their
// arguments, then hand over to the frame codec (frame_codec.h) and the port
// layer (serial_port_posix.h).
//
// Threads: every call works on the caller's descriptor with state on its
// own stack, and the library keeps no table of ports and no global state,
// so different threads may use different handles at the same time. Two
// threads must not use one handle at once.
//
// Per-thread I/O resources: a platform with overlapped I/O needs one
// completion record and event per calling thread, and must decide what a
// call reports when that record cannot be created. Here plain non-blocking
// reads and writes with poll() need nothing per thread, so that failure
// cannot occur and no status is reserved for it.
#include <climits>

#include "frame_codec.h"
#include "port_name.h"
#include "serial_port_posix.h"
#include "status_text.h"
#include "zorvi.h"

namespace {

// The handle is the port's file descriptor. Values that cannot be one are
// refused before they reach the system.
bool descriptorOf(ZORVI_HANDLE handle, int* fd) {
    if (handle > static_cast<ZORVI_HANDLE>(INT_MAX)) return false;
    *fd = static_cast<int>(handle);
    return true;
}

ZORVI_STATUS openNamed(const char* path, ZORVI_HANDLE* handle) {
    int fd = -1;
    ZORVI_STATUS s = zorvi::openPort(path, &fd);
    if (s != ZORVI_SUCCESS) return s;
    *handle = static_cast<ZORVI_HANDLE>(fd);
    return ZORVI_SUCCESS;
}

}  // namespace

extern "C" {

ZORVI_EXPORT ZORVI_STATUS ZORVI_OpenPortA(const char* name, ZORVI_HANDLE* handle) {
    if (name == nullptr || handle == nullptr) return ZORVI_NULL_POINTER;
    return openNamed(name, handle);
}

ZORVI_EXPORT ZORVI_STATUS ZORVI_OpenPortW(const wchar_t* name, ZORVI_HANDLE* handle) {
    if (name == nullptr || handle == nullptr) return ZORVI_NULL_POINTER;
    // File names are bytes; wide names are taken as Unicode and opened by
    // their UTF-8 form, whatever the process locale.
    char path[zorvi::kPortNameCapacity];
    switch (zorvi::wideToUtf8(name, path, sizeof path)) {
        case zorvi::PortNameResult::Ok:
            break;
        case zorvi::PortNameResult::Invalid:
            return ZORVI_DEVICE_NOT_FOUND;
        case zorvi::PortNameResult::TooLong:
            return ZORVI_UNEXPECTED_ERROR;  // as the system's "name too long"
    }
    return openNamed(path, handle);
}

ZORVI_EXPORT ZORVI_STATUS ZORVI_SetPortBaud(ZORVI_HANDLE handle, uint32_t baud) {
    int fd;
    if (!descriptorOf(handle, &fd)) return ZORVI_BAUD_RATE_FAILED;
    return zorvi::setPortSpeed(fd, baud);
}

ZORVI_EXPORT ZORVI_STATUS ZORVI_Command(ZORVI_HANDLE handle, uint32_t flags, uint32_t timeoutUs,
                                        uint32_t requestLength, const uint8_t* request, uint32_t replyCapacity,
                                        uint8_t* reply, uint32_t* replyLength) {
    (void)flags;  // reserved; callers pass 0
    if (requestLength > 0 && request == nullptr) return ZORVI_NULL_POINTER;
    if (requestLength < 2) return ZORVI_SHORT_COMMAND;
    if (replyCapacity > 0 && reply == nullptr) return ZORVI_NULL_POINTER;
    // The reply length is written on every successful path, a reply or
    // not, so it must be there.
    if (replyLength == nullptr) return ZORVI_NULL_POINTER;
    *replyLength = 0;
    int fd;
    if (!descriptorOf(handle, &fd)) return ZORVI_INVALID_HANDLE;

    // One deadline bounds sending and receiving together.
    const zorvi::Deadline deadline = zorvi::Deadline::after(timeoutUs);

    zorvi::FrameEncoder encoder(request, requestLength);
    zorvi::WritePiece piece;
    for (size_t n; (n = encoder.nextPiece(piece)) != 0;) {
        ZORVI_STATUS s = zorvi::writeExact(fd, piece.data(), n, deadline);
        if (s != ZORVI_SUCCESS) return s;
    }
    if (replyCapacity == 0) return ZORVI_SUCCESS;

    zorvi::FrameDecoder decoder(request[0], request[1], reply, replyCapacity);
    for (uint32_t sinceCheck = 0;;) {
        uint8_t byte;
        ZORVI_STATUS s = zorvi::readByte(fd, &byte, deadline);
        if (s != ZORVI_SUCCESS) return s;
        if (decoder.feed(byte)) break;
        // Bytes that keep arriving never make a read wait, so the deadline
        // is checked here as well: a line streaming noise or foreign frames
        // must still end the exchange in time. Every 32nd byte is often
        // enough (a few microseconds of line time even at the fastest
        // rates) and keeps the clock off the per-byte path.
        if (++sinceCheck % 32 == 0 && deadline.expired()) return ZORVI_TIMEOUT;
    }
    *replyLength = decoder.length();
    return ZORVI_SUCCESS;
}

ZORVI_EXPORT ZORVI_STATUS ZORVI_Close(ZORVI_HANDLE handle) {
    int fd;
    if (!descriptorOf(handle, &fd)) return ZORVI_INVALID_HANDLE;
    return zorvi::closePort(fd);
}

ZORVI_EXPORT const char* ZORVI_GetStatusStringA(ZORVI_STATUS status, uint32_t selector) {
    return zorvi::statusTextA(status, selector);
}

ZORVI_EXPORT const wchar_t* ZORVI_GetStatusStringW(ZORVI_STATUS status, uint32_t selector) {
    return zorvi::statusTextW(status, selector);
}

}  // extern "C"
