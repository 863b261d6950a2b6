// The one open link of a run and the single request/reply exchange with the
// board's microcontroller. Verbs talk to the uC through ucRequest
// (link/request.h), which is built on sendUcCommand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/result_codes.h"

enum LinkKind : uint32_t {
    LINK_TOBRA = 1,
    LINK_SERIAL = 2,
    LINK_QUENTA = 5,
};

/// A bound entry point of a link library; cast to its real type by slot.
using ApiEntry = void (*)();

/// Slot 1 of every binding: one exchange (ZORVI_Command, TOBRA_CommandZORVI,
/// QUENTA_CommandUC all share this shape).
using CommandEntry = uint32_t (*)(uint32_t handle, uint32_t flags, uint32_t timeoutUs, uint32_t requestLength,
                                  const uint8_t* request, uint32_t replyCapacity, uint8_t* reply,
                                  uint32_t* replyLength);
/// Slot 0 of every binding: close.
using CloseEntry = uint32_t (*)(uint32_t handle);
/// The status-text entry (slot 2; slot 3 for the PCIe bridge library).
using StatusTextEntry = const wchar_t* (*)(uint32_t status, uint32_t selector);

constexpr int kApiSlots = 6;

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
    ApiEntry api[kApiSlots] = {};
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
/// exchange says so, and each returns 102 (see WindDown).
[[nodiscard]] Result sendUcCommand(uint32_t requestLength, ConnectionContext* ctx, bool verbose, uint32_t timeoutUs,
                                   const uint8_t* request, const uint8_t expectedCode[2], uint8_t* reply,
                                   uint32_t expectedLength, uint32_t* actualLength);

/// While one of these lives, exchanges still go out after a stop request:
/// the steps that hand the board back as the verb found it (leaving the
/// service mode the verb entered, ending a lengthy SPI operation, clearing
/// the write enable latch).
class WindDown {
public:
    WindDown();
    ~WindDown();
    WindDown(const WindDown&) = delete;
    WindDown& operator=(const WindDown&) = delete;
};

/// Prints, once per run, that a stop request ended the conversation.
void reportStopRequest();

/// Whether a hand-back step (inside a WindDown) is to be skipped because an
/// earlier exchange found the line gone: a hung-up or closed line would
/// only fail each step in turn. The first skipped step of the link says so
/// in one warning line; exchanges skipped this way return 102 at once.
[[nodiscard]] bool skipHandBack(ConnectionContext* ctx);

/// Reads the firmware product ID; prints it unless silent.
[[nodiscard]] Result readProductId(ConnectionContext* ctx, uint32_t* productId, bool verbose, bool silent);
/// Reads the 256-byte VPD record.
[[nodiscard]] Result requestVpd(ConnectionContext* ctx, uint8_t* vpd, bool verbose);
/// The board's serial number from its VPD, read once per run.
[[nodiscard]] Result readBoardSerial(ConnectionContext* ctx, bool verbose, uint32_t* serial);
/// Reads one 512-byte page of application flash (pageAddress is a byte address).
[[nodiscard]] Result readAppFlashPage(uint32_t pageAddress, uint8_t* page, ConnectionContext* ctx, bool verbose);
/// Reads any byte range of application flash, page by page.
[[nodiscard]] Result readAppFlash(uint8_t* destination, ConnectionContext* ctx, bool verbose, uint32_t start,
                                  uint32_t count);
/// Reads one page like readAppFlashPage, but only accepts a complete reply
/// (515 bytes with the right reply code): the page bytes are written back to
/// flash or saved to a file, so bytes the uC never sent must not stand in
/// for flash contents. 102 for an incomplete reply.
[[nodiscard]] Result readAppFlashPageExact(uint32_t pageAddress, uint8_t* page, ConnectionContext* ctx, bool verbose);
/// readAppFlash on top of readAppFlashPageExact.
[[nodiscard]] Result readAppFlashExact(uint8_t* destination, ConnectionContext* ctx, bool verbose, uint32_t start,
                                       uint32_t count);

/// Largest payload of a reply { group, command, status, payload }.
constexpr uint32_t kMaxStatusPayload = kAppFlashPageSize;
/// Longest reply the uC sends: a page of application flash read back,
/// { 0x06, 0x00, status, 512 page bytes }. Neither link sets a bound of its
/// own (the serial frame has no length field, and every link library takes
/// any reply capacity), so the bound is the protocol's: its messages are
/// built around one flash page, and no request is answered with more than
/// a page and its three header bytes. The raw verb refuses to wait for more.
constexpr uint32_t kMaxReplyLength = 3 + kMaxStatusPayload;
/// One exchange whose reply is { group, command, status, payload }, the
/// reply code being the request's first two bytes with bit 7 of the second
/// cleared. The reply is cleared first. A non-zero status prints "*** ZORVI
/// returned status 0x%02X for <commandName> command" and gives 102, copying
/// nothing; otherwise payloadLength bytes (at most kMaxStatusPayload) are
/// copied. `reply`, when given, tells how complete the reply was.
struct ReplyInfo {
    uint32_t length = 0;       ///< the reply's reported length
    bool codeMatched = false;  ///< its first two bytes were the expected code
    uint8_t status = 0;        ///< its status byte (set by ucRequest; 0 without one or after a link failure)
};
[[nodiscard]] Result requestWithStatus(ConnectionContext* ctx, bool verbose, const uint8_t* request,
                                       uint32_t requestLength, const char* commandName, uint8_t* payload,
                                       uint32_t payloadLength, ReplyInfo* reply = nullptr);

/// Firmware product IDs.
bool isServiceProductId(uint32_t id);
bool isNormalProductId(uint32_t id);

/// Reads the product ID and sets inServiceMode; 14 for an unknown ID.
[[nodiscard]] Result checkProductId(ConnectionContext* ctx, bool verbose);

/// Openers: on success *out owns a new context.
[[nodiscard]] Result openTobraCard(uint32_t index, uint32_t serialNumber, bool serialGiven, bool verbose,
                                   ConnectionContext** out);
[[nodiscard]] Result openQuentaDevice(uint32_t index, bool verbose, ConnectionContext** out);
[[nodiscard]] Result openPsUart(const char* connection, bool verbose, ConnectionContext** out);
[[nodiscard]] Result openUsbCom(const char* port, bool verbose, ConnectionContext** out);

/// Closes the link (if open) and frees the context; null is accepted.
void closeConnection(ConnectionContext* ctx);

/// Library binding (file names as loaded).
extern const char* const kZorviApiLibrary;   // "libzorviapi.so", "zorviapi.dll"
extern const char* const kTobraLibrary;      // "libtobra.so", "tobra.dll"
extern const char* const kQuentaLibrary;     // "libquenta.so", "quenta.dll"
[[nodiscard]] Result bindZorviApi(ApiEntry api[kApiSlots]);
[[nodiscard]] Result bindQuentaApi(ApiEntry api[kApiSlots]);
[[nodiscard]] Result bindTobraApi(ApiEntry api[kApiSlots]);

/// A PS UART connection string split into port and baud-rate text.
struct PsUartSpec {
    std::string port;
    std::string baudText;
    bool hasBaud = false;
    bool bad = false;     ///< no element, or an empty one
    std::string extra;    ///< the rest of the string from a third element on
};
PsUartSpec splitPsUartString(const char* connection);

/// A UTF-8 port name as the wide text ZORVI_OpenPortW takes.
std::wstring widenPortName(const char* name);
