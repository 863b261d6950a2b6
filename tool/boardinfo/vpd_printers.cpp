// The text of a decoded VPD layout: one line per item, its label from the
// line table and its value in the format of the line's kind.

#include "base/out.h"
#include "boardinfo/vpd_layouts.h"
#include "boardinfo/vpd_record.h"

namespace {

const char* orUnrecognized(const char* text) { return text != nullptr ? text : "UNRECOGNIZED"; }

/// The value part of a memory size line (the label is printed by the caller).
void printSize(uint64_t size, VpdSizeRule rule) {
    // Quotients are printed as 32-bit values, as the line formats have them.
    // Decision: sizes of 2^62 bytes or more (no board comes near them; only a
    // damaged record holds such codes) print what this arithmetic gives, for
    // example 0 GiB for 2^62 bytes, rather than a message of their own.
    if (rule == VpdSizeRule::NotFittedIfZero && size == 0) {
        out("NOT FITTED\n");
    } else if (rule == VpdSizeRule::Zbt) {
        if (size >= (uint64_t{1} << 20)) {
            out("%u MiB\n", static_cast<unsigned>(size >> 20));
        } else {
            out("%u kiB\n", static_cast<unsigned>(size >> 10));
        }
    } else if (size >= (uint64_t{1} << 30)) {
        out("%u GiB\n", static_cast<unsigned>(size >> 30));
    } else {
        out("%u MiB\n", static_cast<unsigned>(size >> 20));
    }
}

/// The value part of a ranks line.
void printRanks(uint8_t ranks) {
    const unsigned dies = ranks & 0x7Fu;
    out("%s\n", vpdRanksText(ranks).c_str());
    if ((ranks & 0x80u) != 0) {
        if (dies < 2) out("*** ERROR: Multi-die flag 0x80 is present, but no. of dies < 2\n");
    } else if (dies != 1 && dies != 2) {
        // A count of 0 lands here too: it is as wrong as a count above 2.
        out("*** ERROR: Multi-die flag 0x80 is absent, but no. of dies > 2\n");
    }
}

/// An unterminated ASCII field of at most 8 bytes, up to the first NUL.
/// Bytes outside printable ASCII are shown as '.', as in the raw dump, so a
/// damaged record cannot put control sequences on the user's terminal.
struct VpdText {
    char text[9] = {};
    explicit VpdText(const VpdItem& item) {
        for (size_t i = 0; i < item.byteCount && item.bytes[i] != 0; ++i) {
            const uint8_t c = item.bytes[i];
            text[i] = (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '.';
        }
    }
};

// The column the values start in, after two blanks and the label.
constexpr const char* kValueColumn = "                                     ";

/// Hexadecimal digits of a line's number (at least).
int hexDigits(VpdShow show) {
    switch (show) {
        case VpdShow::Word:
        case VpdShow::Clock:
            return 8;
        case VpdShow::WideChoice:
        case VpdShow::Ddr4Frequency:
        case VpdShow::Frequency:
        case VpdShow::HbmFrequency:
            return 4;
        case VpdShow::ShortClock:
            return 1;
        default:
            return 2;
    }
}

void printItem(const VpdItem& item) {
    const VpdLineRow& row = vpdLineRow(item.line);
    const unsigned v = item.value;
    if (row.show == VpdShow::Bit) {
        out("%s=> %s%s\n", kValueColumn, row.label, orUnrecognized(item.text));
        return;
    }
    if (row.show == VpdShow::ChipClass) {
        if (item.text != nullptr) {
            out("%s=> %s (000%u)\n", kValueColumn, item.text, v);
        } else {
            out("%s=> UNRECOGNISED DDR4 CHIP CLASS %u(0x%X)\n", kValueColumn, v, v);
        }
        return;
    }
    out("  %-35s", vpdItemName(row.label, item).c_str());
    if (row.show == VpdShow::Text) {
        out("\"%s\"\n", VpdText(item).text);
        return;
    }
    if (row.show == VpdShow::BuildCode) {
        out("%u, %u => %s\n", item.bytes[0], item.bytes[1], vpdCustomBuildText(item.bytes[0], item.bytes[1]).c_str());
        return;
    }
    // The number in decimal and hexadecimal, then what it means.
    out("%u (0x%0*X)", v, hexDigits(row.show), v);
    switch (row.show) {
        case VpdShow::Revision:
            out(" => %u.%u\n", v >> 4, v & 0xFu);
            break;
        case VpdShow::Choice:
        case VpdShow::WideChoice:
            out(" => %s\n", orUnrecognized(item.text));
            break;
        case VpdShow::Clock:
        case VpdShow::ShortClock:
            out(" Hz\n");
            break;
        case VpdShow::Ddr4Frequency:
            out(" => %u MHz / DDR4-%u\n", vpdFrequencyMhz(v), vpdDdr4DataRate(v));
            break;
        case VpdShow::Frequency:
        case VpdShow::HbmFrequency:
            // The HBM frequency is truncated, the others rounded.
            out(" => %u MHz\n", row.show == VpdShow::Frequency ? vpdFrequencyMhz(v) : v / 10);
            break;
        case VpdShow::Size:
            out(" => ");
            printSize(item.size, item.sizeRule);
            break;
        case VpdShow::Ranks:
            out(" => ");
            printRanks(static_cast<uint8_t>(v));
            break;
        default:  // Byte, Word: the number alone
            out("\n");
            break;
    }
}

}  // namespace

void printVpdItems(const VpdRecord& record) {
    for (const VpdItem& item : record.items) printItem(item);
}
