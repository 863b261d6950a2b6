// The faults zorvisim plays on chosen requests, and their command-line
// grammar: KIND@WHEN[=PARAM]. Each kind is one row of faultKinds() (name,
// parameter, default, help text, shorthand option), from which both the
// parser and the --help lines are made.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zsim {

/// Line- and message-level misbehaviour, applied to chosen requests.
enum class FaultKind {
    NoReply,    ///< the request is never answered
    LateReply,  ///< answered after `param` milliseconds
    ShortReply, ///< only the first reply byte
    WrongCode,  ///< reply byte 1 plus one (0x03 0x06 becomes 0x03 0x07)
    Status,     ///< reply byte 2 replaced by `param`
    Noise,      ///< `param` bytes of line noise (no 0x01) before the frame
    Oversize,   ///< `param` extra bytes after the reply
    Restart,    ///< a bogus half frame, then the real frame from its own 0x01
    HangUp,     ///< the board acts, then the line drops: the pty closes, a PCIe client is cut off
};

/// Which requests a fault hits: the Nth request received (1-based), every
/// request, every request with the given group and command bytes, or the
/// Nth SPI request (0x05 0x90 and 0x05 0x91 counted together, 1-based), or
/// every request from the Nth on.
struct FaultWhen {
    enum Kind { Nth, All, Command, NthSpi, FromNth } kind = Nth;
    uint32_t n = 0;
    uint8_t group = 0;
    uint8_t command = 0;
};

struct FaultSpec {
    FaultKind kind = FaultKind::NoReply;
    FaultWhen when;
    uint32_t param = 0;
};

/// One fault kind as the command line names it.
struct FaultKindRow {
    const char* name;       ///< KIND of --fault KIND@WHEN
    FaultKind kind;
    const char* param;      ///< the PARAM's name in the help ("MS"), null: the kind takes none
    bool paramRequired;     ///< no default: --fault status@1 is refused
    uint32_t defaultParam;  ///< without =PARAM (when not required)
    uint32_t paramLimit;    ///< the largest PARAM taken
    const char* help;       ///< lines of help text, without the default
    const char* shorthand;  ///< the option that is --fault KIND@..., as --help shows it; null: none
};

/// Every fault kind, in the order --help lists them.
std::span<const FaultKindRow> faultKinds();

/// Decimal, or hexadecimal after "0x"/"0X"; the whole word must convert and
/// be at most `limit`. The option rows read their numbers this way too.
bool parseNumber(const std::string& text, uint64_t limit, uint32_t& value);
/// Hexadecimal with or without "0x", at most 8 digits.
bool parseHex(const std::string& text, uint32_t& value);

/// KIND@WHEN[=PARAM] (or KIND=PARAM@WHEN); false with `error` set.
bool parseFault(const std::string& text, FaultSpec& fault, std::string& error);

}  // namespace zsim
