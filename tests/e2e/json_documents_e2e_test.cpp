// End to end: the +json documents of the reading verbs, the summaries of two
// writing verbs and the error document, each checked against its schema and
// at a few exact places; one simulated board per setting, its rows run in
// order on it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "e2e_harness.h"

namespace {

using nlohmann::json;

struct Row {
    std::string args;    ///< the words after the link option
    const char* schema;  ///< null: a text run, compared with `text`
    std::vector<std::pair<const char*, json>> values;  ///< JSON pointer, value
    int exitCode = 0;
    const char* text = nullptr;
};

struct BoardRows {
    std::vector<std::string> simArgs;
    std::vector<Row> rows;
};

std::vector<std::string> words(const Row& row) {
    std::vector<std::string> w = {"-usbcom", "{port}"};
    if (row.schema != nullptr) w.push_back("+json");
    std::istringstream in(row.args);
    for (std::string word; in >> word;) w.push_back(word);
    return w;
}

TEST(E2eJson, DocumentsSummariesAndErrorsMatchTheirSchemasAndTheBoard) {
    const std::vector<BoardRows> boards = {
        {{},
         {
             {"version", "version.schema.json",
              {{"/name", "ZORVI Keeper2"}, {"/version", "4.26.0.7"}, {"/minor", 26}, {"/mode", "normal"}}},
             {"product-id", "product-id.schema.json", {{"/product_id", 721}, {"/firmware", "normal"}}},
             {"comm-test", "comm-test.schema.json",
              {{"/requested_ms", 2000}, {"/errors", 0}, {"/rates_reliable", true}}},
             // Without +json the text is as it always was.
             {"product-id", nullptr, {}, 0, "ZORVI firmware Product ID is 721(0x2D1)\n"},
         }},
        {{"--service"},
         {
             {"version", "version.schema.json", {{"/name", "ZORVI Ignis2"}, {"/mode", "service"}}},
             {"display-sensors", "error.schema.json",
              {{"/error/code", 13}, {"/error/name", "refused_in_service_mode"}}, 13},
         }},
        {{"--vpd-bad-checksum"},
         {
             {"display-vpd", "display-vpd.schema.json",
              {{"/board/model", "CARD-A27"},
               {"/board/serial", 100001},
               {"/layout", "R"},
               {"/fields/0/name", "modifications_bitmask"},
               {"/checksum/valid", false}}},
         }},
        {{"--model", "1308", "--sensor-seconds", "100"},
         {
             {"display-sensors", "display-sensors.schema.json",
              {{"/board/drawing", 1308},
               {"/elapsed_time_counter", 100},
               {"/sensors/0/value", 12.032715},
               {"/sensors/0/unit", "V"},
               {"/sensors/14/value", 41.35},
               {"/sensors/14/unit", "celsius"},
               {"/sensors/16/reserved", true},
               {"/status_registers/crd_stat2/bits/usb_connected", true}}},
             {"display-black-box noclobber 1", "display-black-box.schema.json",
              {{"/records/0/type", "noclobber"}, {"/records/0/index", 27}, {"/records/0/erased", false}}},
             {"display-black-box", "display-black-box.schema.json",
              {{"/records/0/type", "clobber"}, {"/records/30/erased", true}}},
         }},
        // Chip 1 with a sector map; everything else as the model starts.
        {{"--model", "1437", "--spi-chip", "1=synth-sector-map"},
         {
             {"get-boot-mode", "get-boot-mode.schema.json",
              {{"/source", "switches"}, {"/mode", nullptr}, {"/pins/mode", 1}, {"/pins/name", "qspi24"}}},
             {"get-boot-mode-nv", "get-boot-mode.schema.json", {{"/non_volatile", true}, {"/source", "switches"}}},
             {"get-brd-power", "get-brd-power.schema.json", {{"/power", "on"}, {"/psu_off_l", 1}}},
             {"get-mez-power 0", "get-mez-power.schema.json", {{"/mezzanine", 0}, {"/forced", false}}},
             {"get-mez-power-nv 1", "get-mez-power.schema.json", {{"/mezzanine", 1}, {"/non_volatile", true}}},
             {"get-smbus-addr", "get-smbus-addr.schema.json", {{"/address", 0x48}, {"/enabled", true}}},
             {"get-smbus-addr-nv", "get-smbus-addr.schema.json", {{"/address", 0x48}, {"/non_volatile", true}}},
             {"getclk 0", "getclk.schema.json", {{"/frequency_hz", 100000000}}},
             {"getclknv 1", "getclk.schema.json",
              {{"/frequency_hz", 0xFFFFFFFFu}, {"/programs_at_power_up", false}}},
             {"spi-info 1", "spi-info.schema.json",
              {{"/jedec_id", {0xF1, 0x04, 0x1A}}, {"/capacity_bytes", 0x4000000}, {"/page_size_bytes", 512},
               {"/four_byte_method", "opcode_b7"}, {"/sector_map/3/configuration", 3},
               {"/sector_map/3/regions/2", {{"size_bytes", 0x8000}, {"erase_types", {1}}}}}},
             {"i2c-read 0 0x50 0xFA 3", "i2c-read.schema.json", {{"/address", 0xFA}, {"/bytes", {0x02, 0x5A, 0x00}}}},
             // The clock chip answers at 0x70; the silent device at 0x21 does not.
             {"+confirm i2c-scan 1", "i2c-scan.schema.json", {{"/bus", 1}, {"/addresses", {0x70}}}},
             {"setclk 0 125000000", "summary.schema.json", {{"/verb", "setclk"}, {"/frequency_hz", 125000000}}},
             {"i2c-write 0 0x50 0x10 1 2 3", "summary.schema.json", {{"/address", 0x10}, {"/count", 3}}},
             {"getclk 300", "error.schema.json", {{"/error/name", "bad_index_or_count"}}, 3},
         }},
    };
    for (const BoardRows& b : boards) {
        e2e::SimBoard board(b.simArgs);
        ASSERT_TRUE(board.ok()) << board.error();
        for (const Row& row : b.rows) {
            SCOPED_TRACE(row.args + (b.simArgs.empty() ? "" : " on " + b.simArgs[0]));
            const e2e::RunResult r = board.run(words(row));
            EXPECT_EQ(r.exitCode, row.exitCode) << r.out << r.err;
            if (row.schema == nullptr) {
                EXPECT_EQ(r.out, row.text);
                continue;
            }
            const json doc = json::parse(r.out, nullptr, false);
            ASSERT_FALSE(doc.is_discarded()) << r.out;
            const std::string problems = e2e::schemaProblems(row.schema, r.out);
            if (problems.rfind("skip:", 0) == 0) GTEST_SKIP() << problems;
            EXPECT_EQ(problems, "") << r.out;
            for (const auto& [pointer, value] : row.values)
                EXPECT_EQ(doc.value(json::json_pointer(pointer), json("(missing)")), value) << pointer;
        }
    }
}

}  // namespace
