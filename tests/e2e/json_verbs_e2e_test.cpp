// End to end: +json documents of the board-control, clock, SPI-info and I2C
// verbs, two writing verbs' summaries and a failure, each checked against
// its schema and a few exact values.
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
    std::string args;
    const char* schema;
    std::vector<std::pair<const char*, json>> values;  ///< JSON pointer, value
    int exitCode;
};

std::vector<std::string> words(const std::string& args) {
    std::vector<std::string> w = {"-usbcom", "{port}", "+json"};
    std::istringstream in(args);
    for (std::string word; in >> word;) w.push_back(word);
    return w;
}

}  // namespace

TEST(JsonVerbs, DocumentsSummariesAndErrorsMatchTheirSchemas) {
    // Chip 1 with a sector map; everything else as the model starts.
    e2e::SimBoard board({"--model", "1437", "--spi-chip", "1=synth-sector-map"});
    ASSERT_TRUE(board.ok()) << board.error();
    const Row rows[] = {
        {"get-boot-mode", "get-boot-mode.schema.json",
         {{"/source", "switches"}, {"/mode", nullptr}, {"/pins/mode", 1}, {"/pins/name", "qspi24"}}, 0},
        {"get-boot-mode-nv", "get-boot-mode.schema.json", {{"/non_volatile", true}, {"/source", "switches"}}, 0},
        {"get-brd-power", "get-brd-power.schema.json", {{"/power", "on"}, {"/psu_off_l", 1}}, 0},
        {"get-mez-power 0", "get-mez-power.schema.json", {{"/mezzanine", 0}, {"/forced", false}}, 0},
        {"get-mez-power-nv 1", "get-mez-power.schema.json", {{"/mezzanine", 1}, {"/non_volatile", true}}, 0},
        {"get-smbus-addr", "get-smbus-addr.schema.json", {{"/address", 0x48}, {"/enabled", true}}, 0},
        {"get-smbus-addr-nv", "get-smbus-addr.schema.json", {{"/address", 0x48}, {"/non_volatile", true}}, 0},
        {"getclk 0", "getclk.schema.json", {{"/frequency_hz", 100000000}}, 0},
        {"getclknv 1", "getclk.schema.json", {{"/frequency_hz", 0xFFFFFFFFu}, {"/programs_at_power_up", false}}, 0},
        {"spi-info 1", "spi-info.schema.json",
         {{"/jedec_id", {0xF1, 0x04, 0x1A}}, {"/capacity_bytes", 0x4000000}, {"/page_size_bytes", 512},
          {"/four_byte_method", "opcode_b7"}, {"/sector_map/3/configuration", 3},
          {"/sector_map/3/regions/2", {{"size_bytes", 0x8000}, {"erase_types", {1}}}}},
         0},
        {"i2c-read 0 0x50 0xFA 3", "i2c-read.schema.json", {{"/address", 0xFA}, {"/bytes", {0x02, 0x5A, 0x00}}}, 0},
        {"setclk 0 125000000", "summary.schema.json", {{"/verb", "setclk"}, {"/frequency_hz", 125000000}}, 0},
        {"i2c-write 0 0x50 0x10 1 2 3", "summary.schema.json", {{"/address", 0x10}, {"/count", 3}}, 0},
        {"getclk 300", "error.schema.json", {{"/error/name", "bad_index_or_count"}}, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        const e2e::RunResult r = board.run(words(row.args));
        EXPECT_EQ(r.exitCode, row.exitCode) << r.out << r.err;
        const json doc = json::parse(r.out, nullptr, false);
        ASSERT_FALSE(doc.is_discarded()) << r.out;
        const std::string problems = e2e::schemaProblems(row.schema, r.out);
        if (problems.rfind("skip:", 0) == 0) GTEST_SKIP() << problems;
        EXPECT_EQ(problems, "") << r.out;
        for (const auto& [pointer, value] : row.values)
            EXPECT_EQ(doc.value(json::json_pointer(pointer), json("(missing)")), value) << pointer;
    }
}
