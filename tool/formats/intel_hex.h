// Intel Hex files (.mcs, .hex): the reader, the summary printer and the
// writer of SPI flash images.
//
// The reader turns text into an IntelHexImage: the file's data as sections
// (runs of consecutive addresses, in file order) plus the record errors it
// found. Bad records never stop it; only file-level failures do. The writer
// turns sections back into text with 32-bit (extended linear) addressing.
//
// Both are pure cores over blocks of text (HexTextSource, HexTextSink) with
// thin file wrappers; tests and the fuzzer use the in-memory forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

/// Record error codes, as stored in HexError::code and printed by the summary.
enum : uint32_t {
    kHexBadChecksum = 1,        ///< "Bad checksum for record"
    kHexUnsupportedType = 2,    ///< "Record type not supported"
    kHexNoEndOfFile = 3,        ///< "No end-of-file record was found"
    kHexRecordAfterEnd = 4,     ///< "At least one more record after end-of-file record"
    kHexMalformed = 5,          ///< "Malformed record"
    kHexEndedEarly = 6,         ///< "Record ended prematurely"
    kHexExtraCharacters = 7,    ///< "Extra characters after record"
    kHexNonprinting = 8,        ///< "Unexpected nonprinting characters encountered in record"
    kHexEndWithLength = 9,      ///< "EOF record with nonzero length field"
    kHexBadLengthForType = 10,  ///< "Length field was not the expected value for given record type"
};

/// How many record errors an image stores (all are counted).
constexpr uint32_t kHexStoredErrors = 10;

/// One record error: its code and the line it was found on, counted from 1.
struct HexError {
    uint32_t code;
    uint32_t line;
};

/// A maximal run of data at consecutive addresses: `length` bytes at `data`
/// belong at `address` and up.
struct HexSection {
    uint32_t address;
    uint32_t length;
    uint8_t* data;
};

/// The data and record errors of one Intel Hex file.
///
/// Made by the reader as one block (this record, the section table and the
/// address order) plus one buffer that holds every section's data back to
/// back, so an image costs its data plus 28 bytes a section. Free it with
/// freeIntelHexImage (IntelHexImagePtr does). A caller may also build one by
/// hand around its own buffers for writeIntelHexFile (error count 0, its own
/// sections, addressOrder and ownedData null) and never frees it here.
struct IntelHexImage {
    uint32_t errorCount;                 ///< every record error, also beyond the stored ones
    HexError errors[kHexStoredErrors];   ///< the first errorCount (at most ten) in file order
    uint32_t sectionCount;
    HexSection* sections;                ///< sectionCount sections in file order; they may touch or overlap
    /// sectionCount indices into `sections` by ascending address (file order
    /// among equal addresses), so a user can walk the data in address order.
    const uint32_t* addressOrder;
    uint8_t* ownedData;                  ///< the reader's data buffer behind every section
};

/// Frees what the reader allocated: the data buffer, then the image. Null is
/// ignored.
void freeIntelHexImage(IntelHexImage* image);

struct IntelHexImageDeleter {
    void operator()(IntelHexImage* image) const { freeIntelHexImage(image); }
};
/// Owner of an image made by the reader.
using IntelHexImagePtr = std::unique_ptr<IntelHexImage, IntelHexImageDeleter>;

/// Reader results. Record errors are not failures: they are in the image.
enum class HexReadResult : uint32_t {
    Ok = 0,
    NoMemory = 1,      ///< the image or its data could not be allocated
    AccessDenied = 2,  ///< opening: access denied
    NotFound = 3,      ///< opening: no such file
    OpenFailed = 4,    ///< opening: any other error
    SeekFailed = 5,    ///< going back to the start of the text failed
    ReadFailed = 6,    ///< reading failed (also: the file changed between passes)
};

/// Writer results.
enum class HexWriteResult : uint32_t {
    Ok = 0,
    AccessDenied = 2,  ///< creating: access denied
    PathNotFound = 3,  ///< creating: a folder of the path does not exist
    OpenFailed = 4,    ///< creating: any other error (its error number is printed)
    WriteFailed = 7,   ///< writing or closing failed
};

/// Where the reader's text comes from. The reader makes two passes over
/// the text, so it asks the source to start over before each.
class HexTextSource {
public:
    virtual ~HexTextSource() = default;
    /// Goes back to the start of the text; false when it cannot.
    virtual bool rewind() = 0;
    /// Hands out the next block of text, valid until the next call; size 0
    /// at the end of the text. Blocks may end anywhere, inside a line too.
    /// False on a read error.
    virtual bool next(const char*& text, size_t& size) = 0;
};

/// Where the writer's text goes.
class HexTextSink {
public:
    virtual ~HexTextSink() = default;
    /// Takes `size` bytes of text; false when they could not be written.
    virtual bool write(const char* text, size_t size) = 0;
};

// ---- Reader ------------------------------------------------------------

/// Reads Intel Hex text into an image. On Ok `image` owns the new image; on
/// any other result `image` is left empty and nothing stays allocated.
[[nodiscard]] HexReadResult readIntelHex(HexTextSource& source, IntelHexImagePtr& image);

/// readIntelHex over text in memory; reads nothing outside `text`.
[[nodiscard]] HexReadResult parseIntelHexText(std::string_view text, IntelHexImagePtr& image);

/// readIntelHex over a file, read in large blocks.
[[nodiscard]] HexReadResult readIntelHexFile(const char* path, IntelHexImagePtr& image);

/// The text of a record error code ("Unknown error code!" for others).
const char* hexErrorText(uint32_t code);

/// Prints the section table and the stored errors.
void printIntelHexSummary(const IntelHexImage& image);

/// Where two sections give one address different bytes.
struct HexConflict {
    uint32_t address;  ///< the lowest such address
    uint32_t first;    ///< the two sections, by index in file order (first < second)
    uint32_t second;
};
/// Finds the lowest address that two overlapping sections give different
/// bytes; false when every overlap agrees.
bool findHexConflict(const IntelHexImage& image, HexConflict* conflict);

// ---- Writer ------------------------------------------------------------

/// Writes every section of the image (empty ones skipped) as 16-byte data
/// records on 16-byte address boundaries, each section starting with its
/// extended linear address record, then the end-of-file record. False as
/// soon as the sink fails.
[[nodiscard]] bool writeIntelHex(const IntelHexImage& image, HexTextSink& sink);

/// writeIntelHex into a string. False when memory ran out.
[[nodiscard]] bool formatIntelHexText(const IntelHexImage& image, std::string& text);

/// writeIntelHex into a new file (replaced if it exists), in large blocks.
[[nodiscard]] HexWriteResult writeIntelHexFile(const char* path, const IntelHexImage& image);
/// The result writeIntelHexFile gives when its file fails to open with
/// `error` (an errno).
[[nodiscard]] HexWriteResult hexOpenFailure(int error);

// ---- Building blocks -----------------------------------------------------

/// Two hexadecimal digits (either case), high nibble first; false if
/// either is anything else.
bool parseHexByte(const char* twoCharacters, uint8_t& byte);
