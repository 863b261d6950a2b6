#include "core/option_rows.h"

#include <string_view>

#include "devices/spi_parts.h"

namespace zsim {

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

namespace {

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
%FAULTS%  WHEN may also be spiN: the Nth SPI request (05 90 and 05 91 counted
  together from 1), e.g. --fault no-reply@spi7.
)", nullptr},
    // The shorthands (--late-reply 2=500 is --fault late@2=500) are the
    // fault kinds' own.
    {"--fault", nullptr, [](A& a, O& o) { return a.fault("", o); }},
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

std::span<const OptionRow> optionRows() { return kOptionRows; }

bool parseOptions(const std::vector<std::string>& args, SimOptions& o, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        OptionArgs a(args, i, error);
        const OptionRow* row = nullptr;
        for (const OptionRow& r : kOptionRows)
            if (r.synopsis != nullptr && names(r.synopsis, args[i])) row = &r;
        if (row != nullptr) {
            if (!row->apply(a, o)) return false;
            continue;
        }
        const FaultKindRow* shorthand = nullptr;
        for (const FaultKindRow& f : faultKinds())
            if (f.shorthand != nullptr && names(f.shorthand, args[i])) shorthand = &f;
        if (shorthand == nullptr) {
            error = "unknown option '" + args[i] + "'";
            return false;
        }
        if (!a.fault(std::string(shorthand->name) + "@", o)) return false;
    }
    return true;
}

}  // namespace zsim
