// What the transport half of the PCIe stand-ins' client offers the shared
// half (pcie_client_common.cpp, which keeps the table of open handles):
// connecting, sending, waiting for bytes, and the table's lock. pcie_client.cpp carries the packets over a Unix socket,
// pcie_client_win32.cpp over TCP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zsim::pcie {

/// What the shared half keeps of a connection: the last sequence number
/// sent and the received bytes not yet consumed.
struct Session {
    uint32_t sequence = 0;
    std::vector<uint8_t> pending;
};

struct Connection;

/// Holds the lock of the handle table while it lives.
class TableLock {
public:
    TableLock();
    ~TableLock();
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;
};

/// Connects to the simulator: kSuccess with `*c` set, kBadDriver when it
/// cannot be reached, kNoMemory, or kUnexpectedError.
uint32_t connect(Connection** c);
/// Closes the connection and frees it.
void disconnect(Connection* c);
/// The shared half's state of a connection.
Session& sessionOf(Connection& c);
/// A monotonic clock in microseconds.
long long nowUs();
/// Writes a whole packet; false when the connection broke.
bool sendPacket(Connection& c, const uint8_t* data, size_t length);
/// Waits for bytes until the deadline (deadlineUs < 0: no limit) and appends
/// what arrived to `into`. kSuccess may come with nothing appended (an
/// interrupted wait); kTimeout once the deadline has passed; kUnexpectedError
/// when the connection broke.
uint32_t receive(Connection& c, long long deadlineUs, std::vector<uint8_t>& into);

/// Sends one packet and waits for the answer with the same sequence number;
/// answers to earlier packets (late replies after a time-out) are dropped.
/// deadlineUs < 0: no limit.
uint32_t transact(Connection& c, uint8_t op, const uint8_t* payload, uint32_t length, long long deadlineUs,
                  std::vector<uint8_t>& answer);

}  // namespace zsim::pcie
