#pragma once
// The subcommands of thermostand-cli. Each takes the arguments after its
// name and returns the process exit status.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/compare.h"
#include "common/options.h"
#include "storage/reader.h"
#include "storage/settings.h"

namespace thermo::cli {

// The GUI's own settings file, beside the executables (in the user's
// configuration folder once installed): the tools read the same parameters
// and [devices] the program uses.
std::string programSettingsPath();

// LoadSettings, with an installed program's [devices] taken from the
// machine's file when the settings file has none.
[[nodiscard]] TSettings loadProgramSettings(const std::string& path, char decimalSep);

// One line naming the settings file in use (`given`, else the program's) and,
// once installed, the machine file behind its [devices].
[[nodiscard]] std::string settingsInUse(const std::string& given = {});

int probe(int argc, char** argv);   // detect the sensor, read it, list parallel ports
int run(int argc, char** argv);     // a headless run of the control cycle
int archive(int argc, char** argv); // archive dump / configs / score / xlsx / wmf / identify
int surface(int argc, char** argv); // the fuzzy part's control surface as CSV
// The step experiment with its model and tuning; `archive identify` fits a
// span of a recorded archive the same way.
int identify(int argc, char** argv);
int archiveIdentify(int argc, char** argv);
// Runs side by side: `archive compare` prints the comparison's table,
// `report` writes the lab report (PDF).
int archiveCompare(int argc, char** argv);
int report(int argc, char** argv);

// The archives and the alignment both take; at least minFiles, at most 6.
struct CompareOptions {
    std::vector<std::string> files;
    CompareAlign align = CompareAlign::Step;
    int step = 1;
    std::size_t minFiles = kMinComparedRuns;
};
// Declares FILE..., --align and --step on `p`, then parses. The status to
// end with (0 after --help, 2 for a usage error) or nothing.
std::optional<int> parseCompareOptions(OptionParser& p, CompareOptions& o, int argc, char** argv);
// Every archive read, its messages on stderr; 1 when one could not be. The
// runs to compare name the archives, which must outlive them.
std::optional<int> readArchives(const std::vector<std::string>& files,
                                std::vector<std::unique_ptr<ArchiveReader>>& archives,
                                std::vector<CompareInput>& runs);

} // namespace thermo::cli
