#pragma once
// The command lines of thermostand-cli's commands and of thermostand-sim.
// A command declares its options once, each bound to where its value goes,
// and reads its arguments with one call to parse(). --help or -h anywhere
// prints the usage on stdout (exit status 0); a usage error prints one line,
// "COMMAND: what is wrong", then the usage, on stderr (exit status 2).
// Numbers are read with a point whatever the locale: scripts and the manual
// pages write them so.

#include <cstddef>
#include <functional>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace thermo {

// Bounds of a number option, both included.
struct NumberRange {
    double min = -std::numeric_limits<double>::infinity();
    double max = std::numeric_limits<double>::infinity();
};

class OptionParser {
public:
    // `command` begins each error line ("run", "thermostand-cli surface");
    // `usage` answers --help and follows each usage error; `helpFooter`
    // follows it after --help only.
    OptionParser(std::string command, std::string usage, std::string helpFooter = {});

    // Where the usage and the errors go (std::cout, std::cerr unless told).
    void setStreams(std::ostream& out, std::ostream& err);

    // A switch that sets `target` to `value`.
    void flag(std::string name, bool& target, bool value = true);
    // A value taken as it is; `needs` says what it is ("a file name").
    void text(std::string name, std::string& target, std::string needs);
    // The same, repeatable: every value in the order given.
    void texts(std::string name, std::vector<std::string>& target, std::string needs);
    // A number within `range`, a whole one for an integer target. `needs`
    // defaults to what the range says ("a whole number 0..1000").
    void number(std::string name, double& target, NumberRange range = {}, std::string needs = {});
    void number(std::string name, std::optional<double>& target, NumberRange range = {},
                std::string needs = {});
    void number(std::string name, int& target, NumberRange range, std::string needs = {});
    void number(std::string name, long& target, NumberRange range, std::string needs = {});
    // One of the names given, each standing for a value of the target.
    template <class T>
    void choice(std::string name, T& target, std::vector<std::pair<std::string, T>> values) {
        std::vector<std::string> names;
        for (const auto& v : values)
            names.push_back(v.first);
        addChoice(
            std::move(name), std::move(names),
            [&target, values = std::move(values)](std::size_t k) { target = values[k].second; });
    }
    // The next argument that is not an option, in the order declared; every
    // one must be given. `name` is the usage's ("FILE").
    void positional(std::string name, std::string& target);
    // Every further argument that is not an option, after those declared
    // with positional(), in order; the command checks how many it got.
    void positionals(std::string name, std::vector<std::string>& target);

    // Reads the arguments (those after the command's name). Nothing when the
    // command goes on with its targets set; otherwise the usage or the error
    // has been printed and the result is the exit status: 0 after --help, 2
    // after a usage error.
    [[nodiscard]] std::optional<int> parse(int argc, const char* const* argv);
    // Whether the option was on the command line.
    [[nodiscard]] bool given(std::string_view name) const;
    // A usage error the command finds in the values after parse(): `why`
    // and the usage on the error stream. Returns 2, the exit status.
    int fail(const std::string& why) const;

private:
    enum class Kind { Flag, Text, Number, Choice };
    struct Value {
        const std::string& text;
        double number;
        std::size_t choice;
    };
    struct Option {
        std::string name;
        Kind kind;
        std::string needs;
        NumberRange range;
        bool whole = false;
        std::vector<std::string> choices;
        std::function<void(const Value&)> store;
        bool given = false;
    };
    struct Positional {
        std::string name;
        std::string* target;
    };

    void addNumber(std::string name, NumberRange range, bool whole, std::string needs,
                   std::function<void(double)> store);
    void addChoice(std::string name, std::vector<std::string> names,
                   std::function<void(std::size_t)> store);
    // Why `text` is no value of `o`, or nothing when it is stored.
    std::optional<std::string> take(Option& o, const std::string& text);

    std::string command_, usage_, helpFooter_;
    std::ostream* out_ = &std::cout;
    std::ostream* err_ = &std::cerr;
    std::vector<Option> options_;
    std::vector<Positional> positionals_;
    std::vector<std::string>* rest_ = nullptr;
};

} // namespace thermo
