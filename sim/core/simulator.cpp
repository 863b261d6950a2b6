#include "core/simulator.h"

#include <algorithm>

#include "devices/spi_master.h"

namespace zsim {

std::vector<uint8_t> Outgoing::lineBytes() const {
    std::vector<uint8_t> line = linePrefix;
    std::vector<uint8_t> frame = encodeFrame(message);
    line.insert(line.end(), frame.begin(), frame.end());
    return line;
}

Simulator::Simulator(const SimOptions& options) : options_(options), board_(options) {}

bool Simulator::hits(const FaultSpec& fault, const std::vector<uint8_t>& request) const {
    switch (fault.when.kind) {
        case FaultWhen::All: return true;
        case FaultWhen::Nth: return fault.when.n == count_;
        case FaultWhen::FromNth: return count_ >= fault.when.n;
        case FaultWhen::Command:
            return request.size() >= 2 && request[0] == fault.when.group && request[1] == fault.when.command;
        case FaultWhen::NthSpi: return isSpiRequest(request) && fault.when.n == spiCount_;
    }
    return false;
}

bool Simulator::isSpiRequest(const std::vector<uint8_t>& request) const {
    return dynamic_cast<const SpiMaster*>(board_.claimant(request)) != nullptr;
}

Outgoing Simulator::handle(const std::vector<uint8_t>& request) {
    ++count_;
    if (isSpiRequest(request)) ++spiCount_;
    Outgoing out;
    // The board acts on every request, faults or not: a reply lost on the
    // way back does not undo what the uC did.
    std::optional<std::vector<uint8_t>> reply = board_.respond(request);
    for (const FaultSpec& fault : options_.faults)
        if (fault.kind == FaultKind::HangUp && hits(fault, request)) out.hangUp = true;
    if (out.hangUp || !reply) return out;
    out.reply = true;
    out.message = std::move(*reply);
    for (const FaultSpec& fault : options_.faults) {
        if (!hits(fault, request)) continue;
        switch (fault.kind) {
            case FaultKind::NoReply: out.reply = false; break;
            case FaultKind::HangUp: break;  // taken above
            case FaultKind::LateReply: out.delayMs = fault.param; break;
            case FaultKind::ShortReply: out.message.resize(1); break;
            case FaultKind::WrongCode:
                if (out.message.size() >= 2) out.message[1] = static_cast<uint8_t>(out.message[1] + 1);
                break;
            case FaultKind::Status:
                if (out.message.size() < 3) out.message.resize(3, 0);
                out.message[2] = static_cast<uint8_t>(fault.param);
                break;
            case FaultKind::Noise:
                // Noise never holds a start byte (that would be a frame), but
                // does hold end and escape bytes, which outside a frame must
                // be ignored as well.
                for (uint32_t i = 0; i < fault.param; ++i) {
                    static const uint8_t pattern[] = {0x55, 0xAA, 0x04, 0x10, 0xFF, 0x00, 0x7E, 0x86};
                    out.linePrefix.push_back(pattern[i % sizeof pattern]);
                }
                break;
            case FaultKind::Oversize:
                for (uint32_t i = 0; i < fault.param; ++i) out.message.push_back(static_cast<uint8_t>(0xA0 + i));
                break;
            case FaultKind::Restart: {
                // The beginning of a frame that never ends: the reply code
                // and a few bytes, then the real frame starts with 0x01.
                std::vector<uint8_t> half(out.message.begin(),
                                          out.message.begin() + static_cast<long>(std::min<size_t>(2, out.message.size())));
                half.push_back(0xEE);
                half.push_back(0xDD);
                std::vector<uint8_t> frame = encodeFrame(half);
                frame.pop_back();  // no end byte
                out.linePrefix.insert(out.linePrefix.end(), frame.begin(), frame.end());
                break;
            }
        }
    }
    return out;
}

std::vector<Outgoing> Simulator::feedLine(const uint8_t* data, size_t length,
                                          std::vector<std::vector<uint8_t>>* requests) {
    std::vector<std::vector<uint8_t>> messages;
    decoder_.feed(data, length, messages);
    std::vector<Outgoing> outs;
    for (auto& m : messages) {
        outs.push_back(handle(m));
        if (requests != nullptr) requests->push_back(std::move(m));
    }
    return outs;
}

}  // namespace zsim
