#include "cli/main_program.h"

int main(int argc, char** argv) { return static_cast<int>(runZorviutil(argc, argv)); }
