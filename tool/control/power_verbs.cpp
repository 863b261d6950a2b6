// Board power and the forced mezzanine I/O voltage.
#include <cctype>
#include <string>

#include "base/bytes.h"
#include "base/out.h"
#include "base/prompt.h"
#include "link/service_refusal.h"
#include "control/board_control.h"
#include "control/control_commands.h"

namespace {

constexpr uint32_t kMaxMillivolts = 65535;
constexpr uint32_t kMaxMezzanineIndex = 255;

/// 0 and 0xFFFF both mean "not forced".
bool forcesVoltage(uint32_t requestedMv) { return requestedMv != 0 && requestedMv != kMaxMillivolts; }

bool mezzanineIndexInRange(uint32_t index) {
    if (index <= kMaxMezzanineIndex) return true;
    out("*** Mezzanine index of %u is not valid; maximum allowed value is %u.\n", index, kMaxMezzanineIndex);
    return false;
}

/// Asks before a voltage is forced; true only for a "Y" or "y" answer.
bool confirmForcing() {
    std::string line;
    if (!askUser("WARNING: Forcing Mezzanine I/O voltage may damage hardware if performed incorrectly.\n"
                 "To proceed AT OWN RISK, enter \"Y\" at the prompt: ",
                 line))
        return false;
    const char answer = confirmationAnswer(line.c_str());
    return answer == 'Y' || answer == 'y';
}

}  // namespace

Json boardPowerDocument(const uint8_t power[3]) {
    auto state = [](bool off) { return off ? "off" : "on"; };
    const bool on = power[2] == 0;
    return {{"power", state(!on)},
            {"on", on},
            {"software_request", state(power[0] != 0)},
            {"hardware_request", state(power[1] != 0)},
            {"psu_off_l", on ? 1 : 0}};
}

Json mezzaninePowerDocument(uint32_t mezzanineIndex, bool nonVolatile, uint32_t requestedMv, uint32_t minimumMv,
                            uint32_t maximumMv) {
    return {{"mezzanine", mezzanineIndex}, {"non_volatile", nonVolatile},
            {"forced", forcesVoltage(requestedMv)},
            {"requested_mv", requestedMv}, {"minimum_mv", minimumMv}, {"maximum_mv", maximumMv}};
}

char confirmationAnswer(const char* line) {
    while (*line != '\0' && std::isspace(static_cast<unsigned char>(*line))) ++line;
    return *line;
}

Result setBoardPower(ConnectionContext* ctx, bool on, bool verbose) {
    if (refuseInServiceMode(ctx, "set-brd-power")) return kRefusedInServiceMode;
    const uint8_t off = on ? 0 : 1;
    if (Result r = ucRequest(ctx, verbose, kSetBoardPower, {.args = &off, .argLength = 1}); r != kOk) return r;
    out("Set SW board power request to %s.\n", on ? "ON" : "OFF");
    jsonSummary("power", on ? "on" : "off");
    return kOk;
}

Result getBoardPower(ConnectionContext* ctx, bool verbose) {
    if (refuseInServiceMode(ctx, "get-brd-power")) return kRefusedInServiceMode;
    uint8_t power[3] = {};  // software request, hardware request, supply off
    Result r = ucRequest(ctx, verbose, kGetBoardPower, {.payload = power, .payloadLength = sizeof power});
    if (r != kOk) return r;
    jsonDocument(boardPowerDocument(power));
    // The third byte tells whether the supply-off signal is asserted; the
    // line shows the active-low signal's level.
    out("SW req. power %s, HW req. power %s, Actual PSU_OFF_L = %u\n", power[0] != 0 ? "OFF" : "ON",
        power[1] != 0 ? "OFF" : "ON", power[2] == 0 ? 1u : 0u);
    return kOk;
}

Result forceMezzaninePower(uint32_t requestedMv, ConnectionContext* ctx, bool nonVolatile, bool verbose,
                           bool confirmed, uint32_t mezzanineIndex, uint32_t minimumMv, uint32_t maximumMv) {
    if (requestedMv > kMaxMillivolts) {
        out("*** Requested voltage of %u mV is not valid; maximum allowed value is %u.\n", requestedMv, kMaxMillivolts);
        return kBadMezzanineVoltage;
    }
    if (minimumMv > kMaxMillivolts) {
        out("*** Requested minimum voltage of %u mV is not valid; maximum allowed value is %u.\n", minimumMv,
            kMaxMillivolts);
        return kBadMezzanineVoltage;
    }
    if (maximumMv > kMaxMillivolts) {
        out("*** Requested maximum voltage of %u mV is not valid; maximum allowed value is %u.\n", maximumMv,
            kMaxMillivolts);
        return kBadMezzanineVoltage;
    }
    if (!mezzanineIndexInRange(mezzanineIndex)) return kBadMezzanineIndex;
    const bool releasing = !forcesVoltage(requestedMv);
    if (releasing) minimumMv = maximumMv = 0;
    if (refuseInServiceMode(ctx, "force-mez-power")) return kRefusedInServiceMode;
    if (!releasing && !confirmed && !confirmForcing()) return kNotConfirmed;

    uint8_t args[7] = {};
    putLe16(args, static_cast<uint16_t>(requestedMv));
    putLe16(args + 2, static_cast<uint16_t>(minimumMv));
    putLe16(args + 4, static_cast<uint16_t>(maximumMv));
    args[6] = static_cast<uint8_t>(mezzanineIndex);
    Result r = ucRequest(ctx, verbose, nonVolatile ? kForceMezzanineNv : kForceMezzanine,
                         {.args = args, .argLength = sizeof args});
    if (r != kOk) return r;
    jsonSummaryFields(mezzaninePowerDocument(mezzanineIndex, nonVolatile, requestedMv, minimumMv, maximumMv));
    if (releasing && nonVolatile) {
        out("uC will stop forcing Mezzanine %u I/O voltage at next board power-on.\n", mezzanineIndex);
        out("Use \"display-sensors\" verb after power-cycling board to see actual Mezzanine %u I/O voltage.\n",
            mezzanineIndex);
    } else if (releasing) {
        out("uC stopped forcing Mezzanine %u I/O voltage with immediate effect.\n", mezzanineIndex);
        out("Use \"display-sensors\" verb to see actual Mezzanine %u I/O voltage.\n", mezzanineIndex);
    } else if (nonVolatile) {
        out("uC will force Mezzanine %u I/O voltage at board power-on.\n", mezzanineIndex);
        out("****************************************************************************\n");
        out("WARNING: Forced Mezzanine I/O voltage will persist across power cycles.\n");
        out("         If you change the Mezzanine card fitted, remember to check that the\n");
        out("         forced I/O voltage is suitable for the new Mezzanine card.\n");
        out("****************************************************************************\n");
        out("Use \"display-sensors\" verb after power-cycling board to see actual Mezzanine %u I/O voltage.\n",
            mezzanineIndex);
    } else {
        out("uC now forcing Mezzanine %u I/O voltage with immediate effect.\n", mezzanineIndex);
        out("Use \"display-sensors\" verb to see actual Mezzanine %u I/O voltage.\n", mezzanineIndex);
    }
    return kOk;
}

Result getMezzaninePower(ConnectionContext* ctx, bool nonVolatile, uint32_t mezzanineIndex, bool verbose) {
    if (!mezzanineIndexInRange(mezzanineIndex)) return kBadMezzanineIndex;
    if (refuseInServiceMode(ctx, "force-mez-power")) return kRefusedInServiceMode;
    const uint8_t index = static_cast<uint8_t>(mezzanineIndex);
    uint8_t mv[6] = {};  // requested, minimum, maximum
    Result r = ucRequest(ctx, verbose, nonVolatile ? kGetMezzanineNv : kGetMezzanine,
                         {.args = &index, .argLength = 1, .payload = mv, .payloadLength = sizeof mv});
    if (r != kOk) return r;
    const unsigned requested = getLe16(mv), minimum = getLe16(mv + 2), maximum = getLe16(mv + 4);
    const bool forced = forcesVoltage(requested);
    jsonDocument(mezzaninePowerDocument(mezzanineIndex, nonVolatile, requested, minimum, maximum));
    if (nonVolatile && forced)
        out("Mezzanine %u voltage is forced at power up to requested (min., max.): %u (%u, %u) mV\n", mezzanineIndex,
            requested, minimum, maximum);
    else if (nonVolatile)
        out("Mezzanine %u voltage is NOT forced at power up; requested (min., max.) = %u (%u, %u) mV\n",
            mezzanineIndex, requested, minimum, maximum);
    else if (forced)
        out("Mezzanine %u voltage currently forced to requested (min., max.): %u (%u, %u) mV\n", mezzanineIndex,
            requested, minimum, maximum);
    else
        out("Mezzanine %u voltage currently NOT forced; requested (min., max.) = %u (%u, %u) mV\n", mezzanineIndex,
            requested, minimum, maximum);
    return kOk;
}
