// The service-mode verbs: their rows, in the order of the usage.
#pragma once

#include "base/verb_row.h"

/// Switching between the normal and the service-mode firmware.
VerbRows serviceModeVerbRows();
