// The requests of the sensor and black-box verbs (group 0x05).
#pragma once

#include "link/request.h"

/// Reply: one 64-byte sensor page.
inline constexpr UcRequest kRequestSensors{
    .group = 0x05, .command = 0x89, .line = StatusLine::CommandName, .name = "Request Sensors"};
/// Argument: record index. Reply: one 64-byte sensor page.
inline constexpr UcRequest kRequestBlackBoxRecord{
    .group = 0x05, .command = 0x8A, .line = StatusLine::CommandName, .name = "Request Black Box record"};
inline constexpr StatusText kOverrideSensorTexts[] = {{1, "Invalid sensor index"}};
/// Arguments: sensor index, value (32 bits), 1 to override or 0 to release.
inline constexpr UcRequest kOverrideSensor{.group = 0x05, .command = 0x81, .texts = kOverrideSensorTexts};
