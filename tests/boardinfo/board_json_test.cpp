// The +json documents of the board-information verbs, checked at a few
// exact places of crafted records.
#include <gtest/gtest.h>

#include <string>

#include "boardinfo/board_json.h"
#include "vpd_test_record.h"

namespace {

struct Check {
    const char* pointer;
    Json expected;
};

void expectAt(const Json& doc, std::initializer_list<Check> checks) {
    for (const Check& c : checks) {
        const Json::json_pointer p(c.pointer);
        ASSERT_TRUE(doc.contains(p)) << c.pointer;
        EXPECT_EQ(doc.at(p), c.expected) << c.pointer;
    }
}

TEST(BoardJson, IdentityAndSensorPage) {
    uint8_t vpd[256] = {};
    vpd[4] = 0x1C;  // drawing 1308 (CARD-A07)
    vpd[5] = 0x05;
    vpd[8] = 42;  // serial
    expectAt(boardIdentityJson(decodeVpd(vpd)), {{"/drawing", 1308}, {"/model", "CARD-A07"}, {"/serial", 42}});
    vpd[4] = 0x01;
    expectAt(boardIdentityJson(decodeVpd(vpd)), {{"/model", nullptr}});

    uint8_t page[64] = {};
    page[0] = 7;                         // ETC
    page[0x08] = 0x00, page[0x09] = 0xC0;  // ADC00 0xC000: 12 V
    page[0x24] = 0x50, page[0x25] = 0x12;  // TMP00 0x1250: 19.85 celsius
    page[0x2D] = 0xA5;                     // MEZ_STAT1
    page[0x32] = 0xE5;                     // CRD_STAT2: host reset, GA 5
    page[0x37] = 0x40;                     // ADC_STAT03 critical
    page[0x3E] = 0x02;                     // TMP_STAT02 over
    expectAt(sensorPageJson(decodeSensorPage(page, 1308, 0)),
             {{"/elapsed_time_counter", 7},
              {"/sensors/0/label", "ADC00"},
              {"/sensors/0/raw", 0xC000},
              {"/sensors/0/value", 12.0},
              {"/sensors/0/unit", "V"},
              {"/sensors/10/unit", "A"},
              {"/sensors/14/label", "TMP00"},
              {"/sensors/14/value", 19.85},
              {"/sensors/14/unit", "celsius"},
              {"/sensors/16/reserved", true},
              {"/sensors/15/reserved", false},
              {"/sensors/3/status", {{"raw", 4}, {"ok", false}, {"critical", true}, {"over", false}, {"under", false}}},
              {"/sensors/16/status/over", true},
              {"/mezzanines/1/fpga_present_c", true},
              {"/mezzanines/1/present_b", false},
              {"/status_registers/crd_stat2/bits/host_reset", true},
              {"/status_registers/crd_stat2/geographic_address", 5}});
    // A model without a channel table: ADC units are not known.
    expectAt(sensorPageJson(decodeSensorPage(page, 1, 0)), {{"/sensors/0/unit", nullptr}, {"/sensors/14/unit", "celsius"}});
}

// A stepping of "A\x01\xFF" stays what the board wrote, escaped in the
// document.
TEST(BoardJson, VpdTextIsEscaped) {
    VpdTestRecord vpd(1308, 7);
    vpd.fpga(0x40, "A\x01\xFF", "-2", 0x146, 1);
    const Json doc = vpdJson(decodeVpd(vpd.bytes));
    expectAt(doc, {{"/layout", "A"}, {"/fields/0/name", "pcb_revision"}});
    const std::string text = dumpJson(doc);
    EXPECT_NE(text.find(R"("value": "A\u0001\u00ff")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("value": "KU115")"), std::string::npos);
}

TEST(BoardJson, VersionAndCommTest) {
    expectAt(firmwareVersionJson("ZORVI Keeper2", "4.26.0.7", false),
             {{"/major", 4}, {"/build", 7}, {"/mode", "normal"}});
    expectAt(commTestJson({.requestedMs = 2000, .elapsedMs = 4, .roundTrips = 3}),
             {{"/link/sent_bytes_per_second", nullptr}, {"/rates_reliable", false}});
    expectAt(commTestJson({.elapsedMs = 2000, .linkSent = 3001}), {{"/link/sent_bytes_per_second", 1500.5}});
}

}  // namespace
