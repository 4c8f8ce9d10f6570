// thermostand-cli surface: the fuzzy part's control surface over the whole
// input plane, as CSV for the students' own plotting tools.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "analysis/surface.h"
#include "cli/commands.h"
#include "cli/settings_sep.h"
#include "common/options.h"
#include "storage/settings.h"

namespace thermo::cli {

namespace {

constexpr long kMaxGrid = 2000; // four million rows

const char* kSurfaceUsage = R"(usage: thermostand-cli surface [--settings FILE] [--grid N]

Writes the control surface of Regulator 1's fuzzy part as CSV on stdout: its
output in PWM counts (0..234 = heater off..full power, before the add-ons)
for every (deviation, rate) pair of an N x N grid over the universes of the
settings file's terms, header

  otkl,skor,counts

otkl runs from -otkl_left/10 to otkl_right/10 (degrees), skor from
-skor_left/10 to skor_right/10 (degrees per tick), each in N evenly spaced
points; rows run with otkl slow and skor fast. Where no rule fires the output
is 0, as in the live controller. Numbers use a point and as many digits as
read them back exactly.

  --settings FILE   settings file (default: thermostand.INI beside the executable)
  --grid N          points per axis, 2..2000 (default 41)

Exit status: 0 on success, 1 when the settings file named is not there, 2 for a
usage error.
)";

} // namespace

int surface(int argc, char** argv) {
    std::string settingsPath;
    long grid = static_cast<long>(kDefaultSurfaceGrid);
    OptionParser p("thermostand-cli surface", kSurfaceUsage);
    p.text("--settings", settingsPath, "a file name");
    p.number("--grid", grid, {2, kMaxGrid});
    if (const auto end = p.parse(argc, argv))
        return *end;
    if (settingsPath.empty()) {
        settingsPath = programSettingsPath();
    } else if (std::error_code ec; !std::filesystem::is_regular_file(settingsPath, ec)) {
        // A mistyped name would give the default terms' surface as if it
        // were the file's.
        std::cerr << "thermostand-cli surface: no settings file " << settingsPath << "\n";
        return 1;
    }
    const TSettings settings = LoadSettings(settingsPath, settingsDecimalSeparator());
    const ControlSurface s = computeSurface(settings.params, static_cast<std::size_t>(grid));
    const std::string out = surfaceCsv(settings.params, s);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace thermo::cli
