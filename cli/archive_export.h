#pragma once
// thermostand-cli archive xlsx / wmf: an archive's spreadsheet and chart
// exports without a window. Each takes the arguments after its name and
// returns the exit status.

namespace thermo::cli {

int archiveXlsx(int argc, char** argv);
int archiveWmf(int argc, char** argv);

} // namespace thermo::cli
