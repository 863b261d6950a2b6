#include "core/options.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "devices/spi_parts.h"

namespace zsim {
namespace {

// Decimal, or hexadecimal after "0x"/"0X"; the whole word must convert.
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

// Hexadecimal with or without "0x" (card types are written in hex).
bool parseHex(const std::string& text, uint32_t& value) {
    std::string t = text;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (t.empty() || t.size() > 8) return false;
    return parseNumber("0x" + t, 0xFFFFFFFFu, value);
}

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

struct FaultName {
    const char* name;
    FaultKind kind;
    bool needsParam;
    uint32_t defaultParam;
};
const FaultName kFaultNames[] = {
    {"no-reply", FaultKind::NoReply, false, 0},   {"late", FaultKind::LateReply, false, 2000},
    {"short", FaultKind::ShortReply, false, 0},   {"wrong-code", FaultKind::WrongCode, false, 0},
    {"status", FaultKind::Status, true, 0},       {"noise", FaultKind::Noise, false, 8},
    {"oversize", FaultKind::Oversize, false, 16}, {"restart", FaultKind::Restart, false, 0},
    {"hangup", FaultKind::HangUp, false, 0},
};

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
    const FaultName* found = nullptr;
    for (const FaultName& f : kFaultNames)
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
    if (found->needsParam && !hasParam) {
        error = "fault '" + text + "' needs =VALUE";
        return false;
    }
    if (hasParam && !parseNumber(param, found->kind == FaultKind::Status ? 0xFF : 0xFFFFFF, fault.param)) {
        error = "bad value '" + param + "' in fault '" + text + "'";
        return false;
    }
    return true;
}

// What an option's row is handed: the words of the command line, where the
// option stands, and the error to fill in.
class OptionArgs {
public:
    OptionArgs(const std::vector<std::string>& args, size_t& i, std::string& error)
        : args_(args), i_(i), error_(error) {}

    bool fail(const std::string& message) {
        error_ = message;
        return false;
    }
    /// The word after the option.
    bool value(std::string& v) {
        if (i_ + 1 >= args_.size()) return fail("option '" + args_[i_] + "' needs a value");
        v = args_[++i_];
        return true;
    }
    /// The word after the option, split at its first '=' (`right` empty
    /// without one).
    bool split(std::string& word, std::string& left, std::string& right) {
        if (!value(word)) return false;
        const size_t eq = word.find('=');
        left = word.substr(0, eq);
        right = eq == std::string::npos ? "" : word.substr(eq + 1);
        return true;
    }
    /// The number after the option, at most `limit`; `out` is set only when it is good.
    template <class T>
    bool number(T& out, uint64_t limit) {
        std::string v;
        uint32_t n = 0;
        if (!value(v)) return false;
        if (!parseNumber(v, limit, n)) return fail("bad number '" + v + "' for '" + args_[i_ - 1] + "'");
        out = static_cast<T>(n);
        return true;
    }
    /// A fault: `kind` (e.g. "late@", empty for --fault) and the value.
    bool fault(const std::string& kind, SimOptions& o) {
        std::string v;
        FaultSpec f;
        if (!value(v) || !parseFault(kind + v, f, error_)) return false;
        o.faults.push_back(f);
        return true;
    }
    /// Every word after the option (--run).
    bool rest(std::vector<std::string>& words) {
        if (i_ + 1 >= args_.size()) return fail("--run needs a command");
        words.assign(args_.begin() + static_cast<long>(i_) + 1, args_.end());
        i_ = args_.size();
        return true;
    }

private:
    const std::vector<std::string>& args_;
    size_t& i_;
    std::string& error_;
};

bool readCount(OptionArgs& a, std::optional<uint32_t>& reads, const char* option) {
    std::string v;
    uint32_t n = 0;
    if (!a.value(v)) return false;
    if (v == "never")
        reads.reset();
    else if (parseNumber(v, 0xFFFFFFFFu, n))
        reads = n;
    else
        return a.fail("bad value '" + v + "' for '" + option + "' (a number or never)");
    return true;
}

// One row per option, in the order --help lists them, with text rows (no
// synopsis) between them. The synopsis starts with the option's names
// ("-h, --help"); a row without help text is described by the text around
// it.
struct OptionRow {
    const char* synopsis;
    const char* help;  ///< lines after the synopsis column
    bool (*apply)(OptionArgs& a, SimOptions& o);
};

using A = OptionArgs;
using O = SimOptions;

const OptionRow kOptionRows[] = {
    {nullptr, R"(Usage: zorvisim [options] [--run CMD ARGS...]

A simulated board-management microcontroller. zorvisim opens a pseudo-
terminal, prints its path as the first line of standard output and answers
uC requests framed on it (and on a Unix socket for libtobra.so/libquenta.so)
until SIGTERM or SIGINT.

Board:
)", nullptr},
    {"--model DRAWING", "drawing number of the board (default 1353, a\nCARD-A27; --list-models shows them all)",
     [](A& a, O& o) { return a.number(o.model, 0xFFFFFFFFu) && (o.identityGiven = true); }},
    {"--serial N", "board serial number in the VPD (default 100001)",
     [](A& a, O& o) { return a.number(o.serial, 0xFFFFFFFFu) && (o.identityGiven = true); }},
    {"--service", "start in service mode (the service switch)", [](A&, O& o) { return o.service = true; }},
    {"--boot-switches MODE", "boot mode 0..15 the board's switches select\n(default 1), driven while the uC leaves it to them",
     [](A& a, O& o) { return a.number(o.bootSwitches, 15); }},
    {"--product-ids SET",
     "standard or normal (721/720, default), alt (1321/1320) or\nxdma (0x2D100/0x2D000): normal/service product IDs",
     [](A& a, O& o) {
         std::string v;
         if (!a.value(v)) return false;
         if (v == "standard" || v == "normal")
             o.productIds = ProductIdSet::Standard;
         else if (v == "alt")
             o.productIds = ProductIdSet::Alt;
         else if (v == "xdma")
             o.productIds = ProductIdSet::Xdma;
         else
             return a.fail("--product-ids must be standard, alt or xdma");
         return true;
     }},
    {"--product-id N", "report N in both modes (e.g. an unknown firmware)",
     [](A& a, O& o) { return a.number(o.productIdOverride, 0xFFFFFFFFu); }},
    {"--silent-unknown", "no reply to unknown commands (default: the reply\n{group, command & 0x7F, 0xFF})",
     [](A&, O& o) { return o.silentUnknown = true; }},
    {"--sensor-seconds S", "sensor readings as they are S seconds after power-on,\nevery time (default: they follow the clock)",
     [](A& a, O& o) { return a.number(o.sensorSeconds, 0xFFFFFFFFu); }},
    {nullptr, "\nVPD record (Request VPD and the flash copy at 0x1FF00):\n", nullptr},
    {"--vpd-bad-checksum", "store a wrong checksum",
     [](A&, O& o) { return o.vpdBadChecksum = o.identityGiven = true; }},
    {"--vpd-version N", "data structure version (checksum kept right)",
     [](A& a, O& o) { return a.number(o.vpdVersion, 0xFFFF) && (o.identityGiven = true); }},
    {"--vpd-length N", "data structure length (checksum kept right)",
     [](A& a, O& o) { return a.number(o.vpdLength, 0xFFFF) && (o.identityGiven = true); }},
    {"--vpd-drawing N", "drawing number in the record, even an unknown one",
     [](A& a, O& o) { return a.number(o.vpdDrawing, 0xFFFFFFFFu) && (o.identityGiven = true); }},
    {nullptr, "\nService mode faults:\n", nullptr},
    {"--page-write-fail PAGE[=STATUS]",
     "a write of flash page number PAGE (or all) fails\nwith STATUS (default 0x07); nothing is written",
     [](A& a, O& o) {
         std::string v, page, status;
         uint32_t n = 0;
         if (!a.split(v, page, status)) return false;
         if (page == "all")
             o.pageWriteFailPage = 0xFFFFFFFFu;
         else if (parseNumber(page, 0xFFFF, n))
             o.pageWriteFailPage = n;
         else
             return a.fail("bad page '" + page + "' for --page-write-fail");
         if (status.empty()) return true;
         if (!parseNumber(status, 0xFF, n) || n == 0)
             return a.fail("bad status '" + status + "' for --page-write-fail (1..255)");
         o.pageWriteFailStatus = static_cast<uint8_t>(n);
         return true;
     }},
    {"--refuse-switch STATUS", "enter/exit service mode answer STATUS, no switch",
     [](A& a, O& o) {
         return a.number(o.refuseSwitchStatus, 0xFF) &&
                (o.refuseSwitchStatus != 0 || a.fail("--refuse-switch needs a non-zero status"));
     }},
    {"--switch-no-effect", "enter/exit answer 0 but the mode stays", [](A&, O& o) { return o.switchNoEffect = true; }},
    {nullptr, R"(
Faults (repeatable): --fault KIND@WHEN[=PARAM]
  WHEN is N (the Nth request received, counting from 1), N+ (the Nth and
  every later one), all, or GG.CC
  (every request with group GG and command CC, in hex, e.g. 03.83). For
  example --fault late@2=1500 delays the second reply by 1.5 s (late=1500@2
  is taken too). KIND and PARAM:
  no-reply                 no reply at all
  late[=MS]                the reply after MS milliseconds (default 2000)
  short                    only the first byte of the reply
  wrong-code               reply byte 1 plus one (03 06 becomes 03 07)
  status=S                 reply byte 2 (the status byte) set to S
  noise[=N]                N bytes of line noise before the frame (default 8)
  oversize[=N]             N extra bytes at the end of the reply (default 16)
  restart                  a half frame (0x01, code, junk) before the reply
  hangup                   no reply: the line drops (the pseudo-terminal is
                           closed for good, a PCIe client is disconnected);
                           the board still acts on the request
  Shorthands: --no-reply WHEN, --late-reply WHEN=MS, --short-reply WHEN,
  --wrong-code WHEN, --status WHEN=S, --noise WHEN[=N], --oversize WHEN[=N],
  --restart-frame WHEN.
  WHEN may also be spiN: the Nth SPI request (05 90 and 05 91 counted
  together from 1), e.g. --fault no-reply@spi7.
)", nullptr},
    // Shorthands: --late-reply 2=500 is --fault late@2=500.
    {"--fault", nullptr, [](A& a, O& o) { return a.fault("", o); }},
    {"--no-reply", nullptr, [](A& a, O& o) { return a.fault("no-reply@", o); }},
    {"--late-reply", nullptr, [](A& a, O& o) { return a.fault("late@", o); }},
    {"--short-reply", nullptr, [](A& a, O& o) { return a.fault("short@", o); }},
    {"--wrong-code", nullptr, [](A& a, O& o) { return a.fault("wrong-code@", o); }},
    {"--status", nullptr, [](A& a, O& o) { return a.fault("status@", o); }},
    {"--noise", nullptr, [](A& a, O& o) { return a.fault("noise@", o); }},
    {"--oversize", nullptr, [](A& a, O& o) { return a.fault("oversize@", o); }},
    {"--restart-frame", nullptr, [](A& a, O& o) { return a.fault("restart@", o); }},
    {nullptr, "\nSPI flash (requests 05 90 transfer, 05 91 control):\n", nullptr},
    {"--spi-chip INDEX=PART",
     "put PART at chip index INDEX (repeatable); PART is\na part below, absent (the index is valid but no\nchip "
     "answers: MISO reads 0xFF) or none (the uC\nrefuses the index). Default: mt25qu01g at index 0,\nand on "
     "drawings 1400 and up mx66l2g45g at index 1.\nWith no index left the board has no SPI flash.",
     [](A& a, O& o) {
         std::string v, index, part;
         uint32_t n = 0;
         if (!a.split(v, index, part)) return false;
         // Without '=' the part is empty, which names no part.
         if (!parseNumber(index, 0xFF, n) || (part != "none" && part != "absent" && findSpiPart(part) == nullptr))
             return a.fail("bad SPI chip '" + v + "' (INDEX=PART, INDEX 0..255, PART a part name, absent or none)");
         o.spiChips.emplace_back(static_cast<uint8_t>(n), part);
         return true;
     }},
    {"--spi-program-us US", "busy time after each page program (default 0)",
     [](A& a, O& o) { return a.number(o.spiProgramUs, 60000000); }},
    {"--spi-erase-us US", "busy time after each erase (default 0)",
     [](A& a, O& o) { return a.number(o.spiEraseUs, 600000000); }},
    {"--spi-powered-off", "SPI requests answer status 2 (board powered off)",
     [](A&, O& o) { return o.spiPoweredOff = true; }},
    {"--spi-stuck-busy INDEX", "that chip stays busy from its first program or\nerase on (repeatable)",
     [](A& a, O& o) {
         uint8_t index = 0;
         if (!a.number(index, 0xFF)) return false;
         o.spiStuckBusy.push_back(index);
         return true;
     }},
    {nullptr, "  Parts:\n%PARTS%\n\nClock generators (an SI5338 on I2C bus 1 at 0x70):\n", nullptr},
    {"--si5338-clkin-reads N|never", "readings of status register 218 that still show\nno input clock (default 1)",
     [](A& a, O& o) { return readCount(a, o.si5338ClkinReads, "--si5338-clkin-reads"); }},
    {"--si5338-lock-reads N|never", "readings after the soft reset that still show no\nPLL lock (default 2)",
     [](A& a, O& o) { return readCount(a, o.si5338LockReads, "--si5338-lock-reads"); }},
    {nullptr, R"(  With --state-dir, DIR/clock-overrides.txt and DIR/clock-nvmap-N.bin keep
  the override frequencies and non-volatile register maps, and
  DIR/si5338-writes.txt records every SI5338 register write since the start
  ("index=VV", one per line).

State and logging:
)", nullptr},
    {"--state-dir DIR",
     "keep the application flash (DIR/appflash.bin),\nsensor overrides (DIR/overrides.txt), the\nnon-volatile boot "
     "mode, mezzanine voltages and\nSMBus address, the I2C EEPROM and each SPI flash\nchip (DIR/spi<INDEX>-<PART>.bin, "
     "every byte stored\ncomplemented so an erased chip is a sparse file)\nacross runs; saved after each change; "
     "created\nwith its parent folders. The mode is not kept: a\nstart is a power-on.",
     [](A& a, O& o) { return a.value(o.stateDir); }},
    {"--log FILE", "append every request received, one line of hex\nbytes per request (e.g. \"03 86\")",
     [](A& a, O& o) { return a.value(o.logFile); }},
    {"--baud N",
     "the pseudo-terminal carries N bits per second in\neach direction, 10 bits per byte, as a real line\n(default 0: as "
     "fast as it goes)",
     [](A& a, O& o) { return a.number(o.baud, 100000000); }},
    {"--exchange-us N",
     "each reply on the pseudo-terminal leaves no sooner\nthan N microseconds after its request arrived, as\non a "
     "USB virtual COM port, where the USB frames\nand the uC's polling set an exchange's time rather\nthan the bit "
     "rate (default 0: at once); with\n--baud the line time comes on top",
     [](A& a, O& o) { return a.number(o.exchangeUs, 10000000); }},
    {nullptr, "\nPCIe stand-ins (libtobra.so, libquenta.so):\n", nullptr},
    {"--pcie-socket PATH",
     "listen there (default /tmp/zorvisim-pcie.sock);\nthe libraries use $ZORVISIM_PCIE_SOCKET or that\ndefault",
     [](A& a, O& o) { return a.value(o.pcieSocket); }},
    {"--no-pcie", "do not open the socket", [](A&, O& o) { return o.noPcie = true; }},
    {"--pcie-tcp PORT",
     "also listen on TCP port PORT of 127.0.0.1 (0: a\nfree one, told on standard error), for the\nWindows stand-ins "
     "(tobra.dll, quenta.dll), which\nuse $ZORVISIM_PCIE_PORT or 47386",
     [](A& a, O& o) { return a.number(o.pcieTcpPort, 65535); }},
    {"--card-type HEX", "card type from TOBRA_GetUniqueId (default 117)",
     [](A& a, O& o) {
         std::string v;
         return a.value(v) && (parseHex(v, o.cardType) || a.fail("bad card type '" + v + "' (hexadecimal)"));
     }},
    {"--card-serial N", "card serial number (default 100001)",
     [](A& a, O& o) { return a.number(o.cardSerial, 0xFFFFFFFFu); }},
    {nullptr, "\nRunning a command:\n", nullptr},
    {"--run CMD ARGS...",
     "start the board, run CMD with \"{port}\" in its\narguments replaced by the pty path and \"{socket}\"\nby the "
     "socket path (ZORVISIM_PCIE_SOCKET is set\nfor it, and LD_LIBRARY_PATH leads to the PCIe\nstand-ins of an "
     "installed zorvisim), then exit\nwith its exit status; the pty path goes to\nstandard error, standard output "
     "is CMD's alone",
     [](A& a, O& o) { return a.rest(o.runCommand); }},
    {nullptr, "\nInformation:\n", nullptr},
    {"--list-models", "the board models: drawing number and name", [](A&, O& o) { return o.listModels = true; }},
    {"--version", "zorvisim's version", [](A&, O& o) { return o.version = true; }},
    {"-h, --help", "this text", [](A&, O& o) { return o.help = true; }},
};

// Whether `arg` is one of the names a synopsis starts with.
bool names(const char* synopsis, const std::string& arg) {
    std::string_view s = synopsis;
    for (;;) {
        const size_t end = s.find_first_of(" ,");
        if (s.substr(0, end) == arg) return true;
        if (end == std::string_view::npos || s[end] != ',') return false;
        s.remove_prefix(end + 2);
    }
}

}  // namespace

bool parseOptions(const std::vector<std::string>& args, SimOptions& o, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const OptionRow* row = nullptr;
        for (const OptionRow& r : kOptionRows)
            if (r.synopsis != nullptr && names(r.synopsis, args[i])) row = &r;
        if (row == nullptr) {
            error = "unknown option '" + args[i] + "'";
            return false;
        }
        OptionArgs a(args, i, error);
        if (!row->apply(a, o)) return false;
    }
    return true;
}

namespace {

// The part list of --help: name, then the summary wrapped to 79 columns.
std::string partLines() {
    std::string lines;
    for (const SpiPart& p : spiParts()) {
        std::string line = "    " + p.name;
        line.resize(23, ' ');
        size_t pos = 0;
        while (pos < p.summary.size()) {
            size_t take = std::min<size_t>(p.summary.size() - pos, 79 - line.size());
            if (pos + take < p.summary.size()) {
                size_t blank = p.summary.rfind(' ', pos + take);
                if (blank != std::string::npos && blank > pos) take = blank - pos;
            }
            lines += line + p.summary.substr(pos, take) + "\n";
            pos += take;
            while (pos < p.summary.size() && p.summary[pos] == ' ') ++pos;
            line = std::string(23, ' ');
        }
    }
    return lines;
}

}  // namespace

const char* usageText() {
    static const std::string text = [] {
        // An option's help starts in column 27, on a line of its own after a
        // synopsis too long for the column.
        constexpr size_t kColumn = 27;
        std::string t;
        for (const OptionRow& r : kOptionRows) {
            if (r.synopsis == nullptr) t += r.help;
            if (r.synopsis == nullptr || r.help == nullptr) continue;
            std::string line = "  " + std::string(r.synopsis);
            if (line.size() + 2 > kColumn) {
                t += line + "\n";
                line.clear();
            }
            for (std::string_view help = r.help;;) {
                const size_t end = help.find('\n');
                line.resize(kColumn, ' ');
                t += line + std::string(help.substr(0, end)) + "\n";
                if (end == std::string_view::npos) break;
                help.remove_prefix(end + 1);
                line.clear();
            }
        }
        t.replace(t.find("%PARTS%\n"), 8, partLines());
        return t;
    }();
    return text.c_str();
}

}  // namespace zsim
