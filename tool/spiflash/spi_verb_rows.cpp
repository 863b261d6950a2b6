// The SPI flash verbs, each a row: its usage lines,
// its man page text, its arguments, its flags and its handler.
#include "spiflash/spi_verb_rows.h"

#include "link/connection.h"
#include "spiflash/sfdp.h"
#include "spiflash/spi_flash.h"
#include "spiflash/spi_verbs.h"

namespace {


constexpr VerbRow kSpiVerbRows[] = {
    {"spi-raw",
     VERB_LINE "spi-raw <chip index> <read count> <write data byte> ...\n",
     "Sends bytes on the SPI bus of a chip and reads the given number of bytes back.",
     VerbGroup::Spi, 57,
     3,
     VERB_MUST("*** 'spi-raw' command must be followed by (1) the SPI chip index, (2) number of bytes to read, (3) "
               "zero or more bytes to write\n"),
     {{"chip", Arg::SpiChip, kBadSpiChipIndex}, {"read count", Arg::SpiReadCount, kBadSpiReadCount},
      {"bytes", Arg::RawSpiBytes, kBadSpiRawByte}}, kRefusesInService,
     [](const VerbCall& c) {
         return spiRaw(c.ctx, c.verbose, c.number("chip"), c.number("read count"), c.byteCount(), c.bytes());
     }},
    {"spi-info",
     VERB_LINE "spi-info <chip index>\n",
     "Discovers an SPI flash chip (SFDP) and reports its size, erase sizes and features. Chip 0 is the first chip the "
     "uC reaches.",
     VerbGroup::Spi, 56,
     2, VERB_MUST("*** 'spi-info' command must be followed by (1) the SPI chip index.\n"),
     {{"chip", Arg::SpiChip, kBadSpiChipIndex}}, kRefusesInService,
     [](const VerbCall& c) { return spiInfo(c.ctx, c.verbose, c.number("chip")); }},
    {"spi-check-blank",
     VERB_LINE "spi-check-blank <chip index> <address> <count>\n",
     "Checks that a range of the chip is erased (exit code 8 when not).",
     VerbGroup::Spi, 58,
     4,
     VERB_MUST("*** 'spi-check-blank' command must be followed by (1) the SPI chip index, (2) starting address, (3) "
               "number of bytes to erase\n"),
     {{"chip", Arg::SpiChip, kBadSpiChipIndex}, {"address", Arg::SpiAddress, kBadSpiAddress},
      {"count", Arg::SpiBlankCheckCount, kBadSpiCount}},
     kRefusesInService,
     [](const VerbCall& c) {
         return spiCheckBlank(c.ctx, c.verbose, c.number("chip"), c.number("address"), c.number("count"));
     }},
    {"spi-erase",
     VERB_LINE "spi-erase <chip index> <address> <count>\n",
     "Erases a range of the chip.",
     VerbGroup::Spi, 59,
     4,
     VERB_MUST("*** 'spi-erase' command must be followed by (1) the SPI chip index, (2) starting address, (3) number "
               "of bytes to erase\n"),
     {{"chip", Arg::SpiChip, kBadSpiChipIndex}, {"address", Arg::SpiAddress, kBadSpiAddress},
      {"count", Arg::SpiEraseCount, kBadSpiCount}}, kRefusesInService,
     [](const VerbCall& c) {
         return spiErase(c.ctx, c.verbose, c.number("chip"), c.number("address"), c.number("count"));
     }},
    {"spi-program-bin",
     VERB_LINE "spi-program-bin <chip index> <filename.bin> <address>\n",
     "Programs a binary file into the chip at an address (erasing as needed) and verifies it.",
     VerbGroup::Spi, 60,
     4,
     VERB_MUST("*** 'spi-program-bin' command must be followed by (1) the SPI chip index, (2) the filename of a binary "
               "file, (3) the address within the SPI flash chip.\n"),
     {{"chip", Arg::SpiChip, kBadSpiChipIndex}, {"file", Arg::Word},
      {"address", Arg::ProgramAddress, kBadSpiProgramArgument}}, kRefusesInService,
     [](const VerbCall& c) {
         return spiProgramBin(c.ctx, c.verbose, c.number("chip"), c.word("file"), c.number("address"), c.skipSame);
     }},
    {"spi-program-mcs",
     VERB_LINE "spi-program-mcs <chip index> <filename.mcs> [translation]\n",
     "Programs an Intel Hex (.mcs) file into the chip, its addresses moved by the optional translation.",
     VerbGroup::Spi, 61,
     3,
     VERB_MUST("*** 'spi-program-mcs' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
               "Hex (.mcs) file.\n"),
     {{"chip", Arg::SpiChip, kBadSpiChipIndex}, {"file", Arg::Word},
      {"translation", Arg::Translation, kBadSpiProgramArgument}}, kRefusesInService,
     [](const VerbCall& c) {
         return spiProgramMcs(c.ctx, c.verbose, c.number("chip"), c.word("file"), c.signedNumber("translation"),
                              c.confirm, c.skipSame);
     }},
    {"spi-verify-bin",
     VERB_LINE "spi-verify-bin <chip index> <filename.mcs> <address>\n",
     "Compares the chip at an address with a binary file (exit code 8 when they differ).",
     VerbGroup::Spi, 62,
     4,
     VERB_MUST("*** 'spi-verify-bin' command must be followed by (1) the SPI chip index, (2) the filename of a binary "
               "file, (3) the address within the SPI flash chip.\n"),
     {{"chip", Arg::SpiChip, kBadSpiChipIndex}, {"file", Arg::Word},
      {"address", Arg::VerifyAddress, kBadSpiProgramArgument}}, kRefusesInService,
     [](const VerbCall& c) {
         return spiVerifyBin(c.ctx, c.verbose, c.number("chip"), c.word("file"), c.number("address"));
     }},
    {"spi-verify-mcs",
     VERB_LINE "spi-verify-mcs <chip index> <filename.mcs> [translation]\n",
     "Compares the chip with an Intel Hex file.",
     VerbGroup::Spi, 63,
     3,
     VERB_MUST("*** 'spi-verify-mcs' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
               "Hex (.mcs) file.\n"),
     {{"chip", Arg::SpiChip, kBadSpiChipIndex}, {"file", Arg::Word},
      {"translation", Arg::Translation, kBadSpiProgramArgument}}, kRefusesInService,
     [](const VerbCall& c) {
         return spiVerifyMcs(c.ctx, c.verbose, c.number("chip"), c.word("file"), c.signedNumber("translation"));
     }},
    {"spi-save-to-bin",
     VERB_LINE "spi-save-to-bin <chip index> <filename.bin> <address> <count>\n",
     "Saves count bytes of the chip from an address into a binary file.",
     VerbGroup::Spi, 64,
     5,
     VERB_MUST("*** 'spi-save-to-bin' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
               "Hex (.mcs) file, (3) starting address, (4) byte count\n"),
     {{"chip", Arg::SpiChip, kBadSpiChipIndex}, {"file", Arg::Word},
      {"address", Arg::StartAddress, kBadSpiSaveArgument},
      {"count", Arg::ByteCount, kBadSpiSaveArgument}},
     kRefusesInService,
     [](const VerbCall& c) {
         return spiSaveToBin(c.ctx, c.verbose, c.number("chip"), c.word("file"), c.number("address"),
                             c.number("count"));
     }},
    {"spi-save-to-mcs",
     VERB_LINE "spi-save-to-mcs <chip index> <filename.mcs> <address> <count>\n",
     "Saves count bytes of the chip from an address into an Intel Hex file.",
     VerbGroup::Spi, 65,
     5,
     VERB_MUST("*** 'spi-save-to-mcs' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
               "Hex (.mcs) file, (3) starting address, (4) byte count\n"),
     {{"chip", Arg::SpiChip, kBadSpiChipIndex}, {"file", Arg::Word},
      {"address", Arg::StartAddress, kBadSpiSaveArgument},
      {"count", Arg::ByteCount, kBadSpiSaveArgument}},
     kRefusesInService,
     [](const VerbCall& c) {
         return spiSaveToMcs(c.ctx, c.verbose, c.number("chip"), c.word("file"), c.number("address"),
                             c.number("count"));
     }},
};

}  // namespace

VerbRows spiVerbRows() { return verbRows(kSpiVerbRows); }
