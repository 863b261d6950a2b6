// What every SPI verb shares: the checks before the first exchange, and the
// session that resets the chips, announces the lengthy operation, discovers
// the chip and, on every path, announces its end once.
#pragma once

#include <cstdint>
#include <memory>

#include "base/no_copy.h"
#include "link/service_refusal.h"
#include "spiflash/spi_flash.h"

bool spiChipInRange(uint32_t chip);
/// Clears the write enable latch; prints its failure.
[[nodiscard]] Result spiDisableWrites(ConnectionContext* ctx, bool verbose, uint32_t chip, const SpiFlashInfo& info);

struct SpiVerbSession : private NoCopy {
    SpiVerbSession(ConnectionContext* c, bool v, uint32_t ch) : ctx(c), verbose(v), chip(ch) {}
    ~SpiVerbSession();

    /// Hardware reset and begin notice: enough for a verb that only reads
    /// the SFDP area.
    [[nodiscard]] Result announce();
    /// announce, then discovery and 4-byte mode.
    [[nodiscard]] Result begin();
    /// The end notice, once, if the begin notice was given.
    void end();

    ConnectionContext* ctx;
    bool verbose;
    uint32_t chip;
    SpiFlashInfo info;
    bool bracketed = false;  ///< the begin notice succeeded
    bool ready = false;      ///< discovered and addressable
};

/// Writes a save verb's file (its "Saving" line first); the verb's result.
using SpiSaveWriter = Result (*)(const char* path, uint32_t start, uint32_t count, const uint8_t* data);
/// Says, as the writer would, that the file cannot be opened (errno tells
/// why); the verb's result.
using SpiSaveOpenFailure = Result (*)(const char* path, uint32_t count);
/// A save verb: checks that the file can be opened, reads the range inside
/// the session, then writes the file only when every byte could be read.
[[nodiscard]] Result spiSaveVerb(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path,
                                 uint32_t start, uint32_t count, const char* verb, SpiSaveWriter write,
                                 SpiSaveOpenFailure openFailed);
