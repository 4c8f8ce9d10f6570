// The command-line parser of thermostand-cli and thermostand-sim: what a
// command gets from good arguments, and the one line each usage error gets
// before the usage. The expected lines are the wording the commands' users
// see; the numbers are written with a point under every locale.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "common/options.h"

using namespace thermo;

namespace {

const char* kUsage = "usage: t [options] FILE\n";

struct Parsed {
    std::optional<int> status;
    std::string out, err;
    bool flag = false;
    std::string name, file;
    long count = 5;
    double level = 0;
    int pick = 0;
    bool levelGiven = false;
};

Parsed parse(std::vector<const char*> args) {
    Parsed r;
    std::ostringstream out, err;
    OptionParser p("t", kUsage, "footer\n");
    p.setStreams(out, err);
    p.flag("--flag", r.flag);
    p.text("--name", r.name, "a name");
    p.number("--count", r.count, {1, 10});
    p.number("--level", r.level);
    p.choice("--pick", r.pick, {{"a", 1}, {"b", 2}});
    p.positional("FILE", r.file);
    r.status = p.parse(static_cast<int>(args.size()), args.data());
    r.levelGiven = p.given("--level");
    r.out = out.str();
    r.err = err.str();
    return r;
}

TEST(Options, GoodArgumentsReachTheirTargets) {
    const Parsed r = parse(
        {"--level", "-1.5", "--flag", "f.txt", "--count", "1e1", "--pick", "b", "--name", "-"});
    ASSERT_EQ(r.status, std::nullopt) << r.err;
    EXPECT_TRUE(r.flag);
    EXPECT_EQ(r.file, "f.txt");
    EXPECT_EQ(r.name, "-"); // a value is the next argument, whatever it looks like
    EXPECT_EQ(r.count, 10);
    EXPECT_EQ(r.level, -1.5);
    EXPECT_EQ(r.pick, 2);
    EXPECT_TRUE(r.levelGiven);
    EXPECT_EQ(r.out + r.err, "");

    const Parsed defaults = parse({"f"});
    EXPECT_EQ(defaults.count, 5);
    EXPECT_FALSE(defaults.levelGiven);
}

TEST(Options, HelpAnywhereAnswersOnStdout) {
    for (const auto& args :
         {std::vector<const char*>{"--help"}, {"--count", "99", "-h"}, {"--name", "--help"}}) {
        const Parsed r = parse(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, std::string(kUsage) + "footer\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST(Options, EachUsageErrorIsOneLineThenTheUsage) {
    const struct {
        std::vector<const char*> args;
        const char* line;
    } cases[] = {
        {{"--count", "11", "f"}, "t: --count out of range: needs a whole number 1..10, not 11"},
        {{"--count", "2.5", "f"}, "t: --count needs a whole number 1..10, not 2.5"},
        {{"f", "--count"}, "t: --count needs a whole number 1..10"},
        {{"--level", "1,5", "f"}, "t: --level needs a number, not 1,5"},
        {{"--pick", "c", "f"}, "t: --pick needs a or b, not c"},
        {{"--bogus", "f"}, "t: unknown option --bogus"},
        {{"f", "g"}, "t: unexpected argument g"},
        {{"--flag"}, "t: missing FILE"},
    };
    for (const auto& c : cases) {
        const Parsed r = parse(c.args);
        EXPECT_EQ(r.status, 2) << c.line;
        EXPECT_EQ(r.err, std::string(c.line) + "\n\n" + kUsage);
        EXPECT_EQ(r.out, "") << c.line;
    }
}

} // namespace

TEST(Options, FurtherArgumentsGoToTheListInOrderBetweenOptions) {
    std::ostringstream out, err;
    std::string first;
    std::vector<std::string> rest;
    bool json = false;
    OptionParser p("t", kUsage);
    p.setStreams(out, err);
    p.flag("--json", json);
    p.positional("FIRST", first);
    p.positionals("FILE...", rest);
    const char* args[] = {"a", "b", "--json", "c"};
    EXPECT_FALSE(p.parse(4, args));
    EXPECT_EQ(first, "a");
    EXPECT_EQ(rest, (std::vector<std::string>{"b", "c"}));
    EXPECT_TRUE(json);
}
