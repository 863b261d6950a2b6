// Machine output (+json). A reading verb hands its answer over as one JSON
// document; a writing verb adds fields to a summary object. The main program
// holds back every text line while +json is on and prints, at the end, the
// document, the summary, or an error object whose message is the text the
// failure printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "base/no_copy.h"
#include "base/result_codes.h"

/// Object keys keep the order they were added in, so documents read in the
/// order the text output has.
using Json = nlohmann::ordered_json;

/// True while the +json option is on.
bool jsonMode();

/// Collects the run's machine output; the main program creates one when +json
/// is given, and nothing else does.
class JsonRun : NoCopy {
public:
    JsonRun();
    ~JsonRun();
    /// The text to print for a run of `verb` that ended with `result` and
    /// printed `text` (the held-back lines): one JSON document and a newline.
    std::string finish(const char* verb, Result result, const std::string& text) const;

private:
    friend void jsonDocument(Json document);
    friend void jsonSummary(const char* key, Json value);
    friend void jsonSummaryFields(const Json& fields);
    friend void jsonFailureFields(const Json& fields);
    Json document_;
    Json summary_;
    Json failure_;
    JsonRun* previous_;
};

/// Sets the document of a reading verb (no-op without +json).
void jsonDocument(Json document);
/// Adds one field to a writing verb's summary (no-op without +json).
void jsonSummary(const char* key, Json value);
/// Adds every field of the object `fields` to the summary.
void jsonSummaryFields(const Json& fields);
/// Sets fields that the error document carries beside "error" should the
/// run fail: what a writing verb had sent to the flash by then. A later
/// call replaces the value of a field given again.
void jsonFailureFields(const Json& fields);

/// A string from the board (VPD text, a label): bytes of valid UTF-8 stay as
/// they are, every other byte is taken as the character of the same number,
/// so nothing is lost and the output stays valid JSON.
std::string boardText(const void* bytes, size_t length);
inline std::string boardText(const std::string& text) { return boardText(text.data(), text.size()); }

/// The one way documents are written: indented by two, every character
/// outside ASCII escaped.
std::string dumpJson(const Json& document);
