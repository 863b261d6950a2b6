#include "devices/mezzanine_power.h"

#include "devices/settings_file.h"

namespace zsim {
namespace {

const char* const kMezzanineFile = "mezzanine_power.txt";  // "site requested minimum maximum" per site

// Statuses of both messages.
constexpr uint8_t kBadSite = 1;  // also a request of the wrong length
constexpr uint8_t kBadRange = 3;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

bool releases(uint16_t requested) { return requested == 0 || requested == 0xFFFF; }

// A forced voltage must lie inside the caller's window and within what the
// regulator can produce.
bool validSetting(const MezzanineSetting& s) {
    if (releases(s.requested)) return true;
    return s.minimum <= s.requested && s.requested <= s.maximum && s.requested >= kMinForcedMv &&
           s.requested <= kMaxForcedMv;
}

}  // namespace

bool MezzaninePowerDevice::loadState(const std::string& dir, std::string& error) {
    dir_ = dir;
    SettingRows rows;
    if (!loadSettingRows(dir, kMezzanineFile, rows, error)) return false;
    for (const auto& row : rows) {
        if (row.size() != 4 || row[0] >= kMezzanineSites || row[1] > 0xFFFF || row[2] > 0xFFFF || row[3] > 0xFFFF) {
            error = "bad line in '" + dir + "/" + kMezzanineFile + "'";
            return false;
        }
        next_[row[0]] = {static_cast<uint16_t>(row[1]), static_cast<uint16_t>(row[2]), static_cast<uint16_t>(row[3])};
    }
    // Starting the simulator is a power-on.
    now_ = next_;
    save();
    return true;
}

void MezzaninePowerDevice::save() {
    if (dir_.empty()) return;
    SettingRows rows;
    for (uint32_t site = 0; site < kMezzanineSites; ++site)
        rows.push_back({site, next_[site].requested, next_[site].minimum, next_[site].maximum});
    saveSettingRows(state_, dir_, kMezzanineFile, rows);
}

std::optional<std::vector<uint8_t>> MezzaninePowerDevice::handle(const std::vector<uint8_t>& rq) {
    const uint8_t command = rq[1];
    std::vector<uint8_t> reply = {0x05, static_cast<uint8_t>(command & 0x7F)};
    const bool get = command == 0x96 || command == 0x9A;
    const bool nonVolatile = command == 0x99 || command == 0x9A;
    const size_t length = get ? 3 : 9;
    const uint8_t site = rq.size() == length ? rq[length - 1] : kMezzanineSites;
    if (site >= kMezzanineSites) {
        reply.push_back(kBadSite);
        return reply;
    }
    auto& settings = nonVolatile ? next_ : now_;
    if (get) {
        const MezzanineSetting& s = settings[site];
        reply.insert(reply.end(), {0, static_cast<uint8_t>(s.requested), static_cast<uint8_t>(s.requested >> 8),
                                   static_cast<uint8_t>(s.minimum), static_cast<uint8_t>(s.minimum >> 8),
                                   static_cast<uint8_t>(s.maximum), static_cast<uint8_t>(s.maximum >> 8)});
        return reply;
    }
    const MezzanineSetting wanted = {le16(&rq[2]), le16(&rq[4]), le16(&rq[6])};
    if (!validSetting(wanted)) {
        reply.push_back(kBadRange);
        return reply;
    }
    settings[site] = wanted;
    if (nonVolatile) save();
    reply.push_back(0);
    return reply;
}

}  // namespace zsim
