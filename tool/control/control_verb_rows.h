// The verbs of the control subsystem: their rows, in the order of the usage.
#pragma once

#include "base/verb_row.h"

/// The board list and the uC firmware's identity, and the link test.
VerbRows identityVerbRows();
/// The uC's SMBus address.
VerbRows smbusVerbRows();
/// The FPGA boot mode.
VerbRows bootModeVerbRows();
/// The I2C buses behind the uC.
VerbRows i2cVerbRows();
/// Requests that exercise the uC's black box and the link's time-out.
VerbRows testVerbRows();
/// Board and mezzanine power.
VerbRows powerVerbRows();
/// A request of the user's own bytes.
VerbRows rawVerbRows();
