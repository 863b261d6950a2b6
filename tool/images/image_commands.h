// The application flash requests of the image verbs (group 0x06; the page
// read lives in the link, which reads the VPD copy with it).
#pragma once

#include "link/request.h"

/// Flash area selector of the application flash requests.
constexpr uint8_t kAppFlashArea = 0x09;
/// Arguments: area, page number (16 bits), the 512 page bytes.
inline constexpr UcRequest kAppFlashWrite{
    .group = 0x06, .command = 0x82, .line = StatusLine::CommandName, .name = "Flash Application Write"};
