#include <cstdio>

#include "cli/main_program.h"

int main(int argc, char** argv) {
    const Result r = runZorviutil(argc, argv);
    std::fflush(stdout);
    return static_cast<int>(r);
}
