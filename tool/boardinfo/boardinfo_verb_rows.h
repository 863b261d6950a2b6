// The board information verbs: their rows, in the order of the usage.
#pragma once

#include "base/verb_row.h"

/// The VPD record, decoded or dumped.
VerbRows vpdVerbRows();
/// The black-box records and the sensor page.
VerbRows sensorVerbRows();
/// Sensor overrides.
VerbRows sensorOverrideVerbRows();
