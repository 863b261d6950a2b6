// display-black-box: which records are read, how they are sorted, filtered
// and counted, and what a failed read leaves on the screen.
#include <gtest/gtest.h>

#include <string>

#include "base/out.h"
#include "boardinfo/sensor_test_board.h"
#include "boardinfo/sensors.h"

namespace {

using sensortest::SensorTestBoard;
using sensortest::skeleton;

const std::string kRule = "-------------------------------------------------------------------------------\n";

std::string clobberHeader(unsigned page) {
    return "Black box clobber record (page " + std::to_string(page) + "):\n";
}
std::string noclobberHeader(unsigned page) {
    return "Black box noclobber record (page " + std::to_string(page) + "):\n";
}

// The listing lines expected for records printed in the given order.
std::string listing(std::initializer_list<unsigned> pages, bool noclobber) {
    std::string s = kRule;
    for (unsigned p : pages) s += (noclobber ? noclobberHeader(p) : clobberHeader(p)) + kRule;
    return s;
}

struct BoxRun {
    Result result;
    std::string text;
    std::vector<Bytes> requests;
};

BoxRun run(SensorTestBoard& board, uint32_t types, uint32_t count) {
    FakeUc uc;
    board.attach(uc);
    OutCapture cap;
    BoxRun r;
    r.result = displayBlackBox(uc.context(), false, types, count);
    r.text = cap.text();
    r.requests = uc.requests();
    return r;
}

std::vector<Bytes> expectedRequests(unsigned first, unsigned last) {
    std::vector<Bytes> rq = {{0x05, 0x8C}};
    for (unsigned i = first; i <= last; ++i) rq.push_back({0x05, 0x8A, static_cast<uint8_t>(i)});
    return rq;
}

TEST(BlackBox, AllErased) {
    SensorTestBoard board;
    const BoxRun r = run(board, 3, 0);
    EXPECT_EQ(r.result, 0u);
    EXPECT_EQ(r.text, "No black box clobber records found.\nNo black box noclobber records found.\n");
    EXPECT_EQ(r.requests, expectedRequests(0, 30));
}

TEST(BlackBox, NewestFirstErasedNeverPrinted) {
    SensorTestBoard board;
    board.setRecord(0, 5);
    board.setRecord(2, 9);
    const BoxRun r = run(board, 1, 0);
    EXPECT_EQ(r.result, 0u);
    EXPECT_EQ(r.requests, expectedRequests(0, 23));
    EXPECT_EQ(skeleton(r.text), listing({2, 0}, false));
    // Each header is followed by that record's own page.
    EXPECT_NE(r.text.find(clobberHeader(2) + "  ETC         = { 0x09 0x00 0x00 0x00 } => 9 (0x00000009)\n"
                                             "  EC          = { 0x02 0x00 0x00 0x00 } => 2 (0x00000002)\n"),
              std::string::npos);
    EXPECT_NE(r.text.find(clobberHeader(0) + "  ETC         = { 0x05 0x00 0x00 0x00 } => 5 (0x00000005)\n"),
              std::string::npos);
}

TEST(BlackBox, CountLimitsEachTypeAndNeverExceedsItsSize) {
    SensorTestBoard board;
    // Clobber ETCs in no order: record i holds (i * 7) % 24 + 100, all
    // distinct. Since 7 * 7 = 1 (mod 24), the record with ETC 100 + k is
    // 7k mod 24: the newest is record 17 (ETC 123), then 10 (122), 3 (121).
    for (unsigned i = 0; i < 24; ++i) board.setRecord(i, (i * 7) % 24 + 100);
    for (unsigned i = 24; i < 31; ++i) board.setRecord(i, 1000 - i);  // 24 newest
    struct Case {
        uint32_t types;
        uint32_t count;
        std::string expected;
    };
    const Case cases[] = {
        {1, 2, listing({17, 10}, false)},
        {2, 2, listing({24, 25}, true)},
        {3, 1, listing({17}, false) + "\n" + listing({24}, true)},
        {1, 30, listing({17, 10, 3, 20, 13, 6, 23, 16, 9, 2, 19, 12, 5, 22, 15, 8, 1, 18, 11, 4, 21, 14, 7, 0}, false)},
        {2, 0, listing({24, 25, 26, 27, 28, 29, 30}, true)},
        {2, 30, listing({24, 25, 26, 27, 28, 29, 30}, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "types " << c.types << " count " << c.count);
        const BoxRun r = run(board, c.types, c.count);
        EXPECT_EQ(r.result, 0u);
        EXPECT_EQ(skeleton(r.text), c.expected);
        // Every record of a requested type is read, whatever the count.
        EXPECT_EQ(r.requests.size(), 1u + (c.types & 1 ? 24u : 0u) + (c.types & 2 ? 7u : 0u));
    }
}

TEST(BlackBox, BlankLineOnlyBeforeNoclobberRecordsThatFollowClobberRecords) {
    struct Case {
        bool clobber;
        bool noclobber;
        std::string expected;
    };
    const Case cases[] = {
        {true, true, listing({3}, false) + "\n" + listing({27}, true)},
        {false, true, "No black box clobber records found.\n" + listing({27}, true)},
        {true, false, listing({3}, false) + "No black box noclobber records found.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.clobber << c.noclobber);
        SensorTestBoard board;
        if (c.clobber) board.setRecord(3, 40);
        if (c.noclobber) board.setRecord(27, 4);
        EXPECT_EQ(skeleton(run(board, 3, 0).text), c.expected);
    }
}

TEST(BlackBox, ExchangeSortPlacesErasedLastAndMovesEqualKeys) {
    // Positions hold ETC 5 (a), erased, 5 (b), 9, 0. The exchange sort
    // swaps position 0 with the 9, which carries 5 (a) behind 5 (b).
    BlackBoxRecord records[5] = {};
    const uint32_t etcs[5] = {5, 0xFFFFFFFF, 5, 9, 0};
    for (uint32_t i = 0; i < 5; ++i) {
        records[i].index = i;
        for (int b = 0; b < 4; ++b) records[i].page[b] = static_cast<uint8_t>(etcs[i] >> (8 * b));
    }
    sortBlackBoxRecords(records, 5);
    const uint32_t order[5] = {records[0].index, records[1].index, records[2].index, records[3].index,
                               records[4].index};
    EXPECT_EQ(std::vector<uint32_t>(order, order + 5), (std::vector<uint32_t>{3, 2, 0, 4, 1}));
}

TEST(BlackBox, FailedClobberReadStopsReadingAndPrintsWhatWasRead) {
    SensorTestBoard board;
    board.setRecord(1, 10);
    board.setRecord(3, 30);
    board.setRecord(7, 70);  // never read
    board.setRecord(25, 5);  // never read
    board.failRecord = 4;
    const BoxRun r = run(board, 3, 0);
    EXPECT_EQ(r.result, 102u);
    EXPECT_EQ(r.requests, expectedRequests(0, 4));
    EXPECT_EQ(skeleton(r.text),
              "*** ZORVI returned status 0x03 for Request Black Box record command\n"
              "*** Failed to read black-box clobber record with index 4.\n" +
                  listing({3, 1}, false));
}

TEST(BlackBox, FailedNoclobberReadKeepsClobberListing) {
    SensorTestBoard board;
    board.setRecord(0, 1);
    board.setRecord(24, 2);
    board.setRecord(25, 3);
    board.setRecord(27, 4);  // never read
    board.failRecord = 26;
    board.failRecordStatus = 0x40;
    const BoxRun r = run(board, 3, 0);
    EXPECT_EQ(r.result, 102u);
    EXPECT_EQ(r.requests, expectedRequests(0, 26));
    EXPECT_EQ(skeleton(r.text),
              "*** ZORVI returned status 0x40 for Request Black Box record command\n"
              "*** Failed to read black-box noclobber record with index 26.\n" +
                  listing({0}, false) + "\n" + listing({25, 24}, true));
}

TEST(BlackBox, FirstReadFailingLeavesOnlyTheFailure) {
    SensorTestBoard board;
    board.failRecord = 24;
    const BoxRun r = run(board, 2, 0);
    EXPECT_EQ(r.result, 102u);
    EXPECT_EQ(r.text,
              "*** ZORVI returned status 0x03 for Request Black Box record command\n"
              "*** Failed to read black-box noclobber record with index 24.\n"
              "No black box noclobber records found.\n");
}

TEST(BlackBox, VpdFailureReadsNoRecord) {
    SensorTestBoard board;
    board.vpdStatus = 5;
    const BoxRun r = run(board, 3, 0);
    EXPECT_EQ(r.result, 102u);
    EXPECT_EQ(r.text, "*** ZORVI returned status 0x05 for Request VPD command\n");
    EXPECT_EQ(r.requests.size(), 1u);
}

TEST(BlackBox, RecordsAreDecodedForTheModelAndRevision) {
    SensorTestBoard board;
    board.setModel(1426, 0x20);
    board.setRecord(30, 77);
    board.records[30][0x0A] = 0x00;  // channel 1 = 0x0300: 3.000 A at 1/256
    board.records[30][0x0B] = 0x03;
    const BoxRun r = run(board, 2, 0);
    EXPECT_NE(r.text.find("  ADC01 (#01) = { 0x00 0x03 }           => 0x0300 => 3.000 A [12V current (AUX8 conn.)]\n"),
              std::string::npos)
        << r.text;
}

}  // namespace
