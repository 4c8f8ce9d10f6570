// thermostand-cli: the stand's tools without a window.
#include <cstring>
#include <iostream>

#include "cli/commands.h"

namespace {

struct Command {
    const char* name;
    int (*fn)(int, char**);
    const char* help;
};

int notBuilt(int, char**) {
    std::cerr << "thermostand-cli: this command is not available in this build\n";
    return 2;
}

} // namespace

// Commands whose source file is not part of the build resolve to notBuilt
// through these weak definitions.
namespace thermo::cli {
[[gnu::weak]] int probe(int argc, char** argv) {
    return notBuilt(argc, argv);
}
[[gnu::weak]] int run(int argc, char** argv) {
    return notBuilt(argc, argv);
}
[[gnu::weak]] int archive(int argc, char** argv) {
    return notBuilt(argc, argv);
}
[[gnu::weak]] int surface(int argc, char** argv) {
    return notBuilt(argc, argv);
}
[[gnu::weak]] int identify(int argc, char** argv) {
    return notBuilt(argc, argv);
}
[[gnu::weak]] int report(int argc, char** argv) {
    return notBuilt(argc, argv);
}
} // namespace thermo::cli

int main(int argc, char** argv) {
    const Command commands[] = {
        {"probe", thermo::cli::probe, "probe [--port COMn|PATH] [--count N] [--settings FILE]"},
        {"run", thermo::cli::run, "run --archive FILE [--ticks N] [--interval MS] ..."},
        {"archive", thermo::cli::archive,
         "archive dump|configs|score|compare|xlsx|wmf|identify FILE ..."},
        {"surface", thermo::cli::surface, "surface [--settings FILE] [--grid N]"},
        {"identify", thermo::cli::identify,
         "identify --archive FILE --from P0 --to P1 --hold N0 --ticks N1 [--json] ..."},
        {"report", thermo::cli::report, "report FILE... -o OUT [--title T --student S --group G]"},
    };
    if (argc >= 2) {
        for (const auto& c : commands) {
            if (std::strcmp(argv[1], c.name) == 0)
                return c.fn(argc - 2, argv + 2);
        }
    }
    // Asked for, the usage is the answer and goes to standard output; after a
    // mistake it is an error message.
    const bool asked =
        argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
                      std::strcmp(argv[1], "help") == 0);
    std::ostream& out = asked ? std::cout : std::cerr;
    if (argc >= 2 && !asked)
        out << "thermostand-cli: unknown command " << argv[1] << '\n';
    out << "usage: thermostand-cli COMMAND [ARGS]\n";
    for (const auto& c : commands)
        out << "  " << c.help << '\n';
    out << "Run a command with --help for its options.\n";
    return asked ? 0 : 2;
}
