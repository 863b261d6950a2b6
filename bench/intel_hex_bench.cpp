// Intel Hex reader and writer against srec_cat on a 64 MiB image (about
// 185 MB of text): the time of each (best of three runs), the ratios, whether
// our file is byte-identical to srec_cat's, whether both read back to the
// image, and the peak memory of a read in a process of its own.
//
//   build/bin/intel_hex_bench [work folder]   (default: a new folder in /tmp)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "formats/intel_hex.h"

namespace {

constexpr size_t kImageSize = 64u << 20;
constexpr int kRuns = 3;

double bestSeconds(const std::function<bool()>& run) {
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!run()) return -1;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (took.count() < best) best = took.count();
    }
    return best;
}

bool shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// Reads a file with the reader and checks it holds the image: one section
/// at 0 of the image's bytes.
bool readsBackAs(const char* path, const std::vector<uint8_t>& expected) {
    IntelHexImagePtr image;
    if (readIntelHexFile(path, image) != HexReadResult::Ok) return false;
    return image->errorCount == 0 && image->sectionCount == 1 && image->sections[0].address == 0 &&
           image->sections[0].length == expected.size() &&
           std::memcmp(image->sections[0].data, expected.data(), expected.size()) == 0;
}

/// Peak resident memory, in MiB, of a fresh process that reads the file.
/// The child reports its own VmHWM: a forked child's ru_maxrss would count
/// the parent's pages it held before exec.
double peakMemoryOfRead(const std::string& path) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return -1;
    const std::string command = "'" + std::string(self, static_cast<size_t>(n)) + "' --read-only '" + path + "'";
    std::FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) return -1;
    double kib = -1;
    if (std::fscanf(child, "%lf", &kib) != 1) kib = -1;
    if (pclose(child) != 0) return -1;
    return kib / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--read-only") == 0) {
        IntelHexImagePtr image;
        if (readIntelHexFile(argv[2], image) != HexReadResult::Ok) return 1;
        // The peak resident size of this process, in KiB.
        std::FILE* status = std::fopen("/proc/self/status", "r");
        if (status == nullptr) return 1;
        char line[256];
        long hwm = -1;
        while (std::fgets(line, sizeof line, status) != nullptr)
            if (std::sscanf(line, "VmHWM: %ld", &hwm) == 1) break;
        std::fclose(status);
        std::printf("%ld\n", hwm);
        return hwm < 0 ? 1 : 0;
    }
    std::string dir;
    if (argc > 1) {
        dir = argv[1];
    } else {
        char name[] = "/tmp/intel_hex_bench.XXXXXX";
        if (mkdtemp(name) == nullptr) return 1;
        dir = name;
    }
    if (!shell("command -v srec_cat >/dev/null")) {
        std::printf("srec_cat is missing (Debian package srecord; scripts/install-deps.sh installs it)\n");
        return 1;
    }

    // A reproducible image without long runs of one value.
    std::vector<uint8_t> bytes(kImageSize);
    uint64_t x = 0x9E3779B97F4A7C15u;
    for (uint8_t& b : bytes) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        b = static_cast<uint8_t>(x >> 24);
    }
    const std::string bin = dir + "/image.bin";
    const std::string ours = dir + "/ours.mcs";
    const std::string theirs = dir + "/srec_cat.mcs";
    const std::string theirsBack = dir + "/srec_cat_back.bin";
    std::ofstream(bin, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));

    HexSection section{0, static_cast<uint32_t>(bytes.size()), bytes.data()};
    const IntelHexImage image{0, {}, 1, &section, nullptr, nullptr};
    const double ourWrite = bestSeconds([&] { return writeIntelHexFile(ours.c_str(), image) == HexWriteResult::Ok; });
    const double theirWrite = bestSeconds(
        [&] { return shell("srec_cat '" + bin + "' -binary -o '" + theirs + "' -intel -Output_Block_Size 16"); });
    const double ourRead = bestSeconds([&] {
        IntelHexImagePtr read;
        return readIntelHexFile(theirs.c_str(), read) == HexReadResult::Ok;
    });
    const double theirRead =
        bestSeconds([&] { return shell("srec_cat '" + theirs + "' -intel -o '" + theirsBack + "' -binary"); });
    if (ourWrite < 0 || theirWrite < 0 || ourRead < 0 || theirRead < 0) {
        std::printf("a run failed\n");
        return 1;
    }

    const std::string ourText = readAll(ours);
    const bool identical = ourText == readAll(theirs);
    const bool readBack = readsBackAs(ours.c_str(), bytes) && readsBackAs(theirs.c_str(), bytes) &&
                          readAll(theirsBack) == std::string(bytes.begin(), bytes.end());
    const double peak = peakMemoryOfRead(theirs);

    std::printf("image %zu MiB, text %.1f MB, best of %d runs\n", kImageSize >> 20, ourText.size() / 1e6, kRuns);
    std::printf("write: ours %.3f s, srec_cat %.3f s, %.1f times faster\n", ourWrite, theirWrite, theirWrite / ourWrite);
    std::printf("read:  ours %.3f s, srec_cat %.3f s, %.1f times faster\n", ourRead, theirRead, theirRead / ourRead);
    std::printf("written file identical to srec_cat's: %s\n", identical ? "yes" : "NO");
    std::printf("both files read back to the image (ours and srec_cat): %s\n", readBack ? "yes" : "NO");
    std::printf("peak memory of a read: %.1f MiB for a %zu MiB image\n", peak, kImageSize >> 20);
    if (argc <= 1) shell("rm -rf '" + dir + "'");
    return identical && readBack ? 0 : 1;
}
