// Plain checks of an image before it is written: a VPD record that fails its
// own length or checksum, a firmware image smaller than one flash page. The
// update verbs write such images all the same (a user may mean it), but say
// so first on standard error.
#pragma once

#include <cstdint>
#include <string>

#include "images/app_flash_images.h"

/// The warning line (with its line end) for writing this image, or empty
/// when it looks right.
std::string imageWriteWarning(ImageKind kind, const uint8_t* bytes, uint32_t length);
