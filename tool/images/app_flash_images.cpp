// Placeholder until the image verbs are built.
#include "images/app_flash_images.h"

#include "base/out.h"

Result writeAppFlashPage(uint32_t, const uint8_t*, ConnectionContext*, bool) { return kLinkFailure; }
Result writeAppFlash(const uint8_t*, ConnectionContext*, bool, uint32_t, uint32_t) { return kLinkFailure; }
Result verifyAppFlash(const uint8_t*, ConnectionContext*, bool, uint32_t, uint32_t) { return kLinkFailure; }
static Result notBuilt() {
    out("*** The image commands are not built yet.\n");
    return kUnrecognisedVerb;
}
Result updateImage(ImageKind, const char*, ConnectionContext*, bool) { return notBuilt(); }
Result verifyImage(ImageKind, const char*, ConnectionContext*, bool) { return notBuilt(); }
Result saveImage(ImageKind, const char*, ConnectionContext*, bool) { return notBuilt(); }
