// What the transport half of the PCIe stand-ins' client offers the shared
// half (pcie_client_common.cpp): the open connections and the one exchange.
#pragma once

#include <cstdint>
#include <vector>

namespace zsim::pcie {

struct Connection;

/// The open connection of a handle, or nullptr.
Connection* find(uint32_t handle);
/// A monotonic clock in microseconds.
long long nowUs();
/// Sends one packet and waits for the answer with the same sequence number;
/// answers to earlier packets (late replies after a time-out) are dropped.
/// deadlineUs < 0: no limit.
uint32_t transact(Connection& c, uint8_t op, const uint8_t* payload, uint32_t length, long long deadlineUs,
                  std::vector<uint8_t>& answer);

}  // namespace zsim::pcie
