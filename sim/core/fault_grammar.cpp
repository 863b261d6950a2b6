#include "core/fault_grammar.h"

namespace zsim {
namespace {

const FaultKindRow kFaultKinds[] = {
    // name, kind, PARAM, required, default, limit, help, shorthand
    {"no-reply", FaultKind::NoReply, nullptr, false, 0, 0xFFFFFF, "no reply at all", "--no-reply WHEN"},
    {"late", FaultKind::LateReply, "MS", false, 2000, 0xFFFFFF, "the reply after MS milliseconds",
     "--late-reply WHEN=MS"},
    {"short", FaultKind::ShortReply, nullptr, false, 0, 0xFFFFFF, "only the first byte of the reply",
     "--short-reply WHEN"},
    {"wrong-code", FaultKind::WrongCode, nullptr, false, 0, 0xFFFFFF, "reply byte 1 plus one (03 06 becomes 03 07)",
     "--wrong-code WHEN"},
    {"status", FaultKind::Status, "S", true, 0, 0xFF, "reply byte 2 (the status byte) set to S", "--status WHEN=S"},
    {"noise", FaultKind::Noise, "N", false, 8, 0xFFFFFF, "N bytes of line noise before the frame",
     "--noise WHEN[=N]"},
    {"oversize", FaultKind::Oversize, "N", false, 16, 0xFFFFFF, "N extra bytes at the end of the reply",
     "--oversize WHEN[=N]"},
    {"restart", FaultKind::Restart, nullptr, false, 0, 0xFFFFFF, "a half frame (0x01, code, junk) before the reply",
     "--restart-frame WHEN"},
    {"hangup", FaultKind::HangUp, nullptr, false, 0, 0xFFFFFF,
     "no reply: the line drops (the pseudo-terminal is\nclosed for good, a PCIe client is disconnected);\nthe board "
     "still acts on the request",
     nullptr},
};

}  // namespace

std::span<const FaultKindRow> faultKinds() { return kFaultKinds; }

bool parseNumber(const std::string& text, uint64_t limit, uint32_t& value) {
    if (text.empty()) return false;
    int base = 10;
    size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    uint64_t v = 0;
    for (size_t i = start; i < text.size(); ++i) {
        char c = text[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (v > limit) return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

bool parseHex(const std::string& text, uint32_t& value) {
    std::string t = text;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (t.empty() || t.size() > 8) return false;
    return parseNumber("0x" + t, 0xFFFFFFFFu, value);
}

namespace {

bool parseWhen(const std::string& text, FaultWhen& when) {
    if (text == "all" || text == "*") {
        when.kind = FaultWhen::All;
        return true;
    }
    if (text.rfind("spi", 0) == 0) {
        when.kind = FaultWhen::NthSpi;
        return parseNumber(text.substr(3), 0xFFFFFFFFu, when.n) && when.n >= 1;
    }
    size_t dot = text.find('.');
    if (dot != std::string::npos) {
        uint32_t g = 0, c = 0;
        if (!parseHex(text.substr(0, dot), g) || !parseHex(text.substr(dot + 1), c) || g > 0xFF || c > 0xFF)
            return false;
        when.kind = FaultWhen::Command;
        when.group = static_cast<uint8_t>(g);
        when.command = static_cast<uint8_t>(c);
        return true;
    }
    when.kind = FaultWhen::Nth;
    std::string number = text;
    if (!number.empty() && number.back() == '+') {
        when.kind = FaultWhen::FromNth;
        number.pop_back();
    }
    return parseNumber(number, 0xFFFFFFFFu, when.n) && when.n >= 1;
}

}  // namespace

// KIND@WHEN[=PARAM], or KIND=PARAM@WHEN: the fault list names a kind with
// its value (late=MS), so that order is taken too.
bool parseFault(const std::string& given, FaultSpec& fault, std::string& error) {
    std::string text = given;
    size_t at = text.find('@');
    if (at == std::string::npos) {
        error = "fault '" + text + "' must have the form KIND@WHEN[=PARAM]";
        return false;
    }
    const size_t kindEq = text.find('=');
    if (kindEq < at) text = text.substr(0, kindEq) + text.substr(at) + text.substr(kindEq, at - kindEq);
    std::string kind = text.substr(0, at = text.find('@'));
    std::string rest = text.substr(at + 1);
    std::string param;
    bool hasParam = false;
    size_t eq = rest.find('=');
    if (eq != std::string::npos) {
        param = rest.substr(eq + 1);
        rest = rest.substr(0, eq);
        hasParam = true;
    }
    const FaultKindRow* found = nullptr;
    for (const FaultKindRow& f : kFaultKinds)
        if (kind == f.name) found = &f;
    if (found == nullptr) {
        error = "unknown fault kind '" + kind + "' in '" + text + "'";
        return false;
    }
    fault.kind = found->kind;
    fault.param = found->defaultParam;
    if (!parseWhen(rest, fault.when)) {
        error = "bad request selector '" + rest + "' in '" + text + "' (N from 1, N+, all, GG.CC or spiN)";
        return false;
    }
    if (found->paramRequired && !hasParam) {
        error = "fault '" + text + "' needs =VALUE";
        return false;
    }
    if (hasParam && !parseNumber(param, found->paramLimit, fault.param)) {
        error = "bad value '" + param + "' in fault '" + text + "'";
        return false;
    }
    return true;
}

}  // namespace zsim
