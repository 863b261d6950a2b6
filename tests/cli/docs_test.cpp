// The result-code texts and the generated documentation hold to the
// program's own tables: a code, verb or option missing from them fails here.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "base/result_code_texts.h"
#include "cli/main_program.h"
#include "cli/verb_table.h"

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

/// How a word stands in roff: hyphens as minus signs.
std::string roffWord(const std::string& word) { return std::regex_replace(word, std::regex("-"), "\\-"); }

TEST(ResultCodeTexts, NameEveryCodeOfTheHeaderOnce) {
    const std::string header = readFile(ZORVI_SOURCE_DIR "/tool/base/result_codes.h");
    std::set<Result> declared;
    const std::regex code(R"(\bk\w+ = (\d+),)");
    for (std::sregex_iterator it(header.begin(), header.end(), code), end; it != end; ++it)
        declared.insert(static_cast<Result>(std::stoul((*it)[1])));
    ASSERT_GT(declared.size(), 50u);
    uint32_t count = 0;
    const ResultCodeText* texts = resultCodeTexts(&count);
    std::set<Result> described;
    for (uint32_t i = 0; i < count; ++i) {
        SCOPED_TRACE(texts[i].code);
        EXPECT_TRUE(i == 0 || texts[i].code > texts[i - 1].code) << "not ascending";
        EXPECT_TRUE(texts[i].meaning != nullptr && texts[i].meaning[0] != '\0');
        described.insert(texts[i].code);
    }
    EXPECT_EQ(described, declared);
}

TEST(ManPages, ListEveryVerbOptionCodeAndSimulatorOption) {
    const std::string page = readFile(ZORVI_DOC_DIR "/zorviutil.1");
    std::string completion = readFile(ZORVI_DOC_DIR "/zorviutil.bash");
    completion = completion.substr(completion.find("_zorviutil_verbs="));
    completion = completion.substr(0, completion.find('\n'));  // the verbs line
    if (page.empty()) GTEST_SKIP() << "documentation not built (ZORVI_DOCS=OFF)";
    uint32_t count = 0;
    const VerbRow* verbs = verbTable(&count);
    for (uint32_t i = 0; i < count; ++i) {
        const std::string verb = verbs[i].name;
        SCOPED_TRACE(verb);
        EXPECT_NE(page.find(".TP\n\\fB" + roffWord(verb) + "\\fR"), std::string::npos);
        EXPECT_TRUE(std::regex_search(completion, std::regex("[\" ]" + verb + "[\" ]")));
    }
    CommandLineOption options[kProgramOptionCount] = {};
    fillProgramOptions(options);
    for (const CommandLineOption& o : options) {
        SCOPED_TRACE(o.name);
        EXPECT_NE(page.find("\\fB\\-" + std::string(o.name) + "\\fR"), std::string::npos);
    }
    const ResultCodeText* texts = resultCodeTexts(&count);
    for (uint32_t i = 0; i < count; ++i)
        EXPECT_NE(page.find(".B " + std::to_string(texts[i].code) + "\n"), std::string::npos) << texts[i].code;

    // zorvisim(1) carries every option of zorvisim's --help.
    const std::string simPage = readFile(ZORVI_DOC_DIR "/zorvisim.1");
    std::string help;
    if (FILE* p = popen(ZORVI_BIN_DIR "/zorvisim --help", "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) help.append(buffer, n);
        pclose(p);
    }
    const std::regex option(R"((^|\s)(--[a-z][a-z-]*))");
    int seen = 0;
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it, ++seen) {
        SCOPED_TRACE((*it)[2].str());
        EXPECT_NE(simPage.find("\\fB" + roffWord((*it)[2])), std::string::npos);
    }
    EXPECT_GT(seen, 20);
}

}  // namespace
