// The half of the PCIe stand-ins' client that does not depend on the
// transport: the table of open handles, argument checks, the packet
// exchange (transact) and the exchanges built on it, and the status texts. pcie_client.cpp (Unix socket) and pcie_client_win32.cpp
// (TCP) supply the connections.
#include <cstring>
#include <map>
#include <vector>

#include "pcie/pcie_client.h"
#include "pcie/pcie_protocol.h"
#include "pcie/pcie_transport.h"

namespace zsim::pcie {

namespace {

std::map<uint32_t, Connection*> gHandles;
uint32_t gNextHandle = 1;

// The open connection of a handle, or nullptr.
Connection* find(uint32_t handle) {
    TableLock guard;
    auto it = gHandles.find(handle);
    return it == gHandles.end() ? nullptr : it->second;
}

}  // namespace

const wchar_t* statusText(const StatusTexts& names, uint32_t status, uint32_t selector) {
    struct Row {
        uint32_t code;
        const wchar_t* name;
        const wchar_t* text;
    };
    const Row rows[] = {
        {kSuccess, names.success, L"No error"},
        {kUnexpectedError, names.unexpectedError, L"An unexpected error caused the operation to fail"},
        {kBadDriver, names.badDriver, L"The driver may not be correctly installed (simulator not running?)"},
        {kNoMemory, names.noMemory, L"Couldn't allocate memory required to complete operation"},
        {kDeviceNotFound, names.deviceNotFound, L"Failed to open the device with the specified index"},
        {kInvalidHandle, names.invalidHandle, L"The device handle was invalid"},
        {kNullPointer, names.nullPointer, L"A NULL pointer was passed where non-NULL was required"},
        {kTimeout, names.timeout, L"The operation did not complete within the timeout period"},
        {kShortCommand, names.shortCommand, L"The length of the command was less than 2 bytes"},
    };
    for (const Row& r : rows)
        if (r.code == status) return selector == 0 ? r.text : r.name;
    return selector == 0 ? L"Unrecognized status code" : names.unknown;
}

uint32_t transact(Connection& c, uint8_t op, const uint8_t* payload, uint32_t length, long long deadlineUs,
                  std::vector<uint8_t>& answer) {
    Session& session = sessionOf(c);
    const uint32_t seq = ++session.sequence;
    std::vector<uint8_t> packet(kRequestHeader + length);
    packet[0] = op;
    put32(&packet[1], seq);
    put32(&packet[5], length);
    if (length != 0) std::memcpy(&packet[kRequestHeader], payload, length);
    if (!sendPacket(c, packet.data(), packet.size())) return kUnexpectedError;
    std::vector<uint8_t>& pending = session.pending;
    for (;;) {
        while (pending.size() >= kReplyHeader) {
            const uint32_t got = get32(&pending[0]);
            const uint32_t size = get32(&pending[4]);
            if (size > kMaxPayload) return kUnexpectedError;
            if (pending.size() < kReplyHeader + size) break;
            auto begin = pending.begin() + kReplyHeader;
            if (got == seq) answer.assign(begin, begin + size);
            pending.erase(pending.begin(), begin + size);
            if (got == seq) return kSuccess;
        }
        const uint32_t status = receive(c, deadlineUs, pending);
        if (status != kSuccess) return status;
    }
}
uint32_t openDevice(uint32_t index, uint32_t* handle) {
    if (handle == nullptr) return kNullPointer;
    // The simulator plays one card, index 0.
    if (index != 0) return kDeviceNotFound;
    Connection* c = nullptr;
    const uint32_t status = connect(&c);
    if (status != kSuccess) return status;
    TableLock guard;
    *handle = gNextHandle++;
    gHandles[*handle] = c;
    return kSuccess;
}

uint32_t closeDevice(uint32_t handle) {
    Connection* c = nullptr;
    {
        TableLock guard;
        auto it = gHandles.find(handle);
        if (it == gHandles.end()) return kInvalidHandle;
        c = it->second;
        gHandles.erase(it);
    }
    disconnect(c);
    return kSuccess;
}

uint32_t uniqueId(uint32_t handle, uint32_t words[2]) {
    if (words == nullptr) return kNullPointer;
    Connection* c = find(handle);
    if (c == nullptr) return kInvalidHandle;
    std::vector<uint8_t> answer;
    uint32_t status = transact(*c, kOpUniqueId, nullptr, 0, nowUs() + 5000000, answer);
    if (status != kSuccess) return status;
    if (answer.size() != 8) return kUnexpectedError;
    words[0] = get32(&answer[0]);
    words[1] = get32(&answer[4]);
    return kSuccess;
}

uint32_t command(uint32_t handle, uint32_t timeoutUs, uint32_t requestLength, const uint8_t* request,
                 uint32_t replyCapacity, uint8_t* reply, uint32_t* replyLength) {
    if (requestLength > 0 && request == nullptr) return kNullPointer;
    if (requestLength < 2) return kShortCommand;
    if ((replyCapacity > 0 && reply == nullptr) || replyLength == nullptr) return kNullPointer;
    if (requestLength > kMaxPayload) return kUnexpectedError;
    Connection* c = find(handle);
    if (c == nullptr) return kInvalidHandle;
    // One time-out bounds the whole exchange; 0 means no limit.
    const long long deadline = timeoutUs == 0 ? -1 : nowUs() + static_cast<long long>(timeoutUs);
    std::vector<uint8_t> answer;
    uint32_t status = transact(*c, kOpCommand, request, requestLength, deadline, answer);
    if (status != kSuccess) return status;
    // The reply is stored up to the capacity; the actual length is reported.
    const size_t stored = answer.size() < replyCapacity ? answer.size() : replyCapacity;
    if (stored != 0) std::memcpy(reply, answer.data(), stored);
    *replyLength = static_cast<uint32_t>(answer.size());
    return kSuccess;
}

uint32_t deviceStatus(uint32_t handle, uint32_t* status) {
    if (status == nullptr) return kNullPointer;
    if (find(handle) == nullptr) return kInvalidHandle;
    *status = 0;
    return kSuccess;
}

}  // namespace zsim::pcie
