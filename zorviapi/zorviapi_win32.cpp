// The seven exported entry points of zorviapi.dll: COM ports opened for
// overlapped I/O, one waitable timer bounding each exchange, and one
// overlapped-I/O record per calling thread.
//
// Per-thread records: every transfer needs an OVERLAPPED block with its own
// event, and two threads may use two ports at once, so each thread gets its
// own record. The records hang in one list so that the DLL can free them all
// when it is unloaded; the thread-local slot points each thread at its own.
// A thread that existed before the DLL was loaded gets its record on its
// first call. A call whose thread has no record and cannot get one (no
// memory, no event) reports ZORVI_RESOURCE_LIMIT.
#include <windows.h>

#include <cstdint>

#include "frame_codec.h"
#include "status_text.h"
#include "zorvi.h"

namespace {

struct ThreadIoRecord {
    OVERLAPPED overlapped;
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

// Handles are kernel handles, which fit in 32 bits; the caller holds them as
// such. Zero and the values that widen to pseudo-handles (the current
// process or thread) or INVALID_HANDLE_VALUE can be no port.
bool portOf(ZORVI_HANDLE handle, HANDLE* port) {
    if (handle == 0 || handle >= 0x80000000u) return false;
    *port = ULongToHandle(handle);
    return true;
}

bool isInvalidHandleError(DWORD error) { return error == ERROR_INVALID_HANDLE || error == kStatusInvalidHandle; }

enum class Direction { Write, Read };

// One overlapped transfer; `timer` (or null) bounds the wait.
ZORVI_STATUS transfer(HANDLE port, ThreadIoRecord* record, Direction direction, void* data, DWORD length,
                      HANDLE timer, DWORD* transferred) {
    OVERLAPPED* ov = fresh(record);
    *transferred = 0;
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
            DWORD wait;
            if (timer == nullptr) {
                wait = WaitForSingleObject(ov->hEvent, INFINITE);
            } else {
                const HANDLE handles[2] = {ov->hEvent, timer};
                wait = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            }
            if (wait == WAIT_OBJECT_0) {
                if (GetOverlappedResult(port, ov, transferred, FALSE)) return ZORVI_SUCCESS;
                error = direction == Direction::Write ? ERROR_IO_PENDING : GetLastError();
            } else {
                // The time is up (or the wait failed): cancel, and keep the
                // record only once the system has let go of it.
                timedOut = wait == WAIT_OBJECT_0 + 1;
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

bool timerFired(HANDLE timer) { return timer != nullptr && WaitForSingleObject(timer, 0) == WAIT_OBJECT_0; }

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
        DWORD events = 0;
        if (WaitCommEvent(port, &events, ov)) continue;  // bytes came at once: purge again
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
    // byte, and the exchange's timer alone bounds the wait. A port left
    // with "return at once" time-outs would otherwise make every read
    // complete empty.
    COMMTIMEOUTS timeouts{};
    SetCommTimeouts(port, &timeouts);
    *handle = HandleToULong(port);
    drainPort(port, record);
    return ZORVI_SUCCESS;
}

// The exchange's timer, closed on every path.
class ExchangeTimer {
public:
    ~ExchangeTimer() {
        if (timer_ != nullptr) CloseHandle(timer_);
    }
    ZORVI_STATUS start(uint32_t timeoutUs) {
        timer_ = CreateWaitableTimerA(nullptr, TRUE, nullptr);
        if (timer_ == nullptr) return ZORVI_RESOURCE_LIMIT;
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>(timeoutUs) * 10;  // relative, in 100 ns
        if (!SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) return ZORVI_UNEXPECTED_ERROR;
        return ZORVI_SUCCESS;
    }
    HANDLE get() const { return timer_; }

private:
    HANDLE timer_ = nullptr;
};

}  // namespace

extern "C" {

ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_OpenPortA(const char* name, ZORVI_HANDLE* handle) {
    if (name == nullptr || handle == nullptr) return ZORVI_NULL_POINTER;
    ThreadIoRecord* record = threadRecord();
    if (record == nullptr) return ZORVI_RESOURCE_LIMIT;
    HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                              nullptr);
    return finishOpen(port, record, handle);
}

ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_OpenPortW(const wchar_t* name, ZORVI_HANDLE* handle) {
    if (name == nullptr || handle == nullptr) return ZORVI_NULL_POINTER;
    ThreadIoRecord* record = threadRecord();
    if (record == nullptr) return ZORVI_RESOURCE_LIMIT;
    HANDLE port = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                              nullptr);
    return finishOpen(port, record, handle);
}

ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_SetPortBaud(ZORVI_HANDLE handle, uint32_t baud) {
    HANDLE port;
    if (!portOf(handle, &port)) return ZORVI_BAUD_RATE_FAILED;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) return ZORVI_BAUD_RATE_FAILED;
    // Only the rate changes; size, parity, stop bits and flow control stay.
    dcb.BaudRate = baud;
    if (!SetCommState(port, &dcb)) return ZORVI_BAUD_RATE_FAILED;
    return ZORVI_SUCCESS;
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
    HANDLE port;
    if (!portOf(handle, &port)) return ZORVI_INVALID_HANDLE;
    ThreadIoRecord* record = threadRecord();
    if (record == nullptr) return ZORVI_RESOURCE_LIMIT;

    // One timer bounds sending and receiving together.
    ExchangeTimer timer;
    if (timeoutUs != 0) {
        const ZORVI_STATUS s = timer.start(timeoutUs);
        if (s != ZORVI_SUCCESS) return s;
    }

    zorvi::FrameEncoder encoder(request, requestLength);
    zorvi::WritePiece piece;
    for (size_t n; (n = encoder.nextPiece(piece)) != 0;) {
        DWORD written = 0;
        const ZORVI_STATUS s =
            transfer(port, record, Direction::Write, piece.data(), static_cast<DWORD>(n), timer.get(), &written);
        if (s != ZORVI_SUCCESS) return s;
        if (written != n) return ZORVI_UNEXPECTED_ERROR;
        record = threadRecord();  // a cancelled transfer may have replaced it
        if (record == nullptr) return ZORVI_RESOURCE_LIMIT;
    }
    if (replyCapacity == 0) return ZORVI_SUCCESS;

    zorvi::FrameDecoder decoder(request[0], request[1], reply, replyCapacity);
    for (uint32_t sinceCheck = 0;;) {
        uint8_t lineByte = 0;
        DWORD got = 0;
        const ZORVI_STATUS s = transfer(port, record, Direction::Read, &lineByte, 1, timer.get(), &got);
        if (s != ZORVI_SUCCESS) return s;
        if (got == 1 && decoder.feed(lineByte)) break;
        // Reads that complete at once never wait on the timer, so a line
        // streaming noise (or a read that completes empty) is checked here.
        if ((got == 0 || ++sinceCheck % 32 == 0) && timerFired(timer.get())) return ZORVI_TIMEOUT;
    }
    *replyLength = decoder.length();
    return ZORVI_SUCCESS;
}

ZORVI_EXPORT ZORVI_STATUS ZORVI_CALL ZORVI_Close(ZORVI_HANDLE handle) {
    HANDLE port;
    if (!portOf(handle, &port)) return ZORVI_INVALID_HANDLE;
    if (CloseHandle(port)) return ZORVI_SUCCESS;
    return isInvalidHandleError(GetLastError()) ? ZORVI_INVALID_HANDLE : ZORVI_UNEXPECTED_ERROR;
}

ZORVI_EXPORT const char* ZORVI_CALL ZORVI_GetStatusStringA(ZORVI_STATUS status, uint32_t selector) {
    return zorvi::statusTextA(status, selector);
}

ZORVI_EXPORT const wchar_t* ZORVI_CALL ZORVI_GetStatusStringW(ZORVI_STATUS status, uint32_t selector) {
    return zorvi::statusTextW(status, selector);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
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
            TlsFree(gSlot);
            gSlot = TLS_OUT_OF_INDEXES;
            return TRUE;
        default:
            return TRUE;
    }
}

}  // extern "C"
