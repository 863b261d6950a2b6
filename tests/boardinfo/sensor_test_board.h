// A scripted board for the sensor and black-box verb tests: it answers
// Request VPD, Request Sensors, Request Black Box record and Override
// Sensor from fields a test sets, through FakeUc.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "support/fake_uc.h"

namespace sensortest {

struct SensorTestBoard {
    uint8_t vpd[256] = {};
    uint8_t sensors[64] = {};
    uint8_t records[31][64];
    uint8_t vpdStatus = 0;
    uint8_t sensorStatus = 0;
    uint8_t overrideStatus = 0;
    int failRecord = -1;           ///< record whose request gets failRecordStatus
    uint8_t failRecordStatus = 3;

    SensorTestBoard() { std::memset(records, 0xFF, sizeof records); }

    void setModel(uint32_t drawingNumber, uint8_t pcbRevision) {
        for (int i = 0; i < 4; ++i) vpd[4 + i] = static_cast<uint8_t>(drawingNumber >> (8 * i));
        vpd[0x0C] = pcbRevision;
    }
    /// Gives record `index` an ETC; the rest of the page is a marker.
    void setRecord(uint32_t index, uint32_t etc) {
        std::memset(records[index], 0, 64);
        for (int i = 0; i < 4; ++i) records[index][i] = static_cast<uint8_t>(etc >> (8 * i));
        records[index][4] = static_cast<uint8_t>(index);  // EC = index, to tell pages apart
    }

    void attach(FakeUc& uc) {
        uc.onRequest([this](const Bytes& rq, Bytes& reply) -> uint32_t {
            if (rq.size() >= 2 && rq[0] == 0x05 && rq[1] == 0x8C) {
                reply = {0x05, 0x0C, vpdStatus};
                reply.insert(reply.end(), vpd, vpd + 256);
            } else if (rq.size() == 2 && rq[0] == 0x05 && rq[1] == 0x89) {
                reply = {0x05, 0x09, sensorStatus};
                reply.insert(reply.end(), sensors, sensors + 64);
            } else if (rq.size() == 3 && rq[0] == 0x05 && rq[1] == 0x8A && rq[2] < 31) {
                const uint8_t status = rq[2] == failRecord ? failRecordStatus : 0;
                reply = {0x05, 0x0A, status};
                reply.insert(reply.end(), records[rq[2]], records[rq[2]] + 64);
            } else if (rq.size() == 8 && rq[0] == 0x05 && rq[1] == 0x81) {
                reply = {0x05, 0x01, overrideStatus};
            } else {
                return 532;
            }
            return 0;
        });
    }
};

/// The lines of an output that are not part of a decoded page (page lines
/// start with two blanks): the skeleton of a black-box listing.
inline std::string skeleton(const std::string& text) {
    std::string result;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(pos, end - pos);
        if (line.rfind("  ", 0) != 0) result += line;
        pos = end;
    }
    return result;
}

}  // namespace sensortest
