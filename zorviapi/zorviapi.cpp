// The seven exported entry points of the library (libzorviapi.so,
// zorviapi.dll). They check their arguments, then hand over to the frame
// codec (frame_codec.h) and the platform's port (port.h).
//
// Threads: every call works on the caller's handle with the exchange's
// state on its own stack, so different threads may use different handles at
// the same time. Two threads must not use one handle at once.
#include "frame_codec.h"
#include "port.h"
#include "status_text.h"
#include "zorvi.h"

extern "C" {

ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_OpenPortA(const char* name, ZORVI_HANDLE* handle) {
    if (name == nullptr || handle == nullptr) return ZORVI_NULL_POINTER;
    return zorvi::port::openA(name, handle);
}

ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_OpenPortW(const wchar_t* name, ZORVI_HANDLE* handle) {
    if (name == nullptr || handle == nullptr) return ZORVI_NULL_POINTER;
    return zorvi::port::openW(name, handle);
}

ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_SetPortBaud(ZORVI_HANDLE handle, uint32_t baud) {
    if (!zorvi::port::isPort(handle)) return ZORVI_BAUD_RATE_FAILED;
    return zorvi::port::setSpeed(handle, baud);
}

ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_Command(ZORVI_HANDLE handle, uint32_t flags, uint32_t timeoutUs,
                                                  uint32_t requestLength, const uint8_t* request,
                                                  uint32_t replyCapacity, uint8_t* reply, uint32_t* replyLength) {
    (void)flags;  // reserved; callers pass 0
    if (requestLength > 0 && request == nullptr) return ZORVI_NULL_POINTER;
    if (requestLength < 2) return ZORVI_SHORT_COMMAND;
    if (replyCapacity > 0 && reply == nullptr) return ZORVI_NULL_POINTER;
    // The reply length is written on every successful path, a reply or
    // not, so it must be there.
    if (replyLength == nullptr) return ZORVI_NULL_POINTER;
    *replyLength = 0;
    if (!zorvi::port::isPort(handle)) return ZORVI_INVALID_HANDLE;

    // One deadline bounds sending and receiving together.
    const zorvi::port::Deadline deadline = zorvi::port::Deadline::after(timeoutUs);

    zorvi::FrameEncoder encoder(request, requestLength);
    zorvi::WritePiece piece;
    for (size_t n; (n = encoder.nextPiece(piece)) != 0;) {
        const ZORVI_STATUS s = zorvi::port::write(handle, piece.data(), n, deadline);
        if (s != ZORVI_SUCCESS) return s;
    }
    if (replyCapacity == 0) return ZORVI_SUCCESS;

    zorvi::FrameDecoder decoder(request[0], request[1], reply, replyCapacity);
    for (uint32_t sinceCheck = 0;;) {
        uint8_t byte;
        const ZORVI_STATUS s = zorvi::port::readByte(handle, &byte, deadline);
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

ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_Close(ZORVI_HANDLE handle) {
    if (!zorvi::port::isPort(handle)) return ZORVI_INVALID_HANDLE;
    return zorvi::port::close(handle);
}

ZORVI_EXPORT const char* ZORVI_CALL ZORVI_GetStatusStringA(ZORVI_STATUS status, uint32_t selector) {
    return zorvi::statusTextA(status, selector);
}

ZORVI_EXPORT const wchar_t* ZORVI_CALL ZORVI_GetStatusStringW(ZORVI_STATUS status, uint32_t selector) {
    return zorvi::statusTextW(status, selector);
}

}  // extern "C"
