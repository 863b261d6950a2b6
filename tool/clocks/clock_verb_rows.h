// The clock verbs: their rows, in the order of the usage.
#pragma once

#include "base/verb_row.h"

/// The clock generators the uC drives.
VerbRows clockVerbRows();
/// An SI5338 clock chip on an I2C bus.
VerbRows si5338VerbRows();
