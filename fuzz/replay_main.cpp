// Runs a fuzz target over corpus files without libFuzzer, so that the
// corpus is checked by every build. Arguments: files or directories.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replayFile(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> data;
    uint8_t buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) data.insert(data.end(), buffer, buffer + n);
    fclose(f);
    LLVMFuzzerTestOneInput(data.data(), data.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        struct stat st{};
        if (stat(argv[i], &st) != 0) {
            fprintf(stderr, "cannot find %s\n", argv[i]);
            return 1;
        }
        if (!S_ISDIR(st.st_mode)) {
            if (!replayFile(argv[i])) return 1;
            ++files;
            continue;
        }
        DIR* dir = opendir(argv[i]);
        if (!dir) return 1;
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            if (!replayFile(std::string(argv[i]) + "/" + entry->d_name)) {
                closedir(dir);
                return 1;
            }
            ++files;
        }
        closedir(dir);
    }
    printf("replayed %d inputs\n", files);
    return files > 0 ? 0 : 1;
}
