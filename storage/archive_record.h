#pragma once
// The two record layouts of an archive. Both files are headerless sequences
// of fixed-size records: the sample file holds one 32-byte TArchiveRecord per
// recorded tick, the configuration file (the sample file's name + "UST") one
// 248-byte TConfigRecord per change of the regulators' configuration.
//
// Records are encoded field by field, little-endian, doubles as IEEE 754
// binary64, so the files are the same whatever the host's byte order or the
// compiler's struct layout. Padding bytes are always 0.
//
// TArchiveRecord: 0 Temper, 8 Summa_1, 16 Summa_2, 24 Vremya (doubles).
// TConfigRecord:  0 Takt (u16), 2..7 zero, 8 Zadan, 16..56 C0_1 C1_1 C2_1 C0_2
//   C1_2 C2_2, 64..88 otkl_left otkl_right skor_left skor_right, 96..104 m1..m9
//   (bytes), 105..111 zero, 112..160 otkl_A1 B1 A2 B2 C2 A3 B3, 168..216 the
//   same of skor, 224..232 vih_1..vih_9 (bytes), 233 zero, 234..239 prop_1
//   integ_1 diff_1 prop_2 integ_2 diff_2, 240 Fuzzy_on, 241 PID_on,
//   242 Nagrev, 243 zero, 244 Interval (u16, ms), 246..247 zero.

#include <array>
#include <cstddef>
#include <cstdint>

#include "control/params.h"

namespace thermo {

inline constexpr std::size_t kSampleRecordSize = 32;
inline constexpr std::size_t kConfigRecordSize = 248;

// The archive's capacity: a run records sample positions 1 .. 65000 and the
// control cycle stops a run that reaches the last (its uint16 tick counter
// would otherwise run on to 65535 and wrap). The reader starts with room for
// as many; a file that holds several runs may be longer.
inline constexpr std::uint16_t kMaxSamplePosition = 65000;

struct TArchiveRecord {
    double Temper = 0;  // degrees Celsius
    double Summa_1 = 0; // Regulator 1's integral sum at the end of the tick
    double Summa_2 = 0;
    double Vremya = 0; // local time of day as a fraction of a day (0.5 is noon)

    bool operator==(const TArchiveRecord&) const = default;
};

struct TConfigRecord {
    std::uint16_t Takt = 0; // tick counter when taken: in force from this tick on
    double Zadan = 0;
    // Coefficients, universes, terms, output terms, rule base and the six
    // add-on switches, as the regulators read them.
    TControlParams params;
    bool Fuzzy_on = false;      // Check_Fuzzy: Regulator 1 switched on
    bool PID_on = false;        // Check_PID
    bool Nagrev = false;        // manual full heat at the last tick without alarm
    std::uint16_t Interval = 0; // main timer's interval in ms, low 16 bits

    bool operator==(const TConfigRecord&) const = default;
};

using SampleBytes = std::array<std::uint8_t, kSampleRecordSize>;
using ConfigBytes = std::array<std::uint8_t, kConfigRecordSize>;

[[nodiscard]] SampleBytes encodeSample(const TArchiveRecord& r);
[[nodiscard]] TArchiveRecord decodeSample(const std::uint8_t* bytes); // 32 bytes

[[nodiscard]] ConfigBytes encodeConfig(const TConfigRecord& r);
// A switch byte other than 0 reads as on.
[[nodiscard]] TConfigRecord decodeConfig(const std::uint8_t* bytes); // 248 bytes

} // namespace thermo
