// The rows of zorvisim's options: one per option, in the order --help lists
// them, with text rows between them. The parser (option_rows.cpp) applies
// them; the help layout (help_layout.cpp) prints them.
#pragma once

#include <span>

#include "core/options.h"

namespace zsim {

class OptionArgs;

/// One option, or (no synopsis) a text of the --help output. The synopsis
/// starts with the option's names ("-h, --help"); an option without help
/// text is described by the text around it. In a text, "%PARTS%" stands for
/// the SPI part list and "%FAULTS%" for the fault kinds and their
/// shorthands.
struct OptionRow {
    const char* synopsis;
    const char* help;  ///< lines after the synopsis column
    bool (*apply)(OptionArgs& a, SimOptions& o);
};

std::span<const OptionRow> optionRows();

}  // namespace zsim
