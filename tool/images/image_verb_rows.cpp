// The application flash image verbs, each a row: its usage lines,
// its man page text, its arguments, its flags and its handler.
#include "images/image_verb_rows.h"

#include "images/app_flash_images.h"
#include "link/connection.h"

namespace {

constexpr uint8_t kSwitches = kSwitchesService;

constexpr VerbRow kImageVerbRows[] = {
    {"update-brdcfg",
     VERB_LINE "update-brdcfg <board configuration file.bin>\n",
     "Writes a board configuration image and verifies it.",
     VerbGroup::Images, 14,
     2,
     VERB_MUST("*** 'update-brdcfg' command must be followed by the board config. filename (.bin).\n"),
     {{"file", Arg::Word}},
     kSwitches,
     [](const VerbCall& c) {
         return updateImage(ImageKind::BoardConfig, c.word("file"), c.ctx, c.verbose);
     }},
    {"save-brdcfg",
     VERB_LINE "save-brdcfg <board configuration save file.bin>\n",
     "Saves the board configuration into a file.",
     VerbGroup::Images, 16,
     2,
     VERB_MUST("*** 'save-brdcfg' command must be followed by the filename (.bin) into which the board config. is to "
               "be saved.\n"),
     {{"file", Arg::Word}}, kSwitches,
     [](const VerbCall& c) {
         return saveImage(ImageKind::BoardConfig, c.word("file"), c.ctx, c.verbose);
     }},
    {"verify-brdcfg",
     VERB_LINE "verify-brdcfg <board configuration file.bin>\n",
     "Compares the board configuration with an image file.",
     VerbGroup::Images, 15,
     2,
     VERB_MUST("*** 'verify-brdcfg' command must be followed by the board config. filename (.bin).\n"),
     {{"file", Arg::Word}},
     kSwitches,
     [](const VerbCall& c) {
         return verifyImage(ImageKind::BoardConfig, c.word("file"), c.ctx, c.verbose);
     }},
    {"update-firmware",
     VERB_LINE "update-firmware <firmware file.bin>\n",
     "Writes a uC firmware image into the application flash and verifies it.",
     VerbGroup::Images, 11,
     2, VERB_MUST("*** 'update-firmware' command must be followed by the firmware filename (.bin).\n"),
     {{"file", Arg::Word}}, kSwitches,
     [](const VerbCall& c) { return updateImage(ImageKind::Firmware, c.word("file"), c.ctx, c.verbose); }},
    {"save-firmware",
     VERB_LINE "save-firmware <firmware save file.bin>\n",
     "Saves the firmware region of the application flash into a file.",
     VerbGroup::Images, 13,
     2,
     VERB_MUST("*** 'save-firmware' command must be followed by the filename (.bin) into which the firmware is to be "
               "saved.\n"),
     {{"file", Arg::Word}}, kSwitches,
     [](const VerbCall& c) { return saveImage(ImageKind::Firmware, c.word("file"), c.ctx, c.verbose); }},
    {"verify-firmware",
     VERB_LINE "verify-firmware <firmware file.bin>\n",
     "Compares the firmware in the application flash with an image file (exit code 8 when they differ).",
     VerbGroup::Images, 12,
     2, VERB_MUST("*** 'verify-firmware' command must be followed by the firmware filename (.bin).\n"),
     {{"file", Arg::Word}}, kSwitches,
     [](const VerbCall& c) { return verifyImage(ImageKind::Firmware, c.word("file"), c.ctx, c.verbose); }},
};

constexpr VerbRow kVpdImageVerbRows[] = {
    {"update-vpd",
     VERB_LINE "update-vpd <VPD file.bin>\n",
     "Writes a VPD (vital product data) image and verifies it.",
     VerbGroup::Images, 17,
     2, VERB_MUST("*** 'update-vpd' command must be followed by the VPD filename (.bin).\n"), {{"file", Arg::Word}},
     kSwitches,
     [](const VerbCall& c) { return updateImage(ImageKind::Vpd, c.word("file"), c.ctx, c.verbose); }},
    {"save-vpd",
     VERB_LINE "save-vpd <VPD save file.bin>\n",
     "Saves the VPD into a file.",
     VerbGroup::Images, 19,
     2,
     VERB_MUST("*** 'save-vpd' command must be followed by the filename (.bin) into which the VPD is to be saved.\n"),
     {{"file", Arg::Word}}, kSwitches,
     [](const VerbCall& c) { return saveImage(ImageKind::Vpd, c.word("file"), c.ctx, c.verbose); }},
    {"verify-vpd",
     VERB_LINE "verify-vpd <VPD file.bin>\n",
     "Compares the VPD with an image file.",
     VerbGroup::Images, 18,
     2, VERB_MUST("*** 'verify-vpd' command must be followed by the VPD filename (.bin).\n"), {{"file", Arg::Word}},
     kSwitches,
     [](const VerbCall& c) { return verifyImage(ImageKind::Vpd, c.word("file"), c.ctx, c.verbose); }},
};

}  // namespace

VerbRows imageVerbRows() { return verbRows(kImageVerbRows); }
VerbRows vpdImageVerbRows() { return verbRows(kVpdImageVerbRows); }
