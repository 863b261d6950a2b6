// The board information verbs, each a row: its usage lines,
// its man page text, its arguments, its flags and its handler.
#include "boardinfo/boardinfo_verb_rows.h"

#include "boardinfo/sensors.h"
#include "boardinfo/vpd.h"
#include "link/connection.h"

namespace {


constexpr VerbRow kVpdVerbRows[] = {
    {"display-vpd",
     VERB_LINE "display-vpd\n",
     "Decodes the board's VPD record: model, serial number, fitted parts, checksum.",
     VerbGroup::BoardInfo, 20,
     1, VERB_NO_ARGS, 0, [](const VerbCall& c) { return displayVpd(c.verbose, c.ctx); }},
    {"display-vpd-raw",
     VERB_LINE "display-vpd-raw\n",
     "Shows the VPD record as a hex dump.",
     VerbGroup::BoardInfo, 21,
     1, VERB_NO_ARGS, 0,
     [](const VerbCall& c) { return displayVpdRaw(c.verbose, c.ctx); }},
};

constexpr VerbRow kSensorVerbRows[] = {
    {"display-black-box",
     VERB_LINE "display-black-box [clobber|noclobber|both] [count]\n",
     "Decodes the black-box records the uC keeps of past events: clobber, noclobber or both kinds (the default), and "
     "optionally only the first count records.",
     VerbGroup::BoardInfo, 25,
     1, nullptr, false,
     {{"type", Arg::BlackBoxType, kBadBlackBoxType}, {"count", Arg::BlackBoxCount, kBadBlackBoxCount}},
     kRefusesInService,
     [](const VerbCall& c) {
         return displayBlackBox(c.ctx, c.verbose, c.given("type") ? c.number("type") : 3, c.number("count"));
     }},
    {"display-sensors",
     VERB_LINE "display-sensors\n",
     "Shows the board's voltages, currents, temperatures and status bits.",
     VerbGroup::BoardInfo, 22,
     1, VERB_NO_ARGS, kRefusesInService,
     [](const VerbCall& c) { return displaySensors(c.verbose, c.ctx); }},
    {"display-sensors-raw",
     VERB_LINE "display-sensors-raw\n",
     "Shows the sensor page as a hex dump.",
     VerbGroup::BoardInfo, 23,
     1, VERB_NO_ARGS, kRefusesInService,
     [](const VerbCall& c) { return displaySensorsRaw(c.ctx, c.verbose); }},
};

constexpr VerbRow kSensorOverrideVerbRows[] = {
    {"override-sensor",
     VERB_LINE "override-sensor <index> <unscaled value>\n",
     "Makes the uC report the given raw value for a sensor instead of its reading.",
     VerbGroup::BoardInfo, 26,
     3,
     VERB_MUST("*** 'override-sensor-raw' must be followed by the (1) sensor index and (2) the unscaled override "
               "value.\n"),
     {{"index", Arg::SensorIndex, kBadIndexOrCount}, {"value", Arg::OverrideValue, kBadOverrideValue}},
     kRefusesInService,
     [](const VerbCall& c) { return overrideSensor(c.number("index"), c.ctx, c.verbose, c.number("value")); }},
    {"release-sensor",
     VERB_LINE "release-sensor <index>\n",
     "Ends an override-sensor for that sensor.",
     VerbGroup::BoardInfo, 27,
     2, VERB_MUST("*** 'release-sensor' must be followed by the sensor index.\n"),
     {{"index", Arg::SensorIndex, kBadIndexOrCount}}, kRefusesInService,
     [](const VerbCall& c) { return releaseSensor(c.number("index"), c.ctx, c.verbose); }},
};

}  // namespace

VerbRows vpdVerbRows() { return verbRows(kVpdVerbRows); }
VerbRows sensorVerbRows() { return verbRows(kSensorVerbRows); }
VerbRows sensorOverrideVerbRows() { return verbRows(kSensorOverrideVerbRows); }
