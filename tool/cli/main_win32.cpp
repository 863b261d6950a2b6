// The program's entry on Windows: the arguments arrive as UTF-16 and are
// handed on as UTF-8, the program's text inside.
#include <string>
#include <vector>

#include "cli/main_program.h"
#include "platform/platform.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    args.reserve(static_cast<size_t>(argc));
    for (int i = 0; i < argc; ++i) args.push_back(platform::utf8FromWide(argv[i]));
    std::vector<const char*> pointers;
    for (const std::string& a : args) pointers.push_back(a.c_str());
    pointers.push_back(nullptr);
    return runMain(argc, pointers.data());
}
