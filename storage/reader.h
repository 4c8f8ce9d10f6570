#pragma once
// An archive read whole into memory, as the archive window, its replay and
// its exports use it. One object for the whole program.
//
// The arrays are not cleared between archives: entries beyond the counts
// keep what an earlier archive left there, so everything reads up to the
// counts only. They start with room for a full run's samples
// (kMaxSamplePosition) and 72 configuration records and grow for a larger archive, so nothing is
// lost; a trailing partial record (an append cut short) is ignored.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "common/dialogs.h"
#include "storage/archive_record.h"

namespace thermo {

inline constexpr std::size_t kConfigCapacity = 72;

// The texts of the reader's four messages.
inline constexpr const char* kSampleOpenFailed = "Ошибка открытия файла БД.";
inline constexpr const char* kSampleFileEmpty = "В БД нет запрашиваемой информации.";
inline constexpr const char* kConfigOpenFailed = "Ошибка открытия файла конфигурации.";
inline constexpr const char* kConfigFileEmpty = " нет файла конфигурации.";

class ArchiveReader {
public:
    ArchiveReader();

    // Samples[p] for p = 1 .. SampleCount is the p-th record of the sample
    // file; Samples[0] is a record of zeros (the sample "before" the first).
    std::vector<TArchiveRecord> Samples;
    std::size_t SampleCount = 0;
    // Configs[k] for k = 1 .. ConfigCount is the k-th configuration record.
    std::vector<TConfigRecord> Configs;
    std::size_t ConfigCount = 0;

    // Both open the file for reading only, so an archive without write
    // permission still opens; anything but a regular file is refused like a
    // missing one. On failure to open: the message and false; a sample
    // file's samples and count stay as they were, while the configuration
    // count becomes 0. An empty file: the message, count 0, true.
    bool ReadSampleFile(const std::string& name, UserDialogs& dialogs);
    // `name` is the sample file's; the configuration file is name + "UST".
    bool ReadConfigFile(const std::string& name, UserDialogs& dialogs);

    // The configuration record in force for sample position s: the last
    // record whose Takt is at or below s (a record with Takt N holds from
    // position N on), record 1 before the first record's Takt. Nothing when
    // there are no records. Takt values that fall back (several runs in one
    // file) are searched in file order as for rising ones.
    [[nodiscard]] std::optional<std::size_t> configForPosition(std::size_t s) const;
};

// The whole file's content, or the errno of the failed open.
struct FileBytes {
    std::vector<std::uint8_t> bytes;
    int error = 0;
};
[[nodiscard]] FileBytes readArchiveFile(const std::string& path);

} // namespace thermo
