// Sensor pages, the black box, and sensor overrides.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/connection.h"

constexpr uint32_t kSensorPageSize = 64;

/// Channels of a sensor page: 14 ADC channels (0..13), then 4 temperature
/// channels (14..17).
constexpr uint32_t kAdcChannels = 14;
constexpr uint32_t kTempChannels = 4;
constexpr uint32_t kSensorChannels = kAdcChannels + kTempChannels;

/// Black-box record indices: clobber 0..23, noclobber 24..30.
constexpr uint32_t kClobberRecords = 24;
constexpr uint32_t kNoClobberRecords = 7;
constexpr uint32_t kBlackBoxRecords = kClobberRecords + kNoClobberRecords;
constexpr uint32_t kErasedEtc = 0xFFFFFFFF;

[[nodiscard]] Result requestSensors(ConnectionContext* ctx, uint8_t* page, bool verbose);
[[nodiscard]] Result requestBlackBoxRecord(uint32_t index, ConnectionContext* ctx, bool verbose, uint8_t* page);
[[nodiscard]] Result sendSensorOverride(ConnectionContext* ctx, bool verbose, uint32_t sensorIndex, uint32_t value,
                                        bool override);

/// Verb display-sensors.
[[nodiscard]] Result displaySensors(bool verbose, ConnectionContext* ctx);
/// Verb display-sensors-raw.
[[nodiscard]] Result displaySensorsRaw(ConnectionContext* ctx, bool verbose);
/// Verb display-black-box; recordTypes bit 0 clobber, bit 1 noclobber;
/// count 0 means no limit.
[[nodiscard]] Result displayBlackBox(ConnectionContext* ctx, bool verbose, uint32_t recordTypes, uint32_t count);
/// Verbs override-sensor and release-sensor.
[[nodiscard]] Result overrideSensor(uint32_t sensorIndex, ConnectionContext* ctx, bool verbose, uint32_t value);
[[nodiscard]] Result releaseSensor(uint32_t sensorIndex, ConnectionContext* ctx, bool verbose);


/// What a channel of a model is: its name, unit text and the factor that
/// turns its raw reading into the unit (kelvin for temperature channels).
struct SensorDescriptor {
    const char* name;
    const char* unit;
    double scale;
};
/// Channel 0..17 of the page, 18 the elapsed time counter, 19 the event
/// counter; anything higher has the unit "?".
SensorDescriptor sensorDescriptor(uint32_t index, uint32_t drawingNumber, uint32_t pcbMajorRevision);
/// Whether a model has its own channel table (otherwise defaults apply).
bool hasSensorTable(uint32_t drawingNumber);
/// Every drawing number that has a channel table, in table order.
std::vector<uint32_t> sensorTableDrawingNumbers();

// ---- The decoded page --------------------------------------------------------

/// The unit of a reading as the documents and the metrics know it; channels
/// whose model does not say read in Unknown.
enum class SensorUnit : uint8_t { Volts, Amperes, Celsius, Unknown };

struct SensorChannel {
    uint32_t index = 0;  ///< 0..17
    char label[6] = {};  ///< "ADC00".."ADC13", "TMP00".."TMP03"
    unsigned raw = 0;
    unsigned status = 0;  ///< nibble: OK, Critical, Over, Under from bit 3 down
    SensorDescriptor descriptor{"", "", 0};
    double value = 0;  ///< in the unit; temperature channels (which read in kelvin) in degrees Celsius
    SensorUnit unit = SensorUnit::Unknown;
    bool reserved = false;  ///< the channel's name is "Reserved"

    /// The value rounded to millionths of its unit, as the documents and the
    /// metrics give it: that keeps every step of the converters apart.
    double reportedValue() const;
};

/// A named bit of a status byte: its name in the text and in the documents.
struct SensorBit {
    uint8_t bit;
    const char* flag;
    const char* key;
};
inline bool sensorBitSet(unsigned byte, const SensorBit& b) { return ((byte >> b.bit) & 1u) != 0; }

enum class SensorRegisterKind : uint8_t {
    Flags,            // named bits
    FlagsAndAddress,  // named bits, and the geographic address in bits 0..4
    Error,            // error type (high nibble) and code (low nibble)
    Reserved,
};
/// A status register of the page: its text label, document name and offset.
struct SensorRegister {
    const char* label;
    const char* key;
    uint8_t offset;
    SensorRegisterKind kind;
    std::span<const SensorBit> bits;  ///< in the documents' order
};
constexpr uint32_t kSensorRegisters = 7;
constexpr uint32_t kMezzanines = 4;
/// The registers in the documents' order (the text prints the last one,
/// RESVD63, after the channel status lines).
std::span<const SensorRegister> sensorRegisters();
/// The bits of a mezzanine status byte, and of a channel's status nibble, in
/// the documents' order.
std::span<const SensorBit> mezzanineBits();
std::span<const SensorBit> channelStatusBits();

struct SensorPage {
    uint32_t elapsedTimeCounter = 0;
    uint32_t eventCounter = 0;
    SensorChannel channels[kSensorChannels];
    uint8_t mezzanines[kMezzanines] = {};
    uint8_t registers[kSensorRegisters] = {};  ///< as sensorRegisters() lists them
};

/// Decodes a 64-byte page for a model.
SensorPage decodeSensorPage(const uint8_t* page, uint32_t drawingNumber, uint32_t pcbMajorRevision);
/// Prints a decoded page (the lines under "Human-readable Sensor Page:").
void printSensorPage(const SensorPage& page);
/// Prints "Raw Sensor Page:" and a hex and character dump of the 64 bytes.
void printSensorPageRaw(const uint8_t* page);

// ---- The black box ---------------------------------------------------------

/// One black-box record as read: its record index and its sensor page.
struct BlackBoxRecord {
    uint32_t index;
    uint8_t page[kSensorPageSize];
};
/// Whether a page read from the black box is an erased slot (its ETC is
/// 0xFFFFFFFF).
bool isErasedBlackBoxPage(const uint8_t* page);
/// Sorts records newest (largest ETC) first, erased ones last.
void sortBlackBoxRecords(BlackBoxRecord* records, uint32_t n);

/// A decoded record with data.
struct BlackBoxEntry {
    uint32_t index = 0;
    SensorPage page;
};
/// What display-black-box shows of one record type.
struct BlackBoxSection {
    bool noclobber = false;
    std::vector<BlackBoxEntry> records;  ///< records with data, newest first, at most the count asked for
    /// Only when all were asked for (count 0): the indices of the erased
    /// slots, in the order the sort leaves them.
    std::vector<uint32_t> erased;
};
/// A type that was not requested, or whose reads never started, has no
/// section.
struct BlackBox {
    std::optional<BlackBoxSection> clobber;
    std::optional<BlackBoxSection> noclobber;
};
/// Decodes what was read (pass nullptr for a type with no section); count 0
/// means no limit. The arrays are not changed.
BlackBox decodeBlackBox(const BlackBoxRecord* clobber, uint32_t clobberRead, const BlackBoxRecord* noclobber,
                        uint32_t noclobberRead, uint32_t count, uint32_t drawingNumber, uint32_t pcbMajorRevision);
/// The printing half of display-black-box.
void printBlackBox(const BlackBox& box);
