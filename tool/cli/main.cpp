#include "cli/main_program.h"

int main(int argc, char** argv) { return runMain(argc, argv); }
