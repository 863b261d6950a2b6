// The link's own requests: the identity reads every opener makes, the
// switch between the normal and the service-mode firmware, and the page
// read of application flash (which reads the VPD copy in service mode).
#pragma once

#include "link/request.h"

/// Reply: { 0x03, 0x06, product ID (32 bits) }.
inline constexpr UcRequest kProductIdRequest{.group = 0x03, .command = 0x86, .line = StatusLine::None};
/// Reply: { 0x05, 0x0C, status, the 256-byte VPD record }.
inline constexpr UcRequest kVpdRequest{
    .group = 0x05, .command = 0x8C, .line = StatusLine::CommandName, .name = "Request VPD"};
/// Arguments: area (kAppFlashArea of image_commands.h), page number (16 bits).
inline constexpr UcRequest kAppFlashRead{
    .group = 0x06, .command = 0x80, .line = StatusLine::CommandName, .name = "Flash Application Read"};
/// The uC answers at once and starts the other firmware a moment later.
inline constexpr UcRequest kEnterServiceModeRequest{
    .group = 0x03, .command = 0x80, .line = StatusLine::CommandName, .name = "Enter Service Mode"};
inline constexpr UcRequest kExitServiceModeRequest{
    .group = 0x03, .command = 0x82, .line = StatusLine::CommandName, .name = "Exit Service Mode"};
