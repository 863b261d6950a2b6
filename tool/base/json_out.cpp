#include "base/json_out.h"

#include "base/result_code_texts.h"

namespace {
JsonRun* gRun = nullptr;

/// Length of the valid UTF-8 sequence at p (at most `left` bytes), or 0.
size_t utf8Length(const unsigned char* p, size_t left) {
    const unsigned char c = p[0];
    size_t n;
    uint32_t cp;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        cp = c & 0x1Fu;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        cp = c & 0x0Fu;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        cp = c & 0x07u;
    } else {
        return 0;
    }
    if (n > left) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3Fu);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not text.
    static const uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    return n;
}
}  // namespace

bool jsonMode() { return gRun != nullptr; }

JsonRun::JsonRun() : previous_(gRun) { gRun = this; }
JsonRun::~JsonRun() { gRun = previous_; }

void jsonDocument(Json document) {
    if (gRun != nullptr) gRun->document_ = std::move(document);
}

void jsonSummary(const char* key, Json value) {
    if (gRun != nullptr) gRun->summary_[key] = std::move(value);
}

void jsonSummaryFields(const Json& fields) {
    if (gRun == nullptr) return;
    for (const auto& item : fields.items()) gRun->summary_[item.key()] = item.value();
}

void jsonFailureFields(const Json& fields) {
    if (gRun == nullptr) return;
    for (const auto& item : fields.items()) gRun->failure_[item.key()] = item.value();
}

std::string JsonRun::finish(const char* verb, Result result, const std::string& text) const {
    Json doc;
    if (result != kOk) {
        doc["error"] = {{"code", result}, {"name", resultCodeName(result)}, {"message", boardText(text)}};
        for (const auto& item : failure_.items()) doc[item.key()] = item.value();
    } else if (!document_.is_null()) {
        doc = document_;
    } else {
        // A writing verb, or a reading verb without a document of its own:
        // what was done, its fields, and the text it printed.
        doc["verb"] = verb != nullptr ? boardText(verb, std::char_traits<char>::length(verb)) : "";
        doc["result"] = {{"code", result}, {"name", resultCodeName(result)}};
        for (const auto& item : summary_.items()) doc[item.key()] = item.value();
        doc["message"] = boardText(text);
    }
    return dumpJson(doc) + "\n";
}

std::string boardText(const void* bytes, size_t length) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    std::string s;
    s.reserve(length);
    for (size_t i = 0; i < length;) {
        const size_t n = utf8Length(p + i, length - i);
        if (n == 0) {
            // The byte as a code point below U+0100, written in UTF-8.
            s += static_cast<char>(0xC0 | (p[i] >> 6));
            s += static_cast<char>(0x80 | (p[i] & 0x3F));
            ++i;
        } else {
            s.append(reinterpret_cast<const char*>(p + i), n);
            i += n;
        }
    }
    return s;
}

std::string dumpJson(const Json& document) {
    // Every string went through boardText, so the handler never acts; it is
    // there so that a stray byte can never stop the program.
    return document.dump(2, ' ', true, Json::error_handler_t::replace);
}
