// The --help text: the option rows laid out in two columns, with the SPI
// part list and the fault kinds made from their own tables.
#include <string>
#include <string_view>

#include "core/option_rows.h"
#include "devices/spi_parts.h"

namespace zsim {
namespace {

// Option and fault help starts in column 27; the part summaries in column
// 23; nothing goes beyond column 79.
constexpr size_t kHelpColumn = 27;
constexpr size_t kPartColumn = 23;
constexpr size_t kWidth = 79;

// `left`, then each line of `help` from `column` on; `left` stands on a line
// of its own when it leaves fewer than two blanks before the column.
std::string columns(const std::string& left, std::string_view help, size_t column) {
    std::string t;
    std::string line = left;
    if (line.size() + 2 > column) {
        t += line + "\n";
        line.clear();
    }
    for (;;) {
        const size_t end = help.find('\n');
        line.resize(column, ' ');
        t += line + std::string(help.substr(0, end)) + "\n";
        if (end == std::string_view::npos) return t;
        help.remove_prefix(end + 1);
        line.clear();
    }
}

// `text` broken at blanks into lines of at most `width` characters.
std::string wrap(std::string_view text, size_t width) {
    std::string lines, line;
    while (!text.empty()) {
        const size_t blank = text.find(' ');
        const std::string_view word = text.substr(0, blank);
        text.remove_prefix(blank == std::string_view::npos ? text.size() : blank + 1);
        if (word.empty()) continue;
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines += line + "\n";
            line.clear();
        }
        if (!line.empty()) line += ' ';
        line.append(word);
    }
    return line.empty() ? lines : lines + line;
}

// The part list: name, then the summary.
std::string partLines() {
    std::string t;
    for (const SpiPart& p : spiParts()) t += columns("    " + p.name, wrap(p.summary, kWidth - kPartColumn), kPartColumn);
    return t;
}

// The fault kinds (KIND[=PARAM], its help and default), then the shorthand
// options, indented by two.
std::string faultLines() {
    std::string t, shorthands;
    for (const FaultKindRow& f : faultKinds()) {
        std::string kind = f.name, help = f.help;
        if (f.param != nullptr && f.paramRequired) kind += "=" + std::string(f.param);
        if (f.param != nullptr && !f.paramRequired) {
            kind += "[=" + std::string(f.param) + "]";
            help += " (default " + std::to_string(f.defaultParam) + ")";
        }
        t += columns("  " + kind, help, kHelpColumn);
        if (f.shorthand != nullptr) {
            shorthands += shorthands.empty() ? "Shorthands: " : ", ";
            shorthands += f.shorthand;
        }
    }
    const std::string wrapped = wrap(shorthands + ".", kWidth - 2);
    for (std::string_view lines = wrapped;;) {
        const size_t end = lines.find('\n');
        t += "  " + std::string(lines.substr(0, end)) + "\n";
        if (end == std::string_view::npos) return t;
        lines.remove_prefix(end + 1);
    }
}

void replace(std::string& text, const std::string& marker, const std::string& with) {
    const size_t at = text.find(marker);
    if (at != std::string::npos) text.replace(at, marker.size(), with);
}

}  // namespace

const char* usageText() {
    static const std::string text = [] {
        std::string t;
        for (const OptionRow& r : optionRows()) {
            if (r.synopsis == nullptr) t += r.help;
            if (r.synopsis != nullptr && r.help != nullptr) t += columns("  " + std::string(r.synopsis), r.help, kHelpColumn);
        }
        replace(t, "%PARTS%\n", partLines());
        replace(t, "%FAULTS%", faultLines());
        return t;
    }();
    return text.c_str();
}

}  // namespace zsim
