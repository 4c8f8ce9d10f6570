#pragma once
// A run's configuration as the lab report lists it: the record in force at
// the start, then every later record with the time it acted and what it
// changed ("задание 33,5 → 28", "C0_2 10 → 12", "рег. 2 вкл."). Qt-free.
//
// A record with Takt N is in force from tick N, whose sample the recorder
// writes at position N - 2 (the run's first two ticks record nothing), so
// a change acts at position max(1, N - 2): the scorecard starts a setpoint
// step's segment there too.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "storage/reader.h"

namespace thermo {

struct ConfigChange {
    std::size_t record = 0;   // k, 1 .. ConfigCount
    std::size_t position = 0; // the sample where it acted
    // From the run's first sample, and the time of day, for a position
    // within the samples.
    std::optional<double> seconds, timeOfDay;
    // What differs from the record before, field by field, numbers in the
    // general form with the given mark; empty for the first record.
    std::vector<std::string> changes;
};

// Every record of the archive in file order; a later record that changes
// nothing a person set (a new Takt only) is left out.
[[nodiscard]] std::vector<ConfigChange> configHistory(const ArchiveReader& archive,
                                                      char decimalSep);

// Where a record with this Takt acted.
[[nodiscard]] std::size_t actingPosition(std::uint16_t takt);

} // namespace thermo
