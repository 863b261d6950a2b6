// The application flash image verbs: their rows, in the order of the usage.
#pragma once

#include "base/verb_row.h"

/// The firmware and board configuration images of the application flash.
VerbRows imageVerbRows();
/// The VPD image of the application flash.
VerbRows vpdImageVerbRows();
