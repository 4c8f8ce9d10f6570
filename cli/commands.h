#pragma once
// The subcommands of thermostand-cli. Each takes the arguments after its
// name and returns the process exit status.

namespace thermo::cli {

int probe(int argc, char** argv);   // detect the sensor, read it, list parallel ports
int run(int argc, char** argv);     // a headless run of the control cycle
int archive(int argc, char** argv); // archive dump / configs / xlsx / wmf

} // namespace thermo::cli
