#include "core/options.h"

#include <algorithm>
#include <cstdlib>

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

}  // namespace

bool parseOptions(const std::vector<std::string>& args, SimOptions& o, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) {
                error = "option '" + a + "' needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        auto number = [&](uint32_t& n, uint64_t limit) {
            std::string v;
            if (!value(v)) return false;
            if (!parseNumber(v, limit, n)) {
                error = "bad number '" + v + "' for '" + a + "'";
                return false;
            }
            return true;
        };
        std::string v;
        uint32_t n = 0;
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--list-models") {
            o.listModels = true;
        } else if (a == "--model") {
            if (!number(o.model, 0xFFFFFFFFu)) return false;
            o.identityGiven = true;
        } else if (a == "--serial") {
            if (!number(o.serial, 0xFFFFFFFFu)) return false;
            o.identityGiven = true;
        } else if (a == "--service") {
            o.service = true;
        } else if (a == "--boot-switches") {
            if (!number(n, 15)) return false;
            o.bootSwitches = static_cast<uint8_t>(n);
        } else if (a == "--product-ids") {
            if (!value(v)) return false;
            if (v == "standard" || v == "normal")
                o.productIds = ProductIdSet::Standard;
            else if (v == "alt")
                o.productIds = ProductIdSet::Alt;
            else if (v == "xdma")
                o.productIds = ProductIdSet::Xdma;
            else {
                error = "--product-ids must be standard, alt or xdma";
                return false;
            }
        } else if (a == "--product-id") {
            if (!number(n, 0xFFFFFFFFu)) return false;
            o.productIdOverride = n;
        } else if (a == "--silent-unknown") {
            o.silentUnknown = true;
        } else if (a == "--vpd-bad-checksum") {
            o.vpdBadChecksum = true;
            o.identityGiven = true;
        } else if (a == "--vpd-version") {
            if (!number(n, 0xFFFF)) return false;
            o.vpdVersion = static_cast<uint16_t>(n);
            o.identityGiven = true;
        } else if (a == "--vpd-length") {
            if (!number(n, 0xFFFF)) return false;
            o.vpdLength = static_cast<uint16_t>(n);
            o.identityGiven = true;
        } else if (a == "--vpd-drawing") {
            if (!number(n, 0xFFFFFFFFu)) return false;
            o.vpdDrawing = n;
            o.identityGiven = true;
        } else if (a == "--page-write-fail") {
            if (!value(v)) return false;
            std::string page = v, status;
            size_t eq = v.find('=');
            if (eq != std::string::npos) {
                page = v.substr(0, eq);
                status = v.substr(eq + 1);
            }
            if (page == "all") {
                o.pageWriteFailPage = 0xFFFFFFFFu;
            } else if (parseNumber(page, 0xFFFF, n)) {
                o.pageWriteFailPage = n;
            } else {
                error = "bad page '" + page + "' for --page-write-fail";
                return false;
            }
            if (!status.empty()) {
                if (!parseNumber(status, 0xFF, n) || n == 0) {
                    error = "bad status '" + status + "' for --page-write-fail (1..255)";
                    return false;
                }
                o.pageWriteFailStatus = static_cast<uint8_t>(n);
            }
        } else if (a == "--refuse-switch") {
            if (!number(n, 0xFF)) return false;
            if (n == 0) {
                error = "--refuse-switch needs a non-zero status";
                return false;
            }
            o.refuseSwitchStatus = static_cast<uint8_t>(n);
        } else if (a == "--switch-no-effect") {
            o.switchNoEffect = true;
        } else if (a == "--fault") {
            if (!value(v)) return false;
            FaultSpec f;
            if (!parseFault(v, f, error)) return false;
            o.faults.push_back(f);
        } else if (a == "--no-reply" || a == "--late-reply" || a == "--short-reply" || a == "--wrong-code" ||
                   a == "--status" || a == "--noise" || a == "--oversize" || a == "--restart-frame") {
            // Shorthands: --late-reply 2=500 is --fault late@2=500.
            static const std::pair<const char*, const char*> names[] = {
                {"--no-reply", "no-reply"}, {"--late-reply", "late"},   {"--short-reply", "short"},
                {"--wrong-code", "wrong-code"}, {"--status", "status"}, {"--noise", "noise"},
                {"--oversize", "oversize"}, {"--restart-frame", "restart"}};
            std::string kind;
            for (const auto& [opt, k] : names)
                if (a == opt) kind = k;
            if (!value(v)) return false;
            FaultSpec f;
            if (!parseFault(kind + "@" + v, f, error)) return false;
            o.faults.push_back(f);
        } else if (a == "--spi-chip") {
            if (!value(v)) return false;
            size_t eq = v.find('=');
            std::string part = eq == std::string::npos ? "" : v.substr(eq + 1);
            if (eq == std::string::npos || !parseNumber(v.substr(0, eq), 0xFF, n) ||
                (part != "none" && part != "absent" && findSpiPart(part) == nullptr)) {
                error = "bad SPI chip '" + v + "' (INDEX=PART, INDEX 0..255, PART a part name, absent or none)";
                return false;
            }
            o.spiChips.emplace_back(static_cast<uint8_t>(n), part);
        } else if (a == "--spi-program-us") {
            if (!number(o.spiProgramUs, 60000000)) return false;
        } else if (a == "--spi-erase-us") {
            if (!number(o.spiEraseUs, 600000000)) return false;
        } else if (a == "--spi-powered-off") {
            o.spiPoweredOff = true;
        } else if (a == "--spi-stuck-busy") {
            if (!number(n, 0xFF)) return false;
            o.spiStuckBusy.push_back(static_cast<uint8_t>(n));
        } else if (a == "--baud") {
            if (!number(o.baud, 100000000)) return false;
        } else if (a == "--si5338-clkin-reads" || a == "--si5338-lock-reads") {
            if (!value(v)) return false;
            std::optional<uint32_t>& reads = a == "--si5338-clkin-reads" ? o.si5338ClkinReads : o.si5338LockReads;
            if (v == "never") {
                reads.reset();
            } else if (parseNumber(v, 0xFFFFFFFFu, n)) {
                reads = n;
            } else {
                error = "bad value '" + v + "' for '" + a + "' (a number or never)";
                return false;
            }
        } else if (a == "--state-dir") {
            if (!value(o.stateDir)) return false;
        } else if (a == "--log") {
            if (!value(o.logFile)) return false;
        } else if (a == "--pcie-socket") {
            if (!value(o.pcieSocket)) return false;
        } else if (a == "--no-pcie") {
            o.noPcie = true;
        } else if (a == "--pcie-tcp") {
            if (!number(n, 65535)) return false;
            o.pcieTcpPort = static_cast<uint16_t>(n);
        } else if (a == "--card-type") {
            if (!value(v)) return false;
            if (!parseHex(v, o.cardType)) {
                error = "bad card type '" + v + "' (hexadecimal)";
                return false;
            }
        } else if (a == "--card-serial") {
            if (!number(o.cardSerial, 0xFFFFFFFFu)) return false;
        } else if (a == "--run") {
            if (i + 1 >= args.size()) {
                error = "--run needs a command";
                return false;
            }
            o.runCommand.assign(args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else {
            error = "unknown option '" + a + "'";
            return false;
        }
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
        std::string t = R"(Usage: zorvisim [options] [--run CMD ARGS...]

A simulated board-management microcontroller. zorvisim opens a pseudo-
terminal, prints its path as the first line of standard output and answers
uC requests framed on it (and on a Unix socket for libtobra.so/libquenta.so)
until SIGTERM or SIGINT.

Board:
  --model DRAWING          drawing number of the board (default 1353, a
                           CARD-A27; --list-models shows them all)
  --serial N               board serial number in the VPD (default 100001)
  --service                start in service mode (the service switch)
  --boot-switches MODE     boot mode 0..15 the board's switches select
                           (default 1), driven while the uC leaves it to them
  --product-ids SET        standard or normal (721/720, default), alt (1321/1320) or
                           xdma (0x2D100/0x2D000): normal/service product IDs
  --product-id N           report N in both modes (e.g. an unknown firmware)
  --silent-unknown         no reply to unknown commands (default: the reply
                           {group, command & 0x7F, 0xFF})

VPD record (Request VPD and the flash copy at 0x1FF00):
  --vpd-bad-checksum       store a wrong checksum
  --vpd-version N          data structure version (checksum kept right)
  --vpd-length N           data structure length (checksum kept right)
  --vpd-drawing N          drawing number in the record, even an unknown one

Service mode faults:
  --page-write-fail PAGE[=STATUS]
                           a write of flash page number PAGE (or all) fails
                           with STATUS (default 0x07); nothing is written
  --refuse-switch STATUS   enter/exit service mode answer STATUS, no switch
  --switch-no-effect       enter/exit answer 0 but the mode stays

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

SPI flash (requests 05 90 transfer, 05 91 control):
  --spi-chip INDEX=PART    put PART at chip index INDEX (repeatable); PART is
                           a part below, absent (the index is valid but no
                           chip answers: MISO reads 0xFF) or none (the uC
                           refuses the index). Default: mt25qu01g at index 0,
                           and on drawings 1400 and up mx66l2g45g at index 1.
                           With no index left the board has no SPI flash.
  --spi-program-us US      busy time after each page program (default 0)
  --spi-erase-us US        busy time after each erase (default 0)
  --spi-powered-off        SPI requests answer status 2 (board powered off)
  --spi-stuck-busy INDEX   that chip stays busy from its first program or
                           erase on (repeatable)
  Parts:
%PARTS%

Clock generators (an SI5338 on I2C bus 1 at 0x70):
  --si5338-clkin-reads N|never
                           readings of status register 218 that still show
                           no input clock (default 1)
  --si5338-lock-reads N|never
                           readings after the soft reset that still show no
                           PLL lock (default 2)
  With --state-dir, DIR/clock-overrides.txt and DIR/clock-nvmap-N.bin keep
  the override frequencies and non-volatile register maps, and
  DIR/si5338-writes.txt records every SI5338 register write since the start
  ("index=VV", one per line).

State and logging:
  --state-dir DIR          keep the application flash (DIR/appflash.bin),
                           sensor overrides (DIR/overrides.txt), the
                           non-volatile boot mode, mezzanine voltages and
                           SMBus address, the I2C EEPROM and each SPI flash
                           chip (DIR/spi<INDEX>-<PART>.bin, every byte stored
                           complemented so an erased chip is a sparse file)
                           across runs; saved after each change; created
                           with its parent folders. The mode is not kept: a
                           start is a power-on.
  --log FILE               append every request received, one line of hex
                           bytes per request (e.g. "03 86")
  --baud N                 the pseudo-terminal carries N bits per second in
                           each direction, 10 bits per byte, as a real line
                           (default 0: as fast as it goes)

PCIe stand-ins (libtobra.so, libquenta.so):
  --pcie-socket PATH       listen there (default /tmp/zorvisim-pcie.sock);
                           the libraries use $ZORVISIM_PCIE_SOCKET or that
                           default
  --no-pcie                do not open the socket
  --pcie-tcp PORT          also listen on TCP port PORT of 127.0.0.1 (0: a
                           free one, told on standard error), for the
                           Windows stand-ins (tobra.dll, quenta.dll), which
                           use $ZORVISIM_PCIE_PORT or 47386
  --card-type HEX          card type from TOBRA_GetUniqueId (default 117)
  --card-serial N          card serial number (default 100001)

Running a command:
  --run CMD ARGS...        start the board, run CMD with "{port}" in its
                           arguments replaced by the pty path and "{socket}"
                           by the socket path (ZORVISIM_PCIE_SOCKET is set
                           for it, and LD_LIBRARY_PATH leads to the PCIe
                           stand-ins of an installed zorvisim), then exit
                           with its exit status; the pty path goes to
                           standard error, standard output is CMD's alone

Information:
  --list-models            the board models: drawing number and name
  --version                zorvisim's version
  -h, --help               this text
)";
        t.replace(t.find("%PARTS%\n"), 8, partLines());
        return t;
    }();
    return text.c_str();
}

}  // namespace zsim
