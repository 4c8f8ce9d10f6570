#include "common/options.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "common/numfmt.h"

namespace thermo {

namespace {

// What a number option takes, from its range: "a number", "a whole number
// 0..1000", "a number, 0 or more".
std::string rangeNeeds(NumberRange r, bool whole) {
    std::string s = whole ? "a whole number" : "a number";
    const bool low = std::isfinite(r.min), high = std::isfinite(r.max);
    if (low && high)
        s += ' ' + formatGeneral(r.min, '.') + ".." + formatGeneral(r.max, '.');
    else if (low)
        s += ", " + formatGeneral(r.min, '.') + " or more";
    else if (high)
        s += ", " + formatGeneral(r.max, '.') + " or less";
    return s;
}

// An integer target holds every whole number of the range: the bounds are
// narrowed to its type (to 2^53 for long, where a double still counts in
// ones), so the cast after the check keeps the value.
NumberRange within(NumberRange r, double lowest, double highest) {
    return {std::max(r.min, lowest), std::min(r.max, highest)};
}

constexpr double kWholeLimit = 9007199254740992.0; // 2^53

} // namespace

OptionParser::OptionParser(std::string command, std::string usage, std::string helpFooter)
    : command_(std::move(command)), usage_(std::move(usage)), helpFooter_(std::move(helpFooter)) {}

void OptionParser::setStreams(std::ostream& out, std::ostream& err) {
    out_ = &out;
    err_ = &err;
}

void OptionParser::flag(std::string name, bool& target, bool value) {
    options_.push_back(
        {std::move(name), Kind::Flag, {}, {}, false, {}, [&target, value](const Value&) {
             target = value;
         }});
}

void OptionParser::text(std::string name, std::string& target, std::string needs) {
    options_.push_back(
        {std::move(name), Kind::Text, std::move(needs), {}, false, {}, [&target](const Value& v) {
             target = v.text;
         }});
}

void OptionParser::texts(std::string name, std::vector<std::string>& target, std::string needs) {
    options_.push_back(
        {std::move(name), Kind::Text, std::move(needs), {}, false, {}, [&target](const Value& v) {
             target.push_back(v.text);
         }});
}

void OptionParser::number(std::string name, double& target, NumberRange range, std::string needs) {
    addNumber(std::move(name), range, false, std::move(needs), [&target](double v) { target = v; });
}

void OptionParser::number(std::string name, std::optional<double>& target, NumberRange range,
                          std::string needs) {
    addNumber(std::move(name), range, false, std::move(needs), [&target](double v) { target = v; });
}

void OptionParser::number(std::string name, int& target, NumberRange range, std::string needs) {
    addNumber(std::move(name), within(range, INT_MIN, INT_MAX), true, std::move(needs),
              [&target](double v) { target = static_cast<int>(v); });
}

void OptionParser::number(std::string name, long& target, NumberRange range, std::string needs) {
    addNumber(std::move(name), within(range, -kWholeLimit, kWholeLimit), true, std::move(needs),
              [&target](double v) { target = static_cast<long>(v); });
}

void OptionParser::addNumber(std::string name, NumberRange range, bool whole, std::string needs,
                             std::function<void(double)> store) {
    if (needs.empty())
        needs = rangeNeeds(range, whole);
    options_.push_back({std::move(name),
                        Kind::Number,
                        std::move(needs),
                        range,
                        whole,
                        {},
                        [store = std::move(store)](const Value& v) { store(v.number); }});
}

void OptionParser::addChoice(std::string name, std::vector<std::string> names,
                             std::function<void(std::size_t)> store) {
    std::string needs;
    for (std::size_t k = 0; k < names.size(); ++k)
        needs += (k == 0 ? "" : k + 1 == names.size() ? " or " : ", ") + names[k];
    options_.push_back({std::move(name),
                        Kind::Choice,
                        std::move(needs),
                        {},
                        false,
                        std::move(names),
                        [store = std::move(store)](const Value& v) { store(v.choice); }});
}

void OptionParser::positional(std::string name, std::string& target) {
    positionals_.push_back({std::move(name), &target});
}

void OptionParser::positionals(std::string, std::vector<std::string>& target) {
    rest_ = &target;
}

std::optional<std::string> OptionParser::take(Option& o, const std::string& text) {
    const std::string bad = o.name + " needs " + o.needs + ", not " + text;
    switch (o.kind) {
    case Kind::Flag:
    case Kind::Text:
        o.store({text, 0, 0});
        return std::nullopt;
    case Kind::Number: {
        const auto v = parseNumber(text, '.');
        if (!v || (o.whole && *v != std::floor(*v)))
            return bad;
        if (*v < o.range.min || *v > o.range.max)
            return o.name + " out of range: needs " + o.needs + ", not " + text;
        o.store({text, *v, 0});
        return std::nullopt;
    }
    case Kind::Choice: {
        const auto k = std::find(o.choices.begin(), o.choices.end(), text);
        if (k == o.choices.end())
            return bad;
        o.store({text, 0, static_cast<std::size_t>(k - o.choices.begin())});
        return std::nullopt;
    }
    }
    return std::nullopt;
}

std::optional<int> OptionParser::parse(int argc, const char* const* argv) {
    // Help wins wherever it stands, even where an option's value would be.
    for (int i = 0; i < argc; ++i) {
        if (const std::string_view a = argv[i]; a == "--help" || a == "-h") {
            *out_ << usage_ << helpFooter_;
            return 0;
        }
    }
    std::size_t positional = 0;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.empty() || a[0] != '-') {
            if (positional == positionals_.size() && rest_ != nullptr) {
                rest_->push_back(a);
                continue;
            }
            if (positional == positionals_.size())
                return fail("unexpected argument " + a);
            *positionals_[positional++].target = a;
            continue;
        }
        const auto o = std::find_if(options_.begin(), options_.end(),
                                    [&](const Option& d) { return d.name == a; });
        if (o == options_.end())
            return fail("unknown option " + a);
        o->given = true;
        if (o->kind == Kind::Flag) {
            o->store({a, 0, 0});
            continue;
        }
        // The next argument is the value, whatever it looks like: a
        // negative number starts with '-' too.
        if (i + 1 == argc)
            return fail(a + " needs " + o->needs);
        if (const auto why = take(*o, argv[++i]))
            return fail(*why);
    }
    if (positional < positionals_.size())
        return fail("missing " + positionals_[positional].name);
    return std::nullopt;
}

bool OptionParser::given(std::string_view name) const {
    return std::any_of(options_.begin(), options_.end(),
                       [&](const Option& o) { return o.name == name && o.given; });
}

int OptionParser::fail(const std::string& why) const {
    *err_ << command_ << ": " << why << "\n\n" << usage_;
    return 2;
}

} // namespace thermo
