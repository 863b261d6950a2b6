// The port on Windows: COM ports opened for overlapped I/O, each transfer
// bounded by the exchange's deadline, one overlapped-I/O record per calling
// thread and one receive buffer per open port.
//
// Per-thread records: every transfer needs an OVERLAPPED block with its own
// event, and two threads may use two ports at once, so each thread gets its
// own record. The records hang in one list so that the DLL can free them all
// when it is unloaded; the thread-local slot points each thread at its own.
// A thread that existed before the DLL was loaded gets its record on its
// first call. A call whose thread has no record and cannot get one (no
// memory, no event) reports ZORVI_RESOURCE_LIMIT.
//
// Receive buffers: a read takes everything the port already holds in one
// call (a system call per byte is slow, and far slower under emulation),
// and what the frame decoder does not take stays in the port's buffer for
// the next exchange, as it would have stayed in the port's own queue.
#include <windows.h>

#include <string>

#include <cstdint>

#include "port.h"

namespace zorvi::port {

namespace {

struct ThreadIoRecord {
    OVERLAPPED overlapped;
    // Where a port event wait puts its events: the system may write it as
    // late as the OVERLAPPED block, so it lives as long (see abandonRecord).
    DWORD commEvents;
    ThreadIoRecord* previous;
    ThreadIoRecord* next;
};

HANDLE gHeap = nullptr;
DWORD gSlot = TLS_OUT_OF_INDEXES;
ThreadIoRecord* gRecords = nullptr;  // newest first
// Thread notifications are serialised by the system, but a first call of a
// thread that predates the DLL adds its record outside them.
SRWLOCK gRecordsLock = SRWLOCK_INIT;

// drainPort: the line counts as quiet after this long without a byte; a
// port that never stops talking is given up on after the limit.
constexpr DWORD kDrainQuietMs = 50;
constexpr DWORD kDrainLimitMs = 1000;
// How long a cancelled operation may take to let go of the record's
// OVERLAPPED block.
constexpr DWORD kCancelWaitMs = 1000;
// The system's invalid-handle status, as some drivers report it.
constexpr DWORD kStatusInvalidHandle = 0xC0000008;

ThreadIoRecord* createRecord() {
    auto* r = static_cast<ThreadIoRecord*>(HeapAlloc(gHeap, HEAP_ZERO_MEMORY, sizeof(ThreadIoRecord)));
    if (r == nullptr) return nullptr;
    r->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (r->overlapped.hEvent == nullptr) {
        HeapFree(gHeap, 0, r);
        return nullptr;
    }
    AcquireSRWLockExclusive(&gRecordsLock);
    r->next = gRecords;
    if (gRecords != nullptr) gRecords->previous = r;
    gRecords = r;
    ReleaseSRWLockExclusive(&gRecordsLock);
    if (!TlsSetValue(gSlot, r)) {
        // Unreachable in practice: the slot is ours. Keep the record listed;
        // it is freed with the others.
        return nullptr;
    }
    return r;
}

void unlinkRecord(ThreadIoRecord* r) {
    AcquireSRWLockExclusive(&gRecordsLock);
    if (r->previous != nullptr) r->previous->next = r->next;
    if (r->next != nullptr) r->next->previous = r->previous;
    if (gRecords == r) gRecords = r->next;
    ReleaseSRWLockExclusive(&gRecordsLock);
}

void freeRecord(ThreadIoRecord* r) {
    CloseHandle(r->overlapped.hEvent);
    HeapFree(gHeap, 0, r);
}

ThreadIoRecord* threadRecord() {
    if (gSlot == TLS_OUT_OF_INDEXES) return nullptr;
    auto* r = static_cast<ThreadIoRecord*>(TlsGetValue(gSlot));
    return r != nullptr ? r : createRecord();
}

// A cancelled operation that never let go of the OVERLAPPED block: the
// system may still write to it, so the record is never reused nor freed.
// The thread gets a fresh one on its next call.
void abandonRecord(ThreadIoRecord* r) {
    unlinkRecord(r);
    TlsSetValue(gSlot, nullptr);
}

// Readies the record's OVERLAPPED block for a new operation. ReadFile and
// WriteFile clear the event themselves as they start; a wait for a port
// event needs it cleared here.
OVERLAPPED* fresh(ThreadIoRecord* r, bool clearEvent = false) {
    r->overlapped.Internal = 0;
    r->overlapped.InternalHigh = 0;
    r->overlapped.Offset = 0;
    r->overlapped.OffsetHigh = 0;
    if (clearEvent) ResetEvent(r->overlapped.hEvent);
    return &r->overlapped;
}

// Waits until a cancelled operation has released the OVERLAPPED block.
void awaitRelease(HANDLE port, ThreadIoRecord* r) {
    if (WaitForSingleObject(r->overlapped.hEvent, kCancelWaitMs) == WAIT_OBJECT_0) {
        DWORD ignored = 0;
        GetOverlappedResult(port, &r->overlapped, &ignored, FALSE);
        return;
    }
    abandonRecord(r);
}

HANDLE portOf(ZORVI_HANDLE handle) { return ULongToHandle(handle); }

bool isInvalidHandleError(DWORD error) { return error == ERROR_INVALID_HANDLE || error == kStatusInvalidHandle; }

// Waits for `event` until the deadline: WAIT_OBJECT_0 once it is set,
// WAIT_TIMEOUT once the time is up.
DWORD waitUntil(HANDLE event, const Deadline& deadline) {
    for (;;) {
        DWORD ms = INFINITE;
        if (!deadline.unlimited()) {
            const uint64_t left = (deadline.remainingUs() + 999) / 1000;
            ms = left < INFINITE ? static_cast<DWORD>(left) : INFINITE - 1;
        }
        const DWORD wait = WaitForSingleObject(event, ms);
        // A wait may end a little before the clock says the time is up.
        if (wait != WAIT_TIMEOUT || deadline.expired()) return wait;
    }
}

enum class Direction { Write, Read };

// One overlapped transfer, bounded by the deadline.
ZORVI_STATUS transfer(HANDLE port, Direction direction, void* data, DWORD length, const Deadline& deadline,
                      DWORD* transferred) {
    *transferred = 0;
    ThreadIoRecord* record = threadRecord();
    if (record == nullptr) return ZORVI_RESOURCE_LIMIT;
    OVERLAPPED* ov = fresh(record);
    const BOOL done = direction == Direction::Write ? WriteFile(port, data, length, nullptr, ov)
                                                    : ReadFile(port, data, length, nullptr, ov);
    DWORD error = 0;
    bool timedOut = false;
    if (done) {
        if (GetOverlappedResult(port, ov, transferred, FALSE)) return ZORVI_SUCCESS;
        error = GetLastError();
    } else {
        error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            error = 0;
            const DWORD wait = waitUntil(ov->hEvent, deadline);
            if (wait == WAIT_OBJECT_0) {
                if (GetOverlappedResult(port, ov, transferred, FALSE)) return ZORVI_SUCCESS;
                error = direction == Direction::Write ? ERROR_IO_PENDING : GetLastError();
            } else {
                // The time is up (or the wait failed): cancel, and keep the
                // record only once the system has let go of it.
                timedOut = wait == WAIT_TIMEOUT;
                CancelIo(port);
                awaitRelease(port, record);
            }
        }
    }
    // Wine and current systems report a closed or bad handle as
    // ERROR_INVALID_HANDLE; the raw status is accepted as well.
    if (error != 0) return isInvalidHandleError(error) ? ZORVI_INVALID_HANDLE : ZORVI_UNEXPECTED_ERROR;
    return timedOut ? ZORVI_TIMEOUT : ZORVI_UNEXPECTED_ERROR;
}

// The receive buffer of an open port.
struct ReceiveBuffer {
    HANDLE port;
    ReceiveBuffer* next;
    DWORD begin;  // the next byte to hand out
    DWORD end;    // one past the last byte read
    uint8_t bytes[4096];
};

ReceiveBuffer* gBuffers = nullptr;
SRWLOCK gBuffersLock = SRWLOCK_INIT;

ReceiveBuffer* findBuffer(HANDLE port) {
    AcquireSRWLockShared(&gBuffersLock);
    ReceiveBuffer* b = gBuffers;
    while (b != nullptr && b->port != port) b = b->next;
    ReleaseSRWLockShared(&gBuffersLock);
    return b;
}

// Gives a freshly opened port an empty buffer. Without memory for one the
// port is read a byte at a time, which needs none.
void addBuffer(HANDLE port) {
    if (ReceiveBuffer* stale = findBuffer(port)) {
        // A handle value closed behind the library's back and given out again.
        stale->begin = stale->end = 0;
        return;
    }
    auto* b = static_cast<ReceiveBuffer*>(HeapAlloc(gHeap, HEAP_ZERO_MEMORY, sizeof(ReceiveBuffer)));
    if (b == nullptr) return;
    b->port = port;
    AcquireSRWLockExclusive(&gBuffersLock);
    b->next = gBuffers;
    gBuffers = b;
    ReleaseSRWLockExclusive(&gBuffersLock);
}

void removeBuffer(HANDLE port) {
    AcquireSRWLockExclusive(&gBuffersLock);
    ReceiveBuffer** link = &gBuffers;
    while (*link != nullptr && (*link)->port != port) link = &(*link)->next;
    ReceiveBuffer* b = *link;
    if (b != nullptr) *link = b->next;
    ReleaseSRWLockExclusive(&gBuffersLock);
    if (b != nullptr) HeapFree(gHeap, 0, b);
}

// How many bytes one read may ask for: what the port holds already, at
// least one (that read waits for the next byte to arrive).
DWORD bytesWaiting(HANDLE port, DWORD limit) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &errors, &status) || status.cbInQue == 0) return 1;
    return status.cbInQue < limit ? status.cbInQue : limit;
}

// Discards what the port holds until the line has been quiet for a while.
// Never fails. A pending WaitCommEvent may end by itself with an error (a
// pseudo-terminal under Wine does so after a few milliseconds); that stops
// the draining, as does the time limit, so the loop always ends.
void drainPort(HANDLE port, ThreadIoRecord* record) {
    if (!SetCommMask(port, EV_RXCHAR | EV_RXFLAG)) return;
    const DWORD start = GetTickCount();
    bool pending = false;
    while (GetTickCount() - start < kDrainLimitMs) {
        if (!PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR)) break;
        OVERLAPPED* ov = fresh(record, true);
        if (WaitCommEvent(port, &record->commEvents, ov)) continue;  // bytes came at once: purge again
        if (GetLastError() != ERROR_IO_PENDING) break;
        if (WaitForSingleObject(ov->hEvent, kDrainQuietMs) != WAIT_OBJECT_0) {
            pending = true;  // quiet: done
            break;
        }
        DWORD ignored = 0;
        if (!GetOverlappedResult(port, ov, &ignored, FALSE)) break;  // the wait failed by itself
    }
    // Clearing the mask ends a pending wait (cancelling the I/O does not
    // always do so); the record is reused only once the wait has ended.
    SetCommMask(port, 0);
    if (pending) {
        CancelIo(port);
        awaitRelease(port, record);
    }
    PurgeComm(port, PURGE_RXCLEAR);
}

ZORVI_STATUS openStatus(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return ZORVI_DEVICE_NOT_FOUND;
        case ERROR_ACCESS_DENIED:
            return ZORVI_ACCESS_DENIED;
        default:
            return ZORVI_UNEXPECTED_ERROR;
    }
}

ZORVI_STATUS finishOpen(HANDLE port, ThreadIoRecord* record, ZORVI_HANDLE* handle) {
    if (port == INVALID_HANDLE_VALUE) return openStatus(GetLastError());
    // Only a serial port has port settings. Anything else (a file named by
    // mistake) is refused before a request could be written into it.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) {
        CloseHandle(port);
        return ZORVI_DEVICE_NOT_FOUND;
    }
    // No read or write time-outs of the port's own: a read waits for its
    // byte, and the exchange's deadline alone bounds the wait. A port left
    // with "return at once" time-outs would otherwise make every read
    // complete empty.
    COMMTIMEOUTS timeouts{};
    SetCommTimeouts(port, &timeouts);
    *handle = HandleToULong(port);
    drainPort(port, record);
    addBuffer(port);
    return ZORVI_SUCCESS;
}

HANDLE createPort(const char* name) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

HANDLE createPort(const wchar_t* name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

/// Whether `name` is a bare COM port name ("COM12", any case).
template <typename Char>
bool isBareComName(const Char* name) {
    if ((name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm' || name[3] == 0) return false;
    for (const Char* c = name + 3; *c != 0; ++c)
        if (*c < '0' || *c > '9') return false;
    return true;
}

template <typename Char>
ZORVI_STATUS openNamed(const Char* name, ZORVI_HANDLE* handle) {
    ThreadIoRecord* record = threadRecord();
    if (record == nullptr) return ZORVI_RESOURCE_LIMIT;
    // Only COM1 to COM9 are reserved device names; "COM10" and above are
    // files of the current folder unless named in the device namespace.
    if (isBareComName(name)) {
        std::basic_string<Char> device{'\\', '\\', '.', '\\'};
        device += name;
        return finishOpen(createPort(device.c_str()), record, handle);
    }
    return finishOpen(createPort(name), record, handle);
}

}  // namespace

uint64_t monotonicUs() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const auto ticks = static_cast<uint64_t>(now.QuadPart);
    const auto perSecond = static_cast<uint64_t>(frequency);
    return ticks / perSecond * 1000000 + ticks % perSecond * 1000000 / perSecond;
}

// Handles are kernel handles, which fit in 32 bits; the caller holds them as
// such. Zero and the values that widen to pseudo-handles (the current
// process or thread) or INVALID_HANDLE_VALUE can be no port.
bool isPort(ZORVI_HANDLE handle) { return handle != 0 && handle < 0x80000000u; }

ZORVI_STATUS openA(const char* name, ZORVI_HANDLE* handle) { return openNamed(name, handle); }

ZORVI_STATUS openW(const wchar_t* name, ZORVI_HANDLE* handle) { return openNamed(name, handle); }

ZORVI_STATUS setSpeed(ZORVI_HANDLE handle, uint32_t baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(portOf(handle), &dcb)) return ZORVI_BAUD_RATE_FAILED;
    // Only the rate changes; size, parity, stop bits and flow control stay.
    dcb.BaudRate = baud;
    if (!SetCommState(portOf(handle), &dcb)) return ZORVI_BAUD_RATE_FAILED;
    return ZORVI_SUCCESS;
}

ZORVI_STATUS write(ZORVI_HANDLE handle, const uint8_t* data, size_t length, const Deadline& deadline) {
    DWORD written = 0;
    const ZORVI_STATUS s = transfer(portOf(handle), Direction::Write, const_cast<uint8_t*>(data),
                                    static_cast<DWORD>(length), deadline, &written);
    if (s != ZORVI_SUCCESS) return s;
    return written == length ? ZORVI_SUCCESS : ZORVI_UNEXPECTED_ERROR;
}

ZORVI_STATUS readByte(ZORVI_HANDLE handle, uint8_t* byte, const Deadline& deadline) {
    const HANDLE port = portOf(handle);
    ReceiveBuffer* buffer = findBuffer(port);
    for (;;) {
        if (buffer != nullptr && buffer->begin < buffer->end) {
            *byte = buffer->bytes[buffer->begin++];
            return ZORVI_SUCCESS;
        }
        // A port without a buffer (none could be had) is read a byte at a
        // time, so that it, too, keeps what follows a frame.
        uint8_t* into = buffer != nullptr ? buffer->bytes : byte;
        DWORD got = 0;
        const ZORVI_STATUS s = transfer(port, Direction::Read, into,
                                        buffer != nullptr ? bytesWaiting(port, sizeof buffer->bytes) : 1, deadline,
                                        &got);
        if (s != ZORVI_SUCCESS) return s;
        if (buffer != nullptr) {
            buffer->begin = 0;
            buffer->end = got;
        } else if (got == 1) {
            return ZORVI_SUCCESS;
        }
        // A read that completes at once never waits on the deadline, so one
        // that completes empty is checked here.
        if (got == 0 && deadline.expired()) return ZORVI_TIMEOUT;
    }
}

ZORVI_STATUS close(ZORVI_HANDLE handle) {
    removeBuffer(portOf(handle));
    if (CloseHandle(portOf(handle))) return ZORVI_SUCCESS;
    return isInvalidHandleError(GetLastError()) ? ZORVI_INVALID_HANDLE : ZORVI_UNEXPECTED_ERROR;
}

}  // namespace zorvi::port

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    using namespace zorvi::port;
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            gHeap = GetProcessHeap();
            gSlot = TlsAlloc();
            if (gSlot == TLS_OUT_OF_INDEXES) return FALSE;
            if (createRecord() == nullptr) {
                TlsFree(gSlot);
                gSlot = TLS_OUT_OF_INDEXES;
                return FALSE;
            }
            return TRUE;
        case DLL_THREAD_ATTACH:
            // A thread without a record gets one on its first call.
            createRecord();
            return TRUE;
        case DLL_THREAD_DETACH:
            if (auto* r = static_cast<ThreadIoRecord*>(TlsGetValue(gSlot))) {
                unlinkRecord(r);
                freeRecord(r);
                TlsSetValue(gSlot, nullptr);
            }
            return TRUE;
        case DLL_PROCESS_DETACH:
            while (gRecords != nullptr) {
                ThreadIoRecord* r = gRecords;
                gRecords = r->next;
                freeRecord(r);
            }
            while (gBuffers != nullptr) removeBuffer(gBuffers->port);
            TlsFree(gSlot);
            gSlot = TLS_OUT_OF_INDEXES;
            return TRUE;
        default:
            return TRUE;
    }
}
