#include <cstdio>

#include "cli/main_program.h"
#include "link/connection.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    // Ctrl-C and termination requests stop the verb between two exchanges,
    // so the link is closed and files are settled before the process ends.
    platform::installStopHandlers();
    const Result r = runZorviutil(argc, argv);
    reportStopRequest();
    std::fflush(stdout);
    // Stopped on request: end as stopped, for the calling shell to see.
    platform::honourStopRequest();
    return static_cast<int>(r);
}
