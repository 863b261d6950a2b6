// The one open link of a run and the single request/reply exchange with the
// board's microcontroller. Verbs talk to the uC through ucRequest
// (link/request.h), which is built on sendUcCommand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/no_copy.h"
#include "base/result_codes.h"

enum LinkKind : uint32_t {
    LINK_TOBRA = 1,
    LINK_SERIAL = 2,
    LINK_QUENTA = 5,
};

struct LinkBackEnd;

/// The one open link of a run: created by an opener, owned by the main
/// program, released by closeConnection.
struct ConnectionContext {
    uint32_t isOpen = 0;  ///< the library handle belongs to the context
    LinkKind kind = LINK_SERIAL;
    const char* linkName = "";  ///< "TOBRA Driver (PCIe)", "QUENTA Driver (PCIe)", "PS UART", "USB"
    uint32_t canEnterServiceMode = 0;
    uint32_t canExitServiceMode = 0;
    uint32_t autoServiceMode = 0;
    uint32_t inServiceMode = 0;
    uint32_t timeoutMicroseconds = 1000000;
    uint32_t modeSwitchDelayMs = 1000;
    /// An exchange found the line gone (hang-up, closed port): 1; 2 once a
    /// skipped hand-back step said so (see skipHandBack).
    uint32_t lineGone = 0;
    uint32_t handle = 0;
    /// The entry points of the link's library (link/back_end.h).
    const LinkBackEnd* backEnd = nullptr;
    /// The link option(s) that reach this board, as a command the program
    /// prints would give them (e.g. "-usbcom /dev/ttyACM0").
    std::string linkOption;
    /// The board's VPD serial number, once readBoardSerial read it.
    uint32_t boardSerial = 0;
    bool boardSerialKnown = false;
};

constexpr uint32_t kAppFlashPageSize = 512;
constexpr uint32_t kVpdSize = 256;
constexpr uint32_t kVpdCopyAddress = 0x1FF00;  ///< VPD copy in application flash (service mode)
constexpr uint32_t kVpdCopySize = 128;

/// Converts a library's wide status text for printing (texts are ASCII).
const char* narrowText(const wchar_t* text);

/// The single exchange. timeoutUs 0 means the context's time-out. Returns 0
/// when a reply of at least 2 bytes arrived (wrong length or code only
/// warn), 102 on a link failure, 104 for a reply shorter than 2 bytes.
/// After a stop request (Ctrl-C) nothing more is sent: the first refused
/// exchange says so, and each returns 102 (see WindDown). With
/// `failureEndsAtStatus`, a 3-byte reply whose status byte is not 0 is whole
/// too (a uC that ends a failed request's reply there).
[[nodiscard]] Result sendUcCommand(uint32_t requestLength, ConnectionContext* ctx, bool verbose, uint32_t timeoutUs,
                                   const uint8_t* request, const uint8_t expectedCode[2], uint8_t* reply,
                                   uint32_t expectedLength, uint32_t* actualLength, bool failureEndsAtStatus = false);

/// What the last failed exchange of this run met: "no_reply" (the link
/// reported a failure, most often a time-out), "line_failed" (the line went
/// away), "status" (the uC answered with a failure status), "short_reply";
/// null while none failed. The metrics name a failed scrape by it.
const char* lastExchangeFailure();
void noteExchangeFailure(const char* what);

/// While one of these lives, exchanges still go out after a stop request:
/// the steps that hand the board back as the verb found it (leaving the
/// service mode the verb entered, ending a lengthy SPI operation, clearing
/// the write enable latch).
class WindDown : NoCopy {
public:
    WindDown();
    ~WindDown();
};

/// Prints, once per run, that a stop request ended the conversation.
void reportStopRequest();

/// Whether a hand-back step (inside a WindDown) is to be skipped because an
/// earlier exchange found the line gone: a hung-up or closed line would
/// only fail each step in turn. The first skipped step of the link says so
/// in one warning line; exchanges skipped this way return 102 at once.
[[nodiscard]] bool skipHandBack(ConnectionContext* ctx);

/// Largest payload of a reply { group, command, status, payload }.
constexpr uint32_t kMaxStatusPayload = kAppFlashPageSize;
/// Longest reply the uC sends: a page of application flash read back,
/// { 0x06, 0x00, status, 512 page bytes }. Neither link sets a bound of its
/// own (the serial frame has no length field, and every link library takes
/// any reply capacity), so the bound is the protocol's: its messages are
/// built around one flash page, and no request is answered with more than
/// a page and its three header bytes. The raw verb refuses to wait for more.
constexpr uint32_t kMaxReplyLength = 3 + kMaxStatusPayload;

/// Closes the link (if open) and frees the context; null is accepted.
void closeConnection(ConnectionContext* ctx);
