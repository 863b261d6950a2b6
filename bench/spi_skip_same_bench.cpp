// spi-program-bin with and without +skip-same on a simulated chip whose
// link answers each exchange no sooner than --exchange-us after its request
// (a USB virtual COM port): four cases over a 4 MiB range at address 0, each
// run timed and its exchanges counted from the simulator's request log.
//
//   identical      the same file a second time             target >= 5x faster
//   1 MiB changed  one MiB of the four differs              target >= 2x faster
//   3/4 padding    1 MiB of data, then 0xFF, over random    target >= 2x faster
//   all random     random over other random contents       target <= 1.2x slower
//
// Usage: spi_skip_same_bench [exchange-us, default 500] [MiB, default 4]
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kChipFile = "spi0-mt25qu01g.bin";  // the default chip at index 0

std::string randomBytes(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (char& c : s) c = char((seed = seed * 1103515245u + 12345u) >> 24);
    return s;
}

/// Puts `content` on the chip from address 0 (the simulator keeps its
/// image in the state file, every byte complemented, mapped while it runs).
bool setChip(const e2e::SimBoard& board, std::string content) {
    for (char& c : content) c = char(~c);
    const int fd = ::open((board.stateDir() + "/" + kChipFile).c_str(), O_WRONLY);
    if (fd < 0) return false;
    const bool ok = pwrite(fd, content.data(), content.size(), 0) == static_cast<ssize_t>(content.size());
    ::close(fd);
    return ok;
}

struct Run {
    double seconds = 0;
    size_t exchanges = 0;
};

bool program(e2e::SimBoard& board, const std::string& file, bool skipSame, Run* run) {
    std::vector<std::string> args = {"-usbcom", "{port}"};
    if (skipSame) args.push_back("+skip-same");
    args.insert(args.end(), {"spi-program-bin", "0", file, "0"});
    board.clearRequests();
    const auto start = Clock::now();
    const e2e::RunResult r = board.run(args, "", {}, 3600 * 1000);
    run->seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run->exchanges = board.requests().size();
    if (r.exitCode != 0) std::printf("spi-program-bin%s failed with %d\n%s", skipSame ? " +skip-same" : "", r.exitCode,
                                     r.out.c_str());
    return r.exitCode == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned exchangeUs = argc > 1 ? unsigned(std::atoi(argv[1])) : 500;
    const size_t size = size_t(argc > 2 ? std::atoi(argv[2]) : 4) << 20;
    e2e::SimBoard board({"--exchange-us", std::to_string(exchangeUs)});
    if (!board.ok()) {
        std::printf("simulator: %s\n", board.error().c_str());
        return 1;
    }
    const std::string file = board.tempDir() + "/image.bin";
    const std::string oldRandom = randomBytes(size, 1), newRandom = randomBytes(size, 2);
    std::string changed = oldRandom;
    changed.replace(size / 4, size / 4, randomBytes(size / 4, 3));
    std::string padded = newRandom;
    padded.replace(size / 4, size - size / 4, std::string(size - size / 4, '\xFF'));
    struct Case {
        const char* name;
        const std::string* before;  // null: what the plain run left (the same file again)
        const std::string* image;
        double target;              // plain time / skip-same time at least
        const char* targetText;
    } cases[] = {
        {"identical (second run of the same file)", nullptr, &newRandom, 5.0, ">= 5x faster"},
        {"1 MiB of 4 changed", &oldRandom, &changed, 2.0, ">= 2x faster"},
        {"3/4 0xFF padding over random contents", &oldRandom, &padded, 2.0, ">= 2x faster"},
        {"random over random contents", &oldRandom, &newRandom, 1 / 1.2, "<= 1.2x slower"},
    };
    std::printf("spi-program-bin of %zu MiB at 0, zorvisim --exchange-us %u\n", size >> 20, exchangeUs);
    bool met = true;
    for (const Case& c : cases) {
        Run plain, skip;
        if (!e2e::writeFile(file, *c.image) || !setChip(board, c.before != nullptr ? *c.before : oldRandom) ||
            !program(board, file, false, &plain))
            return 1;
        if ((c.before != nullptr && !setChip(board, *c.before)) || !program(board, file, true, &skip)) return 1;
        const double ratio = plain.seconds / skip.seconds;
        met = met && ratio >= c.target;
        // The exchange counts do not depend on the machine's load; the times
        // do (a read exchange's 255-byte reply costs the tool more than a
        // short one).
        std::printf("%-40s plain %7.2f s %6zu exchanges | +skip-same %7.2f s %6zu exchanges | time ratio %.2f "
                    "(target %s), exchange ratio %.2f\n",
                    c.name, plain.seconds, plain.exchanges, skip.seconds, skip.exchanges, ratio, c.targetText,
                    double(plain.exchanges) / double(skip.exchanges));
        std::fflush(stdout);
    }
    std::printf(met ? "all targets met\n" : "a target was missed\n");
    return met ? 0 : 2;
}
