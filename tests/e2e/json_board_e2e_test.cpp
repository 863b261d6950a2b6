// End to end: the +json documents of the identity, VPD, sensor and black-box
// verbs, each checked against its schema and at a few exact places.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "e2e_harness.h"

namespace {

using nlohmann::json;

struct Row {
    std::vector<std::string> simArgs;
    std::vector<std::string> verb;
    const char* schema;
    int exitCode;
    std::vector<std::pair<const char*, json>> checks;  ///< JSON pointer, exact value
};

TEST(E2eJsonBoard, DocumentsMatchTheirSchemasAndTheBoard) {
    const std::vector<std::string> sensors1308 = {"--model", "1308", "--sensor-seconds", "100"};
    const std::vector<Row> rows = {
        {{}, {"version"}, "version.schema.json", 0,
         {{"/name", "ZORVI Keeper2"}, {"/version", "4.26.0.7"}, {"/minor", 26}, {"/mode", "normal"}}},
        {{"--service"}, {"version"}, "version.schema.json", 0, {{"/name", "ZORVI Ignis2"}, {"/mode", "service"}}},
        {{}, {"product-id"}, "product-id.schema.json", 0, {{"/product_id", 721}, {"/firmware", "normal"}}},
        {{}, {"comm-test"}, "comm-test.schema.json", 0,
         {{"/requested_ms", 2000}, {"/errors", 0}, {"/rates_reliable", true}}},
        {{"--vpd-bad-checksum"}, {"display-vpd"}, "display-vpd.schema.json", 0,
         {{"/board/model", "CARD-A27"},
          {"/board/serial", 100001},
          {"/layout", "R"},
          {"/fields/0/name", "modifications_bitmask"},
          {"/checksum/valid", false}}},
        {sensors1308, {"display-sensors"}, "display-sensors.schema.json", 0,
         {{"/board/drawing", 1308},
          {"/elapsed_time_counter", 100},
          {"/sensors/0/value", 12.032715},
          {"/sensors/0/unit", "V"},
          {"/sensors/14/value", 41.35},
          {"/sensors/14/unit", "celsius"},
          {"/sensors/16/reserved", true},
          {"/status_registers/crd_stat2/bits/usb_connected", true}}},
        {sensors1308, {"display-black-box", "noclobber", "1"}, "display-black-box.schema.json", 0,
         {{"/records/0/type", "noclobber"}, {"/records/0/index", 27}, {"/records/0/erased", false}}},
        {sensors1308, {"display-black-box"}, "display-black-box.schema.json", 0,
         {{"/records/0/type", "clobber"}, {"/records/30/erased", true}}},
        {{"--service"}, {"display-sensors"}, "error.schema.json", 13,
         {{"/error/code", 13}, {"/error/name", "refused_in_service_mode"}}},
    };
    for (const Row& row : rows) {
        const std::string what = row.verb[0] + (row.simArgs.empty() ? "" : " on " + row.simArgs[0]);
        e2e::SimBoard board(row.simArgs);
        ASSERT_TRUE(board.ok()) << board.error();
        std::vector<std::string> args = {"+json", "-usbcom", "{port}"};
        args.insert(args.end(), row.verb.begin(), row.verb.end());
        const e2e::RunResult r = board.run(args);
        EXPECT_EQ(r.exitCode, row.exitCode) << what;
        const json doc = json::parse(r.out, nullptr, false);
        ASSERT_FALSE(doc.is_discarded()) << what << ": " << r.out;
        const std::string problems = e2e::schemaProblems(row.schema, r.out);
        if (problems.rfind("skip:", 0) == 0) GTEST_SKIP() << problems;
        EXPECT_EQ(problems, "") << what;
        for (const auto& [pointer, value] : row.checks) {
            const json::json_pointer p(pointer);
            ASSERT_TRUE(doc.contains(p)) << what << " " << pointer;
            EXPECT_EQ(doc.at(p), value) << what << " " << pointer;
        }
    }
}

// Without +json the verb whose handler changed prints as before.
TEST(E2eJsonBoard, TextIsUnchangedWithoutJson) {
    e2e::SimBoard board;
    ASSERT_TRUE(board.ok()) << board.error();
    const e2e::RunResult r = board.run({"-usbcom", "{port}", "product-id"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "ZORVI firmware Product ID is 721(0x2D1)\n");
}

}  // namespace
