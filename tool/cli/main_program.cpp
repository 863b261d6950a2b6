#include "cli/main_program.h"

Result runZorviutil(int, char**) { return kCommandLineError; }
