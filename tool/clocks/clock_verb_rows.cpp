// The clock verbs, each a row: its usage lines,
// its man page text, its arguments, its flags and its handler.
#include "clocks/clock_verb_rows.h"

#include "clocks/clock_verbs.h"
#include "link/connection.h"

namespace {


constexpr VerbRow kClockVerbRows[] = {
    {"getclk",
     VERB_LINE "getclk <index>\n",
     "Prints the frequency of a clock generator.",
     VerbGroup::Clocks, 32,
     2, VERB_MUST("*** 'getclk' command must be followed by a clock generator index.\n"),
     {{"index", Arg::ClockIndex, kTooFewArguments}}, kRefusesInService,
     [](const VerbCall& c) { return getClockFrequency(c.ctx, c.number("index"), c.verbose); }},
    {"setclk",
     VERB_LINE "setclk <index> <Hz>\n",
     "Sets the frequency of a clock generator (Hz) until the next power cycle.",
     VerbGroup::Clocks, 33,
     3,
     VERB_MUST("*** 'setclk' command must be followed by (1) a clock generator index and (2) a frequency (Hz).\n"),
     {{"index", Arg::ClockIndexByte, kBadIndexOrCount}, {"Hz", Arg::Frequency, kBadFrequency}}, kRefusesInService,
     [](const VerbCall& c) {
         return setClockFrequency(c.ctx, c.number("Hz"), c.verbose, c.number("index"));
     }},
    {"setclk-regmap",
     VERB_LINE "setclk-regmap <index> [reg. map filename] [reg. map type]\n"
     VERB_NOTE "Register map types: lmk61e2\n",
     "Programs a clock generator from a register map file, or with its factory map when no file is given.",
     VerbGroup::Clocks, 36,
     2,
     VERB_MUST("*** 'setclk-regmap' command must be followed by (1) a clock generator index, (2) optional path to "
               "register map file and (3) optional register map file type.\n"),
     {{"index", Arg::ClockIndexByte, kBadIndexOrCount}, {"map file", Arg::Word}, {"map type", Arg::Word}},
     kRefusesInService,
     [](const VerbCall& c) {
         return programRegisterMap(false, c.word("map type"), c.ctx, c.verbose, c.number("index"), c.word("map file"));
     }},
    {"getclknv",
     VERB_LINE "getclknv <index>\n",
     "Prints the non-volatile override frequency of a clock generator.",
     VerbGroup::Clocks, 34,
     2, VERB_MUST("*** 'getclknv' command must be followed by a clock generator index.\n"),
     {{"index", Arg::ClockIndex, kTooFewArguments}}, kRefusesInService | kNonVolatile,
     [](const VerbCall& c) { return getClockOverride(c.ctx, c.number("index"), c.verbose); }},
    {"setclknv",
     VERB_LINE "setclknv <index> <Hz>\n",
     "Sets the non-volatile override frequency of a clock generator (Hz).",
     VerbGroup::Clocks, 35,
     3,
     VERB_MUST("*** 'setclknv' command must be followed by (1) a clock generator index and (2) an override frequency "
               "(Hz).\n"),
     {{"index", Arg::ClockIndexByte, kBadIndexOrCount},
      {"Hz", Arg::OverrideFrequency, kBadFrequency}}, kRefusesInService | kNonVolatile,
     [](const VerbCall& c) { return setClockOverride(c.ctx, c.number("Hz"), c.verbose, c.number("index")); }},
    {"setclknv-regmap",
     VERB_LINE "setclknv-regmap <index> [reg. map filename] [reg. map type]\n",
     "Like setclk-regmap, kept in non-volatile memory.",
     VerbGroup::Clocks, 37,
     2,
     VERB_MUST("*** 'setclknv-regmap' command must be followed by (1) a clock generator index, (2) optional path to "
               "register map file and (3) optional register map file type.\n"),
     {{"index", Arg::ClockIndexByte, kBadIndexOrCount}, {"map file", Arg::Word},
      {"map type", Arg::Word}}, kRefusesInService | kNonVolatile,
     [](const VerbCall& c) {
         return programRegisterMap(true, c.word("map type"), c.ctx, c.verbose, c.number("index"), c.word("map file"));
     }},
};

constexpr VerbRow kSi5338VerbRows[] = {
    {"config-si5338",
     VERB_LINE "config-si5338 <bus> <device> <register map file.txt>\n",
     "Programs an SI5338 clock chip over I2C from its register map file.",
     VerbGroup::Clocks, 38,
     4,
     VERB_MUST_TYPED("command must be followed by (1) the I2C bus number of the SI5338, (2) the I2C chip address of "
                     "the SI5338 and (3) the SI5338 register map file\n"),
     {{"bus", Arg::I2cBus, kBadI2cBus}, {"device", Arg::I2cChip, kBadI2cChip}, {"map file", Arg::Word}},
     kRefusesInService,
     [](const VerbCall& c) {
         return configureSi5338(c.word("map file"), c.ctx, c.verbose, c.number("bus"), c.number("device"));
     }},
};

}  // namespace

VerbRows clockVerbRows() { return verbRows(kClockVerbRows); }
VerbRows si5338VerbRows() { return verbRows(kSi5338VerbRows); }
