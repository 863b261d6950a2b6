// A verb's row: the one description of a verb. It names the verb, holds
// its lines of the usage and its text of the man page, its arguments by
// name and kind, its flags and the function that carries it out. Each
// subsystem keeps the rows of its verbs; the verb table (cli/verb_table.h)
// joins them, converts the arguments and makes the usage, the man page and
// the completion from the rows.
#pragma once

#include <cstdint>
#include <cstring>

#include "base/result_codes.h"

struct ConnectionContext;

/// How one argument word is read; each kind has its message (kArgKinds in
/// verb_table.cpp). The result code belongs to the verb's row.
enum class Arg : uint8_t {
    None,
    Word,               ///< any text (a file name, a keyword the verb reads)
    ClockIndex,
    ClockIndexByte,     ///< a clock index that must be at most 255
    Frequency,
    OverrideFrequency,
    SmbusAddress,
    I2cBus,
    I2cChip,
    I2cAddress,
    Count,
    ReadByteCount,
    SpiChip,
    SpiAddress,
    SpiReadCount,
    SpiEraseCount,
    SpiBlankCheckCount,
    ProgramAddress,
    VerifyAddress,
    Translation,        ///< signed
    StartAddress,
    ByteCount,
    BlackBoxType,       ///< both, clobber or noclobber
    BlackBoxCount,
    SensorIndex,
    OverrideValue,
    RequestedVoltage,
    MinimumVoltage,
    MaximumVoltage,
    MezzanineIndex,
    PowerState,         ///< on or off
    ResponseLength,
    DataBytes,          ///< the rest of the words, each a byte
    WriteBytes,         ///< likewise, for i2c-write-read
    RawSpiBytes,        ///< likewise, for spi-raw
    CommandBytes,       ///< likewise, for raw
};

/// One argument of a row: its name (what the handler asks the call for),
/// its kind and the code of its refusal.
struct ArgSpec {
    const char* name = nullptr;
    Arg kind = Arg::None;
    Result code = kOk;
};

constexpr uint32_t kMaxVerbArgs = 5;

/// The arguments after conversion, by word position (1 = the first word
/// after the verb); words not given keep their defaults. A signed number
/// (a translation) is kept as its 32 bits.
struct VerbArgs {
    uint32_t number[kMaxVerbArgs + 1] = {};
    const char* word[kMaxVerbArgs + 1] = {};
    const uint8_t* bytes = nullptr;  ///< a byte list, bytesCount long
    uint32_t bytesCount = 0;
};

struct VerbRow;

/// What a verb receives: the link, the options that verbs read, the words
/// as typed and, once `dispatchVerb` has converted them, its row and its
/// arguments, asked for by the names the row gives them.
struct VerbCall {
    ConnectionContext* ctx;
    bool verbose;
    bool confirm;            ///< the -confirm option (force-mez-power)
    uint32_t wordCount;      ///< positional words, the verb included ("N")
    const char* const* words;  ///< words[0] is the verb as typed
    bool skipSame = false;   ///< the +skip-same option (SPI programming)
    const VerbRow* row = nullptr;  ///< set by dispatchVerb
    VerbArgs args{};               ///< set by dispatchVerb

    /// A converted number argument; 0 when the word was not given.
    [[nodiscard]] uint32_t number(const char* name) const { return args.number[positionOf(name)]; }
    [[nodiscard]] int32_t signedNumber(const char* name) const { return static_cast<int32_t>(number(name)); }
    /// The word as typed, or null when it was not given.
    [[nodiscard]] const char* word(const char* name) const { return args.word[positionOf(name)]; }
    [[nodiscard]] bool given(const char* name) const { return word(name) != nullptr; }
    /// Whether the verb is the non-volatile twin of its pair.
    [[nodiscard]] bool nonVolatile() const;
    /// The row's byte list (its last argument).
    [[nodiscard]] const uint8_t* bytes() const { return args.bytes; }
    [[nodiscard]] uint32_t byteCount() const { return args.bytesCount; }

    /// The position of a named argument in the row (1 = first word after
    /// the verb), or 0, whose slots stay empty, for a name the row lacks.
    [[nodiscard]] uint32_t positionOf(const char* name) const;
};

/// Row flags.
enum : uint8_t {
    kNonVolatile = 1,         ///< the non-volatile twin of a verb
    kRefusesInService = 2,    ///< refused while the uC runs its service firmware
    kSwitchesService = 4,     ///< switches to service mode by itself when allowed
    kNeedsNoLink = 8,         ///< answered before any link is opened
};

using VerbHandler = Result (*)(const VerbCall& call);

/// The subsections of the man page's verb list, in their order there.
enum class VerbGroup : uint8_t {
    Identity,
    ServiceMode,
    Images,
    BoardInfo,
    Smbus,
    Clocks,
    BootAndPower,
    I2c,
    Spi,
};

struct VerbRow {
    const char* name;
    /// The verb's lines of the usage, as `-h` prints them (newline ended).
    const char* synopsis;
    /// What the verb does, for the man page.
    const char* help;
    VerbGroup group;
    /// Its place among its group's verbs on the man page (lower first),
    /// which orders them by topic where the usage keeps its own order; a new
    /// verb takes a number between its neighbours' or after the last.
    uint8_t manPlace;
    uint32_t minWords;
    /// The "must be followed by" line: printed as it stands, or, when
    /// `tooFewTyped` is set, after "*** '<verb as typed>' ".
    const char* tooFew;
    bool tooFewTyped;
    ArgSpec args[kMaxVerbArgs];
    uint8_t flags;
    VerbHandler handler;
};

inline bool VerbCall::nonVolatile() const { return row != nullptr && (row->flags & kNonVolatile) != 0; }

inline uint32_t VerbCall::positionOf(const char* name) const {
    if (row == nullptr) return 0;
    for (uint32_t i = 0; i < kMaxVerbArgs && row->args[i].kind != Arg::None; ++i)
        if (std::strcmp(row->args[i].name, name) == 0) return i + 1;
    return 0;
}

/// A run of rows, as a subsystem hands them out.
struct VerbRows {
    const VerbRow* rows;
    uint32_t count;
};

template <uint32_t N>
constexpr VerbRows verbRows(const VerbRow (&rows)[N]) {
    return {rows, N};
}

// For writing rows: the usage line of a verb and the note lines under it,
// the too-few message printed as it stands or after the verb as typed, and
// a row without arguments.
#define VERB_LINE "     "
#define VERB_NOTE "       "
#define VERB_MORE "                          "
#define VERB_MUST(text) text, false
#define VERB_MUST_TYPED(text) text, true
#define VERB_NO_ARGS nullptr, false, {}
