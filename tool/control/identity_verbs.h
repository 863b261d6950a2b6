// Verbs that identify the uC firmware and exercise the link.
#pragma once

#include <string>

#include "link/connection.h"

/// Reads the firmware's name and version ("ZORVI Keeper2", "4.26.0.7") without printing them.
[[nodiscard]] Result readFirmwareVersion(ConnectionContext* ctx, bool verbose, std::string* name, std::string* version);
/// Verb version.
[[nodiscard]] Result showVersion(ConnectionContext* ctx, bool verbose);
/// Verb product-id.
[[nodiscard]] Result showProductId(ConnectionContext* ctx, bool verbose);
/// Verb comm-test: a two-second Loopback32 data-rate measurement.
[[nodiscard]] Result runCommTest(ConnectionContext* ctx, bool verbose);
/// Verb raw: sends the user's bytes and dumps expectedLength reply bytes.
[[nodiscard]] Result sendRaw(const uint8_t* request, uint32_t expectedLength, ConnectionContext* ctx, bool verbose,
                             uint32_t requestLength);
/// Verb test-clobber.
[[nodiscard]] Result testClobber(ConnectionContext* ctx, bool verbose);
/// Verb test-timeout: succeeds when the uC does not answer.
[[nodiscard]] Result testTimeout(ConnectionContext* ctx, bool verbose);
