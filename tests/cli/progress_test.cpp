// The progress line: bytes and time in, the text a terminal shows out.
#include "base/progress.h"

#include <gtest/gtest.h>

TEST(Progress, LineOfBytesAndTime) {
    struct Row {
        uint64_t done, total;
        uint32_t elapsedMs;
        const char* line;
    } rows[] = {
        {0, 4u << 20, 0, "Programming 0 B of 4.0 MiB (0%), --/s, -- left"},
        {1u << 20, 4u << 20, 10000, "Programming 1.0 MiB of 4.0 MiB (25%), 102.4 KiB/s, 0:30 left"},
        {512, 1000, 2000, "Programming 512 B of 1000 B (51%), 256 B/s, 0:02 left"},
        {1u << 20, 1u << 30, 1000, "Programming 1.0 MiB of 1.0 GiB (0%), 1.0 MiB/s, 17:03 left"},
        {1u << 20, 16ull << 30, 1000, "Programming 1.0 MiB of 16.0 GiB (0%), 1.0 MiB/s, 4:33:03 left"},
        {4u << 20, 4u << 20, 40000, "Programming 4.0 MiB of 4.0 MiB (100%), 102.4 KiB/s, 0:00 left"},
        {0, 0, 5, "Programming 0 B of 0 B (100%), --/s, -- left"},
    };
    for (const Row& r : rows) EXPECT_EQ(progressLine("Programming", r.done, r.total, r.elapsedMs), r.line);
}
