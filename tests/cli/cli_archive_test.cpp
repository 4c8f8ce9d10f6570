// thermostand-cli archive dump / configs run as a student would, on archives
// written by the recorder; and how every command of the tool answers for
// help and usage errors.
#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "storage/recorder.h"
#include "storage/settings.h"
#include "tests/command_output.h"
#include "tests/temp_dir.h"

using namespace thermo;
using thermo::testing::commandOutput;
using thermo::testing::readFile;
using thermo::testing::splitLines;
using thermo::testing::TempDir;
using thermo::testing::writeFile;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

// The executables land together, so without THERMO_BIN_DIR the tool sits
// beside this test.
std::string binDir() {
    if (const char* bin = std::getenv("THERMO_BIN_DIR"))
        return bin;
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

Result cli(const std::string& args, const TempDir& dir) {
    const std::string errFile = dir.file("stderr.txt");
    const std::string cmd = binDir() + "/thermostand-cli " + args + " 2>" + errFile;
    Result r;
    std::FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = readFile(errFile);
    return r;
}

// Three samples; configuration 1 from Takt 1 (setpoint 30), configuration 2
// from Takt 3 (setpoint 31.5, Regulator 1 off), so positions 1 and 2 belong
// to record 1 and position 3 to record 2.
std::string writeArchive(const TempDir& dir) {
    const std::string path = dir.file("run.txt");
    ArchiveRecorder rec([] { return 0.5; });
    rec.setArchiveName(path);
    TConfigSources live;
    live.Takt = 1;
    live.Zadan = 30;
    live.Check_Fuzzy = true;
    live.Check_PID = true;
    rec.AppendConfig(live);
    TProcessState s;
    s.Temper = 30;
    rec.AppendSample(1, s);
    s.Temper = 29.75;
    s.Summa_1 = 0.1;
    s.Summa_2 = 2.5e6;
    rec.AppendSample(2, s);
    live.Takt = 3;
    live.Zadan = 31.5;
    live.Check_Fuzzy = false;
    live.Interval = 70000;
    rec.AppendConfig(live);
    s.Temper = 30.5;
    rec.AppendSample(3, s);
    return path;
}

TEST(CliArchive, DumpWritesOneRowPerSampleWithItsConfiguration) {
    TempDir dir;
    const std::string path = writeArchive(dir);
    const Result r = cli("archive dump " + path, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(splitLines(r.out), (std::vector<std::string>{
                                     "position,time,temper,zadan,oshibka,config,summa_1,summa_2",
                                     "1,0.5,30,30,0,1,0,0",
                                     "2,0.5,29.75,30,0.25,1,0.1,2500000",
                                     "3,0.5,30.5,31.5,1,2,0.1,2500000",
                                 }));
}

TEST(CliArchive, DumpReplayMatchesTheArchiveWindow) {
    TempDir dir;
    const std::string path = writeArchive(dir);
    const Result r = cli("archive dump --replay " + path, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = splitLines(r.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "position,time,temper,zadan,oshibka,config,summa_1,summa_2,r1,r2,r_total,"
                       "mu_mal_otkl,mu_norm_otkl,mu_bol_otkl,mu_mal_skor,mu_norm_skor,"
                       "mu_bol_skor,rule_mask");
    // Position 1: T before it is 0, so d = -30 and the rate is clamped to
    // -1.1; e = 0 fires rule 4 (deviation term 2, rate term 1, m4 = 2, vih_2
    // = 15): r1 = (15 + 2 x -30) x 0.427 = -19.215. Regulator 2 with the
    // default switches: 10 x 0 + 0.12 x 0 + 22 x -30 = -660.
    EXPECT_EQ(rows[1], "1,0.5,30,30,0,1,0,0,-19.215,-660,-679.215,0,1,0,1,0,0,8");
    // Position 3 under record 2: Regulator 1 off, no memberships.
    // Regulator 2: 10 x 1 + 0.12 x 1e6 + 22 x (29.75 - 30.5) = 120000 - 6.5.
    EXPECT_EQ(rows[3], "3,0.5,30.5,31.5,1,2,0.1,2500000,0,119993.5,119993.5,,,,,,,");
}

// Two setpoints, one second between samples from noon: record 1 (30) holds
// positions 1-3, record 2 (25) positions 4-5: written, as the recorder
// writes it, by the tick that took position 4, Takt 6.
//   1-3: 20 29 30, s 10: 10 % and 90 % both at t 1 (rise 0), at 30 from t 2
//        (peak, settled), never above: overshoot 0; e 1 0: iae ise itae 1.
//   4-5: 31 24.5, s -6: both crossings at t 1, 0.5 beyond the setpoint:
//        overshoot 100 x 0.5 / 6, within the band 0.5 from t 1; e -0.5.
std::string writeTwoSetpoints(const TempDir& dir, const std::string& name = "steps.txt",
                              std::array<double, 5> temps = {20, 29, 30, 31, 24.5}) {
    const std::string path = dir.file(name);
    double now = 0.5;
    ArchiveRecorder rec([&now] { return now; });
    rec.setArchiveName(path);
    TConfigSources live;
    live.Takt = 1;
    live.Zadan = 30;
    rec.AppendConfig(live);
    TProcessState s;
    for (int p = 1; p <= 5; ++p) {
        if (p == 4) {
            live.Takt = 6;
            live.Zadan = 25;
            rec.AppendConfig(live);
        }
        s.Temper = temps[static_cast<std::size_t>(p - 1)];
        now = 0.5 + (p - 1) / 86400.0;
        rec.AppendSample(static_cast<std::uint16_t>(p), s);
    }
    return path;
}

TEST(CliArchive, ScoreGivesTheFiguresOfEachSegment) {
    TempDir dir;
    const std::string path = writeTwoSetpoints(dir);
    const Result csv = cli("archive score " + path, dir);
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(splitLines(csv.out),
              (std::vector<std::string>{
                  "first,last,setpoint,start_temp,step,duration_s,rise_time_s,overshoot_pct,"
                  "peak_temp,peak_time_s,band,settling_time_s,steady_error,iae,ise,itae",
                  "1,3,30,20,10,2,0,0,30,2,0.5,2,,1,1,1",
                  "4,5,25,31,-6,1,0,8.333333333333334,24.5,1,0.5,1,,0.5,0.25,0.5",
              }));
    const Result json = cli("archive score --json " + path, dir);
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out,
              "{\"segments\": [\n"
              "  {\"first\": 1, \"last\": 3, \"setpoint\": 30, \"start_temp\": 20, "
              "\"step\": 10, \"duration_s\": 2, \"rise_time_s\": 0, \"overshoot_pct\": 0, "
              "\"peak_temp\": 30, \"peak_time_s\": 2, \"band\": 0.5, \"settling_time_s\": 2, "
              "\"steady_error\": null, \"iae\": 1, \"ise\": 1, \"itae\": 1},\n"
              "  {\"first\": 4, \"last\": 5, \"setpoint\": 25, \"start_temp\": 31, "
              "\"step\": -6, \"duration_s\": 1, \"rise_time_s\": 0, "
              "\"overshoot_pct\": 8.333333333333334, \"peak_temp\": 24.5, \"peak_time_s\": 1, "
              "\"band\": 0.5, \"settling_time_s\": 1, \"steady_error\": null, \"iae\": 0.5, "
              "\"ise\": 0.25, \"itae\": 0.5}\n"
              "]}\n");

    const Result missing = cli("archive score --json " + dir.file("none.txt"), dir);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");

    // The figures' conventions are the user's to know.
    const Result help = cli("archive score --help", dir);
    EXPECT_NE(help.out.find("right-endpoint sums"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("is a whole number"), std::string::npos) << help.out;
}

// Two runs of writeTwoSetpoints, the second livelier: 20 27 31 on its first
// step, 10 % at t 1 and 90 % at t 2 (rise 1 s), 1 °C over (10 %), outside
// the band at its end (no settling time); e 3 -1 against the first's 1 0.
// The first wins every figure both have; a settling time only one run has
// and the steady error neither has (too few samples) are no one's best. The table is `archive
// score`'s row with the run's name in front, t0 and the best-of marks behind, with points in any
// locale.
TEST(CliArchive, CompareTabulatesEachRunsStepAndTheReportNamesThem) {
    TempDir dir;
    const std::string a = writeTwoSetpoints(dir);
    const std::string b = writeTwoSetpoints(dir, "lively.txt", {20, 27, 31, 31, 24.5});
    const Result score = cli("archive score " + a, dir);
    ASSERT_EQ(score.status, 0) << score.err;
    const Result csv = cli("archive compare " + a + " " + b, dir);
    ASSERT_EQ(csv.status, 0) << csv.err;
    const std::vector<std::string> rows = splitLines(csv.out);
    ASSERT_EQ(rows.size(), 3u) << csv.out;
    EXPECT_EQ(rows[0], "name," + splitLines(score.out)[0] + ",t0_s,best");
    EXPECT_EQ(rows[1], "steps — ручной," + splitLines(score.out)[1] +
                           ",0,rise_time_s overshoot_pct iae ise itae");
    EXPECT_EQ(rows[2].rfind("lively — ручной,1,3,30,20,10,2,1,10,31,2,0.5,,,", 0), 0u) << rows[2];
    const Result json = cli("archive compare --json --align start " + a + " " + b, dir);
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"align\": \"start\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"overshoot_pct\": 10,"), std::string::npos) << json.out;
    EXPECT_EQ(cli("archive compare " + a, dir).status, 2) << "one run is no comparison";

    const std::string pdf = dir.file("lab.pdf");
    const Result report =
        cli("report " + a + " " + b + " -o " + pdf + " --student 'Иванов И. И.'", dir);
    ASSERT_EQ(report.status, 0) << report.err;
    const std::string text = commandOutput("pdftotext " + pdf + " -");
    for (const char* want : {"Иванов И. И.", "steps — ручной", "lively — ручной"})
        EXPECT_NE(text.find(want), std::string::npos) << want;
}

// The settings file is the window's, written with the locale's decimal mark;
// the surface reads it so and prints points whatever the locale. Universes
// -1 .. 3 and -1 .. 1 on a grid of 3, otkl_C2 1.5, the rest default:
//   (-1, -1): deviation 1/3, 2/3, 0 and rate 1, 0, 0 fire rules 1 (vih_1 5)
//             and 4 (vih_2 15): (5/3 + 10) x 2.34 = 27.3
//   (1, 0):   deviation 0, 1/3, 1/3 and rate 0, 1, 0 fire rules 5 (70) and
//             8 (120) at 1/3 each: 95 x 2.34 = 222.3 (with C2 misread as
//             the default 3 it would be 202.8)
//   (3, 1):   only rule 9 (vih_8 170): 397.8
TEST(CliSurface, GridFromTheSettingsFileInAnyLocale) {
    TempDir dir;
    std::setlocale(LC_NUMERIC, "");
    const char sep = std::localeconv()->decimal_point[0];
    std::setlocale(LC_NUMERIC, "C");
    TSettings settings;
    settings.params.otkl_left = 10;
    settings.params.otkl_right = 30;
    settings.params.skor_left = 10;
    settings.params.skor_right = 10;
    settings.params.otkl_C2 = 1.5;
    const std::string ini = dir.file("stand.INI");
    SaveSettings(ini, settings, sep);

    const Result r = cli("surface --grid 3 --settings " + ini, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = splitLines(r.out);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[0], "otkl,skor,counts");
    const char* inputs[] = {"-1,-1", "-1,0", "-1,1", "1,-1", "1,0", "1,1", "3,-1", "3,0", "3,1"};
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_EQ(rows[i + 1].rfind(std::string(inputs[i]) + ",", 0), 0u) << rows[i + 1];
    auto counts = [&](std::size_t row) {
        return std::stod(rows[row].substr(rows[row].rfind(',') + 1));
    };
    EXPECT_NEAR(counts(1), 27.3, 1e-9);
    EXPECT_NEAR(counts(5), 222.3, 1e-9);
    EXPECT_NEAR(counts(9), 397.8, 1e-9);

    // The default grid is 41 x 41.
    const Result d = cli("surface --settings " + ini, dir);
    EXPECT_EQ(splitLines(d.out).size(), 1u + 41u * 41u);
    for (const char* bad : {"surface --grid 1", "surface --grid x", "surface --grid"}) {
        const Result u = cli(bad, dir);
        EXPECT_EQ(u.status, 2) << bad;
        EXPECT_EQ(u.out, "") << bad;
    }
    // A mistyped settings file is no surface of the default terms.
    const Result typo = cli("surface --settings " + ini + ".typo", dir);
    EXPECT_EQ(typo.status, 1);
    EXPECT_EQ(typo.out, "");
}

TEST(CliArchive, ConfigsListsEveryField) {
    TempDir dir;
    const std::string path = writeArchive(dir);
    const Result r = cli("archive configs " + path, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = splitLines(r.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0],
              "config,Takt,Zadan,C0_1,C1_1,C2_1,C0_2,C1_2,C2_2,otkl_left,otkl_right,skor_left,"
              "skor_right,m1,m2,m3,m4,m5,m6,m7,m8,m9,otkl_A1,otkl_B1,otkl_A2,otkl_B2,otkl_C2,"
              "otkl_A3,otkl_B3,skor_A1,skor_B1,skor_A2,skor_B2,skor_C2,skor_A3,skor_B3,vih_1,"
              "vih_2,vih_3,vih_4,vih_5,vih_6,vih_7,vih_8,vih_9,prop_1,integ_1,diff_1,prop_2,"
              "integ_2,diff_2,Fuzzy_on,PID_on,Nagrev,Interval");
    EXPECT_EQ(rows[1], "1,1,30,20,0.2,2,10,0.12,22,33,33,11,11,1,2,4,2,4,6,4,6,8,"
                       "3,0,3,0,3,0,3,1,0,1,0,1,0,1,5,15,50,70,90,120,155,170,190,"
                       "0,0,1,1,1,1,1,1,0,1000");
    // 70000 ms keeps its low 16 bits: 4464.
    EXPECT_EQ(rows[2].substr(0, 9), "2,3,31.5,");
    EXPECT_EQ(rows[2].substr(rows[2].size() - 11), ",0,1,0,4464");
}

TEST(CliArchive, MissingAndEmptyArchives) {
    TempDir dir;
    const Result missing = cli("archive dump " + dir.file("none.txt"), dir);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "Ошибка открытия файла БД.\nОшибка открытия файла конфигурации.\n");

    const std::string empty = dir.file("empty.txt");
    writeFile(empty, "");
    const Result header = cli("archive dump " + empty, dir);
    EXPECT_EQ(header.status, 0);
    EXPECT_EQ(header.out, "position,time,temper,zadan,oshibka,config,summa_1,summa_2\n");
    EXPECT_EQ(header.err,
              "В БД нет запрашиваемой информации.\nОшибка открытия файла конфигурации.\n");

    // Samples without a configuration file: the configuration columns stay empty.
    const std::string alone = dir.file("alone.txt");
    writeFile(alone, std::string(32, '\0'));
    const Result noConfig = cli("archive dump --replay " + alone, dir);
    EXPECT_EQ(noConfig.status, 0);
    EXPECT_EQ(splitLines(noConfig.out).at(1), "1,0,0,,,,0,0,,,,,,,,,,");

    const Result configs = cli("archive configs " + alone, dir);
    EXPECT_EQ(configs.status, 1);
    EXPECT_EQ(configs.err, "Ошибка открытия файла конфигурации.\n");
}

TEST(CliArchive, UsageErrors) {
    TempDir dir;
    for (const char* args : {"archive", "archive nosuch x", "archive dump", "archive dump a b",
                             "archive dump --bogus a", "archive configs", "archive configs a b"}) {
        const Result r = cli(args, dir);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("usage"), std::string::npos) << args;
        EXPECT_EQ(r.out, "") << args;
    }
    const Result help = cli("archive dump --help", dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--replay"), std::string::npos);
}

// Every command of the tool: asked for help (--help, -h, and "help" for the
// tool itself) it prints its usage on standard output and succeeds; given
// something it does not take, it says so on standard error and exits 2.
TEST(Cli, EveryCommandAnswersHelpAndUsageErrorsAlike) {
    TempDir dir;
    for (const char* command :
         {"", "probe", "run", "archive", "archive dump", "archive configs", "archive score",
          "archive compare", "archive xlsx", "archive wmf", "surface", "report"}) {
        const std::string c = command;
        for (const char* ask : {"--help", "-h"}) {
            const Result r = cli(c + " " + ask, dir);
            EXPECT_EQ(r.status, 0) << c << ' ' << ask;
            EXPECT_EQ(r.out.rfind("usage: thermostand-cli " + c, 0), 0u) << c << ' ' << ask;
            EXPECT_EQ(r.err, "") << c << ' ' << ask;
        }
        const Result bad = cli(c + " --no-such-option x y", dir);
        EXPECT_EQ(bad.status, 2) << c;
        EXPECT_NE(bad.err.find("usage: thermostand-cli " + c), std::string::npos) << c;
        EXPECT_EQ(bad.out, "") << c;
    }
    const Result help = cli("help", dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: thermostand-cli COMMAND", 0), 0u);
    for (const char* args : {"", "nosuch", "run --ticks many --archive a"}) {
        const Result r = cli(args, dir);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
    }
}

// An empty folder name for the scan ended the probe in an uncaught
// exception (std::filesystem::absolute refuses an empty path).
TEST(Cli, ProbeScanWithAnEmptyRootFolderIsAUsageErrorNotACrash) {
    TempDir dir;
    for (const std::string root : {"--dev-root", "--sys-root"}) {
        const Result r = cli("probe --scan " + root + " ''", dir);
        EXPECT_EQ(r.status, 2) << root;
        EXPECT_EQ(r.err.rfind("probe: " + root + " needs a folder", 0), 0u) << r.err;
        EXPECT_EQ(r.out, "") << root;
    }
}

} // namespace
