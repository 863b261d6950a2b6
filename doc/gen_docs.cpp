// Writes the man pages and the bash completion from the programs' own
// tables, so that neither can drift from what the programs accept:
//
//   gen_docs zorviutil-man TEMPLATE OUT              verbs, options, exit codes
//   gen_docs completion    TEMPLATE OUT              verbs, options, file arguments
//   gen_docs zorvisim-man  TEMPLATE ZORVISIM OUT     options from `ZORVISIM --help`
//   gen_docs windows-help  TEMPLATE OUT              the Windows zip's text help:
//                                                    what `zorviutil.exe -h` and
//                                                    `-h comm` print, CRLF lines
//
// A template is roff (or bash) text with lines that consist of one
// @PLACEHOLDER@; @VERSION@ may also stand inside a line.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/out.h"
#include "base/result_code_texts.h"
#include "cli/main_program.h"
#include "cli/option_parser.h"
#include "cli/verb_table.h"
#include "platform/platform.h"

namespace {

bool readText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream s(text);
    for (std::string line; std::getline(s, line);) out.push_back(line);
    return out;
}

/// Concatenates its parts. (Concatenation that starts from a literal trips a
/// false -Wrestrict warning of GCC 12 at -O3.)
template <typename... Parts>
std::string cat(const Parts&... parts) {
    std::string s;
    (s.append(parts), ...);
    return s;
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

size_t indentOf(const std::string& s) {
    size_t n = s.find_first_not_of(' ');
    return n == std::string::npos ? s.size() : n;
}

/// Text for a roff line: backslashes escaped, hyphens as minus signs where
/// they belong to options, and a line start that roff would take for a
/// request protected.
std::string roff(const std::string& text, bool minusSigns = false) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-' && minusSigns)
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

/// Bold option words (-x, --xx, +x) inside a synopsis-like text, italic for
/// the rest.
std::string roffSynopsis(const std::string& text) {
    std::string out;
    std::istringstream words(text);
    bool first = true;
    for (std::string w; words >> w; first = false) {
        if (!first) out += ' ';
        if (w[0] == '-' || w[0] == '+')
            out += cat("\\fB", roff(w, true), "\\fR");
        else
            out += cat("\\fI", roff(w), "\\fR");
    }
    return out;
}

/// Running text with the option words (--x, -x) in bold.
std::string roffProse(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i <= text.size()) {
        const size_t end = std::min(text.find(' ', i), text.size());
        const std::string word = text.substr(i, end - i);
        const bool option = word.size() > 1 && word[0] == '-' && (std::isalpha(static_cast<unsigned char>(word[1])) ||
                                                                  word[1] == '-');
        if (option) {
            const size_t stop = word.find_last_not_of(",.;:)");
            out += cat("\\fB", roff(word.substr(0, stop + 1), true), "\\fR", roff(word.substr(stop + 1)));
        } else {
            out += roff(word);
        }
        if (end < text.size()) out += ' ';
        i = end + 1;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

// --- the verb list --------------------------------------------------------

struct VerbLine {
    const VerbRow* row;
    std::string name;
    std::string arguments;           ///< as the usage shows them, e.g. "<index> <Hz>"
    std::vector<std::string> notes;  ///< note lines shown under the verb
};

/// The verbs in the order of the usage, with their argument synopsis and
/// notes, read from each row's usage lines.
std::vector<VerbLine> verbLines() {
    std::vector<VerbLine> verbs;
    uint32_t count = 0;
    const VerbRow* table = verbTable(&count);
    for (uint32_t i = 0; i < count; ++i) {
        VerbLine v{&table[i], table[i].name, "", {}};
        const std::vector<std::string> rowLines = lines(table[i].synopsis);
        for (size_t l = 0; l < rowLines.size(); ++l) {
            const std::string text = trim(rowLines[l]);
            if (l == 0) {
                const size_t space = text.find(' ');
                if (space != std::string::npos) v.arguments = text.substr(space + 1);
            } else if (indentOf(rowLines[l]) > 7 && !v.notes.empty()) {
                // Continuation lines of a note are joined to it.
                v.notes.back() += " " + text;
            } else {
                v.notes.push_back(text);
            }
        }
        verbs.push_back(v);
    }
    return verbs;
}

/// The argument words of a synopsis: "<a b>", "[c]", "...".
std::vector<std::string> argumentTokens(const std::string& synopsis) {
    std::vector<std::string> tokens;
    for (size_t i = 0; i < synopsis.size();) {
        const char c = synopsis[i];
        if (c == '<' || c == '[') {
            const size_t end = synopsis.find(c == '<' ? '>' : ']', i);
            tokens.push_back(synopsis.substr(i, end == std::string::npos ? std::string::npos : end - i + 1));
            i = end == std::string::npos ? synopsis.size() : end + 1;
        } else if (c == ' ') {
            ++i;
        } else {
            const size_t end = synopsis.find(' ', i);
            tokens.push_back(synopsis.substr(i, end == std::string::npos ? std::string::npos : end - i));
            i = end == std::string::npos ? synopsis.size() : end;
        }
    }
    return tokens;
}

bool isFileArgument(const std::string& token) { return token.find("file") != std::string::npos; }

/// The fixed words an argument allows ("<on|off>" gives on and off); words
/// with blanks ("boot mode") stand for a value and are left out.
std::vector<std::string> keywordsOf(const std::string& token) {
    std::vector<std::string> words;
    if (token.find('|') == std::string::npos) return words;
    std::string inner = token.substr(1, token.size() - 2), part;
    std::istringstream s(inner);
    while (std::getline(s, part, '|')) {
        part = trim(part);
        if (!part.empty() && part.find(' ') == std::string::npos) words.push_back(part);
    }
    return words;
}

void writeVerb(std::string& out, const VerbLine& verb) {
    out += cat(".TP\n\\fB", roff(verb.name, true), "\\fR");
    if (!verb.arguments.empty()) out += cat(" ", roffSynopsis(verb.arguments));
    out += "\n";
    out += roff(verb.row->help) + "\n";
    for (const std::string& note : verb.notes) out += cat(".br\n", roff(note), "\n");
}

/// The verbs by group and their place in it, under their group's heading.
std::string verbSection() {
    std::vector<VerbLine> verbs = verbLines();
    std::stable_sort(verbs.begin(), verbs.end(), [](const VerbLine& a, const VerbLine& b) {
        return a.row->group != b.row->group ? a.row->group < b.row->group : a.row->manPlace < b.row->manPlace;
    });
    std::string out;
    for (size_t i = 0; i < verbs.size(); ++i) {
        if (i == 0 || verbs[i].row->group != verbs[i - 1].row->group)
            out += cat(".SS ", roff(verbGroupHeading(verbs[i].row->group)), "\n");
        writeVerb(out, verbs[i]);
    }
    return out;
}

// --- options and exit codes -------------------------------------------------

struct OptionInfo {
    std::string name;
    OptionType type;
    std::string meaning;
    std::string defaultText;
};

std::vector<OptionInfo> programOptions() {
    CommandLineOption table[kProgramOptionCount] = {};
    fillProgramOptions(table);
    std::vector<OptionInfo> options;
    for (const CommandLineOption& o : table) {
        std::string shown = formatOptionValue(&o.defaultValue, o.type);
        options.push_back({o.name, o.type, o.meaning, shown});
    }
    return options;
}

std::string optionSection() {
    std::string out;
    for (const OptionInfo& o : programOptions()) {
        out += ".TP\n";
        if (o.type == OPT_BOOLEAN) {
            out += "\\fB+" + o.name + "\\fR, \\fB\\-" + o.name + "\\fR\n";
            out += roff(o.meaning) + ". \\fB+" + o.name + "\\fR turns it on, \\fB\\-" + o.name +
                   "\\fR off (the default).\n";
        } else {
            out += cat("\\fB\\-", o.name, "\\fR \\fI", optionTypeName(o.type), "\\fR\n");
            out += roff(o.meaning);
            if (!trim(o.defaultText).empty()) out += cat(" (default ", roff(trim(o.defaultText)), ")");
            out += ".\n";
        }
    }
    return out;
}

std::string exitSection() {
    std::string out;
    uint32_t count = 0;
    const ResultCodeText* texts = resultCodeTexts(&count);
    for (uint32_t i = 0; i < count; ++i)
        out += cat(".TP 6\n.B ", std::to_string(texts[i].code), "\n", roff(texts[i].meaning), " (", roff(texts[i].name),
                   ").\n");
    return out;
}

// --- completion -------------------------------------------------------------

std::string completionTables() {
    std::string verbs, options, files, keywords;
    for (const VerbLine& v : verbLines()) {
        verbs += (verbs.empty() ? "" : " ") + v.name;
        std::vector<std::string> tokens = argumentTokens(v.arguments);
        std::string positions;
        for (size_t i = 0; i < tokens.size(); ++i) {
            if (isFileArgument(tokens[i])) positions += cat(" ", std::to_string(i + 1));
            std::vector<std::string> words = keywordsOf(tokens[i]);
            if (words.empty()) continue;
            keywords += cat("    [", v.name, ",", std::to_string(i + 1), "]=\"");
            for (size_t k = 0; k < words.size(); ++k) keywords += (k ? " " : "") + words[k];
            keywords += "\"\n";
        }
        if (!positions.empty()) files += "    [" + v.name + "]=\"" + positions + " \"\n";
    }
    std::string valued;
    for (const OptionInfo& o : programOptions()) {
        if (o.type == OPT_BOOLEAN) {
            options += " +" + o.name + " -" + o.name;
        } else {
            options += " -" + o.name;
            valued += cat(valued.empty() ? "" : "|", "-", o.name, "|/", o.name);
        }
    }
    return cat("_zorviutil_verbs=\"", verbs, "\"\n_zorviutil_options=\"-h", options, "\"\n_zorviutil_valued='", valued,
               "'\ndeclare -gA _zorviutil_files=(\n", files, ")\ndeclare -gA _zorviutil_keywords=(\n", keywords, ")\n");
}

// --- zorvisim --help as roff -------------------------------------------------

std::string runForOutput(const std::string& program, const std::string& arguments) {
    std::string text;
    std::string command = "'" + program + "' " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    if (pclose(pipe) != 0) text.clear();
    return text;
}

/// Turns the option part of a --help text into roff: unindented lines are
/// subsection headings, "  -x ARG   text" rows (and "  word   text" rows)
/// become tagged paragraphs, deeper indented lines continue the row above,
/// and other two-blank lines are running text.
std::string helpToRoff(const std::string& help) {
    std::vector<std::string> all = lines(help);
    size_t i = 0;
    while (i < all.size() && !(indentOf(all[i]) == 0 && !all[i].empty() && all[i].back() == ':')) ++i;
    std::string out;
    bool inRow = false, inText = false;
    for (; i < all.size(); ++i) {
        const std::string& line = all[i];
        const size_t indent = indentOf(line);
        if (indent == line.size()) {
            inRow = inText = false;
            continue;
        }
        const std::string text = trim(line);
        if (indent == 0) {
            std::string heading = text;
            std::string rest;
            const size_t colon = heading.find(": ");
            if (colon != std::string::npos) {
                rest = heading.substr(colon + 2);
                heading = heading.substr(0, colon);
            } else if (heading.back() == ':') {
                heading.pop_back();
            }
            out += cat(".SS ", roff(heading), "\n");
            if (!rest.empty()) out += cat(".PP\n", roffSynopsis(rest), "\n");
            inRow = inText = false;
            continue;
        }
        if (indent >= 8 && (inRow || inText)) {
            out += roffProse(text) + "\n";
            continue;
        }
        const size_t gap = text.find("  ");
        const bool row = text[0] == '-' || gap != std::string::npos;
        if (row) {
            const std::string tag = gap == std::string::npos ? text : text.substr(0, gap);
            out += cat(".TP\n", tag[0] == '-' ? roffSynopsis(tag) : cat("\\fB", roff(tag), "\\fR"), "\n");
            if (gap != std::string::npos) out += roffProse(trim(text.substr(gap))) + "\n";
            inRow = true;
            inText = false;
        } else {
            if (!inText) out += ".PP\n";
            out += roffProse(text) + "\n";
            inText = true;
            inRow = false;
        }
    }
    return out;
}

// --- the Windows text help -----------------------------------------------------

/// What zorviutil prints for these arguments.
std::string helpOutput(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), platform::kProgramFileName);
    OutCapture capture;
    (void)runZorviutil(static_cast<int>(arguments.size()), arguments.data());
    return capture.take();
}

/// The usage as the Windows program prints it: the same tables, under its
/// own file name.
std::string windowsUsage() {
    std::string usage = helpOutput({"-h"});
    const std::string host = cat("Usage: ", platform::kProgramFileName, " ");
    if (usage.compare(0, host.size(), host) == 0) usage.replace(0, host.size(), "Usage: zorviutil.exe ");
    return usage;
}

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// --- templates ----------------------------------------------------------------

std::string fill(const std::string& templateText, const std::map<std::string, std::string>& parts) {
    std::string out;
    for (const std::string& line : lines(templateText)) {
        auto found = parts.find(line);
        if (found != parts.end()) {
            out += found->second;
            continue;
        }
        std::string l = line;
        for (size_t p; (p = l.find("@VERSION@")) != std::string::npos;) l.replace(p, 9, ZORVI_DOC_VERSION);
        out += l + "\n";
    }
    return out;
}

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream o(path, std::ios::binary);
    o << text;
    return static_cast<bool>(o);
}

int fail(const std::string& what) {
    std::fprintf(stderr, "gen_docs: %s\n", what.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    std::string templateText;
    if (a.size() < 3 || !readText(a[1], templateText)) return fail("usage, or template unreadable");
    const std::string mode = a[0];
    if (mode == "zorviutil-man" && a.size() == 3) {
        return writeText(a[2], fill(templateText, {{"@OPTIONS@", optionSection()},
                                                   {"@VERBS@", verbSection()},
                                                   {"@EXIT_STATUS@", exitSection()}}))
                   ? 0
                   : fail("cannot write " + a[2]);
    }
    if (mode == "completion" && a.size() == 3)
        return writeText(a[2], fill(templateText, {{"@TABLES@", completionTables()}})) ? 0 : fail("cannot write");
    if (mode == "zorvisim-man" && a.size() == 4) {
        const std::string help = runForOutput(a[2], "--help");
        if (help.empty()) return fail("no --help text from " + a[2]);
        return writeText(a[3], fill(templateText, {{"@OPTIONS@", helpToRoff(help)}})) ? 0 : fail("cannot write");
    }
    if (mode == "windows-help" && a.size() == 3) {
        const std::string text =
            fill(templateText, {{"@USAGE@", windowsUsage()}, {"@COMM_HELP@", helpOutput({"-h", "comm"})}});
        return writeText(a[2], crlf(text)) ? 0 : fail("cannot write " + a[2]);
    }
    return fail("unknown mode or wrong arguments");
}
