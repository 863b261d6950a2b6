// The four ways to open the link: a TOBRA card, a QUENTA device, the board
// processor's UART and the USB virtual COM port. Each binds its library,
// opens, and identifies the firmware before it hands the context over.
#pragma once

#include <cstdint>
#include <string>

#include "link/connection.h"

/// Openers: on success *out owns a new context.
[[nodiscard]] Result openTobraCard(uint32_t index, uint32_t serialNumber, bool serialGiven, bool verbose,
                                   ConnectionContext** out);
[[nodiscard]] Result openQuentaDevice(uint32_t index, bool verbose, ConnectionContext** out);
[[nodiscard]] Result openPsUart(const char* connection, bool verbose, ConnectionContext** out);
[[nodiscard]] Result openUsbCom(const char* port, bool verbose, ConnectionContext** out);

/// How long a serial open waits for a port another program holds (the
/// -wait-busy option), trying again every quarter second; 0, the default,
/// fails at once.
void setBusyPortWait(uint32_t seconds);

/// Why the last serial link of this run failed to open or to answer as a
/// board ("port_busy", "port_access_denied", "port_not_found",
/// "no_board_reply"), or null when none did.
const char* linkFailureReason();
/// Forgets it, before another board is opened.
void resetLinkFailureReason();

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
