// The one way a verb asks the uC something. Each request is described once,
// in its subsystem's command header: its two bytes, how its reply reports a
// status and the texts of the statuses it knows. ucRequest builds the request
// from that description and the call's argument bytes, derives the reply code
// (the request's bytes with bit 7 of the second cleared), sizes the reply and
// prints the status line of a non-zero status.
//
// Adding a request: one UcRequest (and its StatusText table) in the
// subsystem's *_commands.h, then ucRequest in the verb.
#pragma once

#include <cstdint>
#include <span>

#include "link/connection.h"

/// The text of every status a request's table does not name.
inline constexpr const char* kUnexpectedStatusText = "** UNEXPECTED ERROR CODE **";

/// One non-zero status a request answers with, and what it means.
struct StatusText {
    uint8_t status;
    const char* text;
    Result result = kUnexpectedStatus;
};

/// How a request's reply reports a status.
enum class StatusLine : uint8_t {
    None,         ///< no status byte: the payload follows the reply code
    Text,         ///< "*** ZORVI returned status 0x%02X => <text>"
    ErrorText,    ///< "*** ZORVI returned error status 0x%02X => <text>"
    CommandName,  ///< "*** ZORVI returned status 0x%02X for <name> command", always 102
};

/// A request as the uC knows it.
struct UcRequest {
    uint8_t group;
    uint8_t command;  ///< bit 7 set; the reply's code has it cleared
    StatusLine line = StatusLine::Text;
    const char* name = nullptr;          ///< names the request in a CommandName line
    std::span<const StatusText> texts = {};  ///< statuses with texts of their own
    uint8_t chipErrorsFrom = 0;          ///< non-zero: statuses from here up are the chip's own
                                         ///< ("chip-specific error 0x%X", the low 7 bits)
    uint32_t timeoutUs = 0;              ///< 0: the link's time-out
    bool failureEndsAtStatus = false;    ///< a failed request's reply may end after its status byte
};

/// How complete a reply was.
struct ReplyInfo {
    uint32_t length = 0;       ///< the reply's reported length
    bool codeMatched = false;  ///< its first two bytes were the expected code
    uint8_t status = 0;        ///< its status byte (0 without one or after a link failure)
};

/// The bytes of one call.
struct RequestCall {
    const uint8_t* args = nullptr;  ///< the bytes after the two command bytes
    uint32_t argLength = 0;
    uint8_t* payload = nullptr;     ///< receives the reply's bytes after its code and status
    uint32_t payloadLength = 0;
    ReplyInfo* reply = nullptr;     ///< tells how complete the reply was
    int64_t byteIndex = -1;         ///< >= 0: the status line names the byte ("for byte N")
    uint32_t timeoutUs = 0;         ///< non-zero: overrides the request's time-out
    bool statusQuiet = false;       ///< a non-zero status gives 103 without its line: the caller tells
                                    ///< what it means (`reply` has the status)
};

/// Longest argument part of a request (an application flash page write).
constexpr uint32_t kMaxRequestArgs = 3 + kAppFlashPageSize;

/// One exchange of `request`. The reply is cleared first, and the payload is
/// copied only when the status is 0 (or the reply has none): a short reply
/// gives zeros for the bytes that never came. A link failure returns the
/// exchange's result; a non-zero status prints its line and returns the
/// table's result (103 for a status the table does not name, 102 for a
/// CommandName request).
[[nodiscard]] Result ucRequest(ConnectionContext* ctx, bool verbose, const UcRequest& request,
                               const RequestCall& call = {});

/// The raw verb's exchange: the request as typed, the reply code taken as
/// its second byte minus 0x80, `expectedLength` bytes into `reply`.
[[nodiscard]] Result ucRawRequest(ConnectionContext* ctx, bool verbose, const uint8_t* request, uint32_t requestLength,
                                  uint8_t* reply, uint32_t expectedLength, uint32_t* actualLength);
