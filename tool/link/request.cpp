#include "link/request.h"

#include <cstring>

#include "base/out.h"

namespace {

/// Longest payload of a reply after its code and status.
constexpr uint32_t kMaxReplyPayload = kAppFlashPageSize;

const StatusText* findText(const UcRequest& request, uint8_t status) {
    for (const StatusText& t : request.texts)
        if (t.status == status) return &t;
    return nullptr;
}

/// Prints the line of a non-zero status; returns the verb's result.
Result reportStatus(const UcRequest& request, uint8_t status, int64_t byteIndex) {
    noteExchangeFailure("status");
    if (request.line == StatusLine::CommandName) {
        out("*** ZORVI returned status 0x%02X for %s command\n", status, request.name);
        return kLinkFailure;
    }
    const char* kind = request.line == StatusLine::ErrorText ? "error status" : "status";
    out("*** ZORVI returned %s 0x%02X", kind, status);
    if (byteIndex >= 0) out(" for byte %lld", static_cast<long long>(byteIndex));
    if (request.chipErrorsFrom != 0 && status >= request.chipErrorsFrom) {
        out(" => chip-specific error 0x%X\n", status & 0x7Fu);
        return kUnexpectedStatus;
    }
    const StatusText* t = findText(request, status);
    out(" => %s\n", t != nullptr ? t->text : kUnexpectedStatusText);
    return t != nullptr ? t->result : kUnexpectedStatus;
}

}  // namespace

Result ucRequest(ConnectionContext* ctx, bool verbose, const UcRequest& request, const RequestCall& call) {
    const uint32_t head = request.line == StatusLine::None ? 2 : 3;
    if (call.argLength > kMaxRequestArgs || call.payloadLength > kMaxReplyPayload) {
        out("*** Request 0x%02X 0x%02X is too long for one exchange.\n", request.group, request.command);
        return kLinkFailure;
    }
    uint8_t bytes[2 + kMaxRequestArgs] = {request.group, request.command};
    if (call.argLength != 0) std::memcpy(bytes + 2, call.args, call.argLength);
    const uint8_t code[2] = {request.group, static_cast<uint8_t>(request.command & 0x7F)};
    uint8_t reply[3 + kMaxReplyPayload] = {};
    uint32_t actual = 0;
    const uint32_t timeoutUs = call.timeoutUs != 0 ? call.timeoutUs : request.timeoutUs;
    Result r = sendUcCommand(2 + call.argLength, ctx, verbose, timeoutUs, bytes, code, reply,
                             head + call.payloadLength, &actual, request.failureEndsAtStatus);
    if (call.reply != nullptr) {
        call.reply->length = actual;
        call.reply->codeMatched = actual >= 2 && reply[0] == code[0] && reply[1] == code[1];
        call.reply->status = r == kOk && head == 3 ? reply[2] : 0;
    }
    if (r != kOk) return r;
    if (head == 3 && reply[2] != 0) {
        if (call.statusQuiet) return kUnexpectedStatus;
        return reportStatus(request, reply[2], call.byteIndex);
    }
    if (call.payloadLength != 0) std::memcpy(call.payload, reply + head, call.payloadLength);
    return kOk;
}

Result ucRawRequest(ConnectionContext* ctx, bool verbose, const uint8_t* request, uint32_t requestLength,
                    uint8_t* reply, uint32_t expectedLength, uint32_t* actualLength) {
    const uint8_t code[2] = {request[0], static_cast<uint8_t>(request[1] - 0x80)};
    return sendUcCommand(requestLength, ctx, verbose, 0, request, code, reply, expectedLength, actualLength);
}
