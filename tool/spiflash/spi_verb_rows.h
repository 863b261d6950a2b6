// The SPI flash verbs: their rows, in the order of the usage.
#pragma once

#include "base/verb_row.h"

/// The SPI flash chips behind the uC.
VerbRows spiVerbRows();
