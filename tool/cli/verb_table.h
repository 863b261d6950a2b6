// The verb table: every verb's minimum word count, the kinds of its
// arguments, its flags and the function that carries it out.
#pragma once

#include <cstdint>

#include "base/result_codes.h"
#include "link/connection.h"

/// What a verb receives from the main program.
struct VerbCall {
    ConnectionContext* ctx;
    bool verbose;
    bool confirm;            ///< the -confirm option (force-mez-power)
    uint32_t wordCount;      ///< positional words, the verb included ("N")
    const char* const* words;  ///< words[0] is the verb as typed
    bool skipSame = false;   ///< the +skip-same option (SPI programming)
};

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

/// One argument of a row: its kind and the code of its refusal.
struct ArgSpec {
    Arg kind = Arg::None;
    Result code = kOk;
};

constexpr uint32_t kMaxVerbArgs = 5;

/// The arguments after conversion, by word position (1 = the first word
/// after the verb); words not given keep their defaults.
struct VerbArgs {
    uint32_t number[kMaxVerbArgs + 1] = {};
    int32_t translation = 0;
    const char* word[kMaxVerbArgs + 1] = {};
    const uint8_t* bytes = nullptr;  ///< a byte list, bytesCount long
    uint32_t bytesCount = 0;
};

/// Row flags.
enum : uint8_t {
    kNonVolatile = 1,         ///< the non-volatile twin of a verb
    kRefusesInService = 2,    ///< refused while the uC runs its service firmware
    kSwitchesService = 4,     ///< switches to service mode by itself when allowed
    kNeedsNoLink = 8,         ///< answered before any link is opened
};

using VerbHandler = Result (*)(const VerbCall& call, const VerbArgs& args);

struct VerbRow {
    const char* name;
    uint32_t minWords;
    /// The "must be followed by" line: printed as it stands, or, when
    /// `tooFewTyped` is set, after "*** '<verb as typed>' ".
    const char* tooFew;
    bool tooFewTyped;
    ArgSpec args[kMaxVerbArgs];
    uint8_t flags;
    VerbHandler handler;
};

/// The most positional words a row takes, the verb included; UINT32_MAX
/// when its last argument is a byte list that takes the rest of the words.
uint32_t maxWords(const VerbRow& row);

/// The table in dispatch order.
const VerbRow* verbTable(uint32_t* count);

/// The row of a verb word (without regard to case), or null.
const VerbRow* findVerb(const char* word);

/// Looks the verb up without regard to case, converts its arguments and
/// runs it; prints the unrecognised-command message when nothing matches.
[[nodiscard]] Result dispatchVerb(const VerbCall& call);
