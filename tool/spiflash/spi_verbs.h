// The SPI flash verbs: each checks its input, brackets its flash work with
// the uC's lengthy-operation notices, discovers the chip and runs range
// operations.
#pragma once

#include <cstdint>

#include "link/connection.h"

[[nodiscard]] Result spiCheckBlank(ConnectionContext* ctx, bool verbose, uint32_t chip, uint32_t start, uint32_t count);
[[nodiscard]] Result spiErase(ConnectionContext* ctx, bool verbose, uint32_t chip, uint32_t start, uint32_t count);
/// `skipSame`: +skip-same, only what differs is erased and programmed.
[[nodiscard]] Result spiProgramBin(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path,
                                   uint32_t address, bool skipSame = false);
[[nodiscard]] Result spiVerifyBin(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path,
                                  uint32_t address);
[[nodiscard]] Result spiSaveToBin(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path,
                                  uint32_t start, uint32_t count);
/// `confirmed`: program a file whose records have errors all the same;
/// `skipSame` as for spiProgramBin.
[[nodiscard]] Result spiProgramMcs(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path,
                                   int32_t translation, bool confirmed, bool skipSame = false);
[[nodiscard]] Result spiVerifyMcs(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path,
                                  int32_t translation);
[[nodiscard]] Result spiSaveToMcs(ConnectionContext* ctx, bool verbose, uint32_t chip, const char* path,
                                  uint32_t start, uint32_t count);
