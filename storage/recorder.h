#pragma once
// The archive recorder: one object for the whole program, owned by the main
// window and called by the control cycle. It keeps the name of the current
// sample file, the configuration recorded last and the samples of the run in
// memory, and appends records to the archive's two files.
//
// Every append opens its file, positions after the last whole record (so a
// partial record left by a crash is overwritten), writes and closes at once:
// nothing stays open between ticks, and the archive window can read an
// archive while it is being recorded. File names are used in full.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "control/params.h"
#include "storage/archive_record.h"

namespace thermo {

// Everything a configuration record holds, as the control cycle knows it at
// the end of a tick: the live parameter set and the switches of the window.
struct TConfigSources {
    std::uint16_t Takt = 0;
    double Zadan = 0;
    TControlParams params; // with the six add-on check boxes in prop_1..diff_2
    bool Check_Fuzzy = false;
    bool Check_PID = false;
    bool Nagrev = false;
    std::uint32_t Interval = 1000; // main timer's interval in ms, in full
};

// Local time of day as a fraction of a day, in whole milliseconds:
// 12:00:00.000 is exactly 0.5.
[[nodiscard]] double Vremya(int hour, int minute, int second, int millisecond);
[[nodiscard]] double localTimeOfDay();

class ArchiveRecorder {
public:
    using Clock = std::function<double()>; // the time of day for a new sample

    explicit ArchiveRecorder(Clock clock = localTimeOfDay);

    // The sample file's path; empty until the first confirmed "новый".
    [[nodiscard]] const std::string& ArchiveName() const { return archiveName_; }
    void setArchiveName(std::string path) { archiveName_ = std::move(path); }
    [[nodiscard]] std::string configFileName() const { return archiveName_ + "UST"; }

    [[nodiscard]] const TConfigRecord& LastConfig() const { return lastConfig_; }
    // Positions 0 .. kMaxSamplePosition; position p holds the sample taken at
    // tick counter p. Never cleared: a new run overwrites from position 3 up.
    [[nodiscard]] const std::vector<TArchiveRecord>& RunSamples() const { return runSamples_; }

    // The configuration records written for the current run, in order: from
    // the one "новый" wrote (Takt 1) on. A run that went on after a cancelled
    // "новый" starts from the record then in force, taken as of Takt 1.
    [[nodiscard]] const std::vector<TConfigRecord>& RunConfigs() const { return runConfigs_; }

    void TakeConfigSnapshot(const TConfigSources& live);
    // True when anything but Takt differs from LastConfig. The interval is
    // compared in full, so an interval above 65535 ms always reads as a change
    // rather than passing for its low 16 bits.
    [[nodiscard]] bool ConfigChanged(const TConfigSources& live) const;

    // Stores the sample at position Takt of RunSamples, then appends it to
    // the sample file. Throws IoError with the system's text when the file
    // cannot be written, std::out_of_range for Takt above kMaxSamplePosition
    // (nothing is stored or written then).
    void AppendSample(std::uint16_t Takt, const TProcessState& state);
    // TakeConfigSnapshot, then LastConfig appended to the configuration file.
    void AppendConfig(const TConfigSources& live);

private:
    Clock clock_;
    std::string archiveName_;
    TConfigRecord lastConfig_;
    std::vector<TArchiveRecord> runSamples_;
    std::vector<TConfigRecord> runConfigs_;
};

// Whole samples in the archive's sample file `path`; 0 when there is none
// (a run appends to an archive that may hold samples already).
[[nodiscard]] std::size_t archiveSampleCount(const std::string& path);

// Appends one record to a file of fixed-size records after its last whole
// record; creates the file when missing. On a failed write the file is cut
// back to its whole records. Throws IoError.
void appendRecord(const std::string& path, const std::uint8_t* bytes, std::size_t size);

} // namespace thermo
