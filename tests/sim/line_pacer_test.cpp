// The paced line's arithmetic: 10 bits per byte, back to back while busy.
#include <gtest/gtest.h>

#include "core/line_pacer.h"

namespace {

TEST(LinePacer, BytesQueueBehindEachOther) {
    struct Step {
        uint64_t readyNs;
        size_t count;
        uint64_t throughNs;
    };
    struct Case {
        uint32_t baud;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {0, {{5, 100, 5}}},                                     // unpaced
        {1000000, {{0, 1, 10000}, {0, 2, 30000}, {25000, 1, 40000}, {50000, 1, 60000}}},
        // 921600 baud: 10850.7 ns a byte, kept exact over a long run.
        {921600, {{0, 1, 10850}, {0, 92159, 1000000000}, {1000000000, 1, 1000010850}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.baud);
        zsim::LinePacer line(c.baud);
        for (const Step& s : c.steps) EXPECT_EQ(line.send(s.readyNs, s.count), s.throughNs);
    }
}

}  // namespace
