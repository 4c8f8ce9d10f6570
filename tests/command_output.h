#pragma once
// Other programs' answers as the tests read them: what a command prints on
// its standard output (add "2>&1" to the command for its errors too), and a
// text cut into its lines.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace thermo::testing {

// Empty when the command cannot be started.
inline std::string commandOutput(const std::string& command) {
    std::string out;
    if (std::FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

} // namespace thermo::testing
