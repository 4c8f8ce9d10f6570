// The settings file: the 49 keys with their defaults (hand-copied from the
// key table of the settings documentation, not from the code), encodings
// under both decimal separators, and a save that keeps foreign lines and
// never leaves a half-written file.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "storage/io_error.h"
#include "storage/settings.h"
#include "tests/temp_dir.h"

using namespace thermo;
using thermo::testing::readFile;
using thermo::testing::TempDir;
using thermo::testing::writeFile;

namespace {

// A file written from scratch with the defaults under a decimal point.
const char* const kDefaultFile = "[General]\n"
                                 "COM port=1\n"
                                 "[koof]\n"
                                 "C0_1=20\nC1_1=0.2\nC2_1=2\nC0_2=10\nC1_2=0.12\nC2_2=22\n"
                                 "otkl_left=33\notkl_right=33\nskor_left=11\nskor_right=11\n"
                                 "[term]\n"
                                 "otkl_A1=3\notkl_B1=0\notkl_A2=3\notkl_B2=0\notkl_C2=3\n"
                                 "otkl_A3=0\notkl_B3=3\n"
                                 "skor_A1=1\nskor_B1=0\nskor_A2=1\nskor_B2=0\nskor_C2=1\n"
                                 "skor_A3=0\nskor_B3=1\n"
                                 "[term_out]\n"
                                 "vih_1=5\nvih_2=15\nvih_3=50\nvih_4=70\nvih_5=90\nvih_6=120\n"
                                 "vih_7=155\nvih_8=170\nvih_9=190\n"
                                 "[baza]\n"
                                 "m1=1\nm2=2\nm3=4\nm4=2\nm5=4\nm6=6\nm7=4\nm8=6\nm9=8\n"
                                 "[check]\n"
                                 "prop_1=0\ninteg_1=0\ndiff_1=1\nprop_2=1\ninteg_2=1\ndiff_2=1\n"
                                 "[safety]\n"
                                 "watch_period=120\nwatch_rise=1\nwatch_fall=10\n"
                                 "frozen_period=60\nhysteresis=2\nrunaway_period=120\n";

TEST(Settings, NoFileGivesTheDefaultsAndASaveCreatesAll49KeysAndSafetyInOrder) {
    TempDir dir;
    const std::string path = dir.file("Thermostand.INI");
    const TSettings s = LoadSettings(path, '.');
    EXPECT_EQ(s.SavedComPort, 1);
    EXPECT_EQ(s.params.C1_2, 0.12);
    EXPECT_FALSE(s.params.prop_1);
    EXPECT_FALSE(s.params.integ_1);
    EXPECT_TRUE(s.params.diff_1 && s.params.prop_2 && s.params.integ_2 && s.params.diff_2);
    EXPECT_EQ(s.devices.com[3], "/dev/ttyS3");
    EXPECT_EQ(s.devices.lpt, "auto");
    SaveSettings(path, s, '.');
    EXPECT_EQ(readFile(path), kDefaultFile);
    EXPECT_EQ(LoadSettings(path, '.'), s);
}

TEST(Settings, ByteKeysAreTakenModulo256AndSwitchesWrittenBackAsOne) {
    const TSettings s = settingsFromText(
        "[term_out]\nvih_3=300\nvih_4=-1\nvih_5=$1F\n[baza]\nm1=257\n[check]\nprop_1=2\n", '.');
    EXPECT_EQ(s.params.vih[2], 44);
    EXPECT_EQ(s.params.vih[3], 255);
    EXPECT_EQ(s.params.vih[4], 31);
    EXPECT_EQ(s.params.m[0], 1);
    EXPECT_TRUE(s.params.prop_1);
    const std::string text = settingsToText("", s, '.');
    EXPECT_NE(text.find("prop_1=1\n"), std::string::npos);
    EXPECT_NE(text.find("vih_3=44\n"), std::string::npos);
}

TEST(Settings, UnparsableValuesFallBackToEachKeysDefaultSilently) {
    struct Case {
        const char* text;
        char sep;
        double TControlParams::*field;
        double expected;
    };
    const Case cases[] = {
        {"[koof]\nC1_2=0,5.1\n", '.', &TControlParams::C1_2, 0.12}, // both marks
        {"[koof]\nC1_2=1.000,5\n", ',', &TControlParams::C1_2, 0.12},
        {"[koof]\nC1_2=0.5.1\n", '.', &TControlParams::C1_2, 0.12},
        {"[koof]\nC2_2=22\n", ',', &TControlParams::C2_2, 22}, // whole numbers read under both
        {"[koof]\nC2_2=22\n", '.', &TControlParams::C2_2, 22},
        {"[koof]\nC2_2=\n", '.', &TControlParams::C2_2, 22},
        {"[koof]\nC0_1=1e400\n", '.', &TControlParams::C0_1, 20},
        {"[KOOF]\nc0_1= 7 \n", '.', &TControlParams::C0_1, 7},
        {"[term]\nskor_B3=x\n", '.', &TControlParams::skor_B3, 1},
    };
    for (const Case& c : cases) {
        const TSettings s = settingsFromText(c.text, c.sep);
        EXPECT_EQ(s.params.*c.field, c.expected) << c.text << " with '" << c.sep << "'";
    }
    const TSettings bad = settingsFromText(
        "[General]\nCOM port=two\n[term_out]\nvih_1=5.5\n[check]\ndiff_1=yes\n", '.');
    EXPECT_EQ(bad.SavedComPort, 1);
    EXPECT_EQ(bad.params.vih[0], 5);
    EXPECT_TRUE(bad.params.diff_1);
}

// Under ru_RU "C1_2=0.5" (a file written under C, or by archive identify
// --write-settings) loaded as the default 0,12, and a Russian window's "0,5"
// was lost under C, silently: a float reads with either mark.
TEST(Settings, AFileWrittenUnderAnotherLocaleKeepsItsCoefficients) {
    for (const char writtenWith : {'.', ','}) {
        TSettings s;
        s.params.C1_2 = 0.5;
        s.params.C0_1 = -1.25e-5;
        s.params.otkl_A1 = 2.75;
        const std::string text = settingsToText("", s, writtenWith);
        for (const char readWith : {'.', ','})
            EXPECT_EQ(settingsFromText(text, readWith).params, s.params)
                << "written with '" << writtenWith << "', read with '" << readWith << "'";
    }
    EXPECT_EQ(parseProfileFloat(" 0,5 "), 0.5);
    EXPECT_EQ(parseProfileFloat("-1.5E2"), -150.0);
    EXPECT_EQ(parseProfileFloat("1,5e-1"), 0.15);
    EXPECT_EQ(parseProfileFloat("1 000,5"), std::nullopt);
    EXPECT_EQ(parseProfileFloat("0,5,1"), std::nullopt);
}

// The heating watch's figures guard the heater: a file from a PC with the
// other decimal separator keeps them, and no value can switch a check off.
TEST(Settings, SafetyFiguresReadUnderEitherSeparatorAndAreClampedToTheirRange) {
    struct Case {
        const char* value;
        char sep;
        double expected;
    };
    const Case cases[] = {
        {"300", '.', 300}, {"2,5", '.', 2.5},  {"2.5", ',', 2.5}, {" 7 ", ',', 7}, {"0", '.', 1},
        {"-5", '.', 1},    {"1e9", '.', 3600}, {"abc", '.', 120}, {"", '.', 120},  {"0,5", ',', 1},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("[SAFETY]\nWatch_Period=") + c.value + "\n";
        EXPECT_EQ(settingsFromText(text, c.sep).safety.watchPeriod, c.expected)
            << c.value << " with '" << c.sep << "'";
    }
    const TSettings s = settingsFromText(
        "[safety]\nwatch_rise=0\nwatch_fall=1000\nhysteresis=0,25\nfrozen_period=45\n", '.');
    EXPECT_EQ(s.safety.watchRise, 0.0625); // one step of the sensor
    EXPECT_EQ(s.safety.watchFall, 100);
    EXPECT_EQ(s.safety.hysteresis, 0.5);
    EXPECT_EQ(s.safety.frozenPeriod, 45);
    EXPECT_EQ(s.safety.runawayPeriod, SafetySettings{}.runawayPeriod);
    // What was in force is what the next save writes, under the locale's separator.
    const std::string text = settingsToText("[safety]\nwatch_rise=0\nnote=kept\n", s, ',');
    EXPECT_NE(text.find("[safety]\nwatch_rise=0,0625\nnote=kept\nwatch_period=120\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(settingsFromText(text, ',').safety, s.safety);
}

TEST(Settings, ProfileIntegers) {
    struct Case {
        const char* text;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {{"0", 0},
                          {" 42 ", 42},
                          {"-7", -7},
                          {"+3", 3},
                          {"$ff", 255},
                          {"0x10", 16},
                          {"$FFFFFFFF", -1},
                          {"2147483647", 2147483647},
                          {"-2147483648", INT32_MIN},
                          {"2147483648", std::nullopt},
                          {"$100000000", std::nullopt},
                          {"", std::nullopt},
                          {"1.0", std::nullopt},
                          {"0x", std::nullopt},
                          {"12a", std::nullopt}};
    for (const Case& c : cases)
        EXPECT_EQ(parseProfileInt(c.text), c.value) << c.text;
}

TEST(Settings, CommaLocaleWritesCommas) {
    TSettings s;
    s.params.C1_1 = 0.25;
    const std::string text = settingsToText("", s, ',');
    EXPECT_NE(text.find("C1_1=0,25\n"), std::string::npos);
    EXPECT_NE(text.find("C1_2=0,12\n"), std::string::npos);
    EXPECT_EQ(settingsFromText(text, ',').params, s.params);
}

TEST(Settings, SaveKeepsOtherSectionsCommentsPlacesAndCrLf) {
    TempDir dir;
    const std::string path = dir.file("Lab.INI");
    writeFile(path, "; lab 3\r\n[devices]\r\nCOM1=/dev/ttyUSB0\r\nLPT=/dev/parport1\r\n"
                    "[Koof]\r\nc0_1=1\r\nmine=keep\r\n[General]\r\nCOM port=3\r\n");
    TSettings s = LoadSettings(path, '.');
    EXPECT_EQ(s.SavedComPort, 3);
    EXPECT_EQ(s.params.C0_1, 1);
    EXPECT_EQ(s.devices.com[0], "/dev/ttyUSB0");
    EXPECT_EQ(s.devices.com[1], "/dev/ttyS1");
    EXPECT_EQ(s.devices.lpt, "/dev/parport1");
    s.SavedComPort = 0;
    s.devices.com[0] = "/dev/never-written";
    SaveSettings(path, s, '.');
    const std::string text = readFile(path);
    EXPECT_EQ(text.rfind("; lab 3\r\n[devices]\r\nCOM1=/dev/ttyUSB0\r\nLPT=/dev/parport1\r\n"
                         "[Koof]\r\nc0_1=1\r\nmine=keep\r\nC1_1=0.2\r\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("[General]\r\nCOM port=0\r\n[term]\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("never-written"), std::string::npos);
    EXPECT_EQ(LoadSettings(path, '.').params, s.params);
}

TEST(Settings, FailedSaveLeavesTheOldFileIntactAndReportsTheSystemText) {
    TempDir dir;
    const std::string path = dir.file("Lab.INI");
    writeFile(path, "[koof]\nC0_1=5\n");
    // A file size limit makes the new text's write fail half way, as a full
    // disk would (and works for root too, unlike a read-only folder).
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = 100;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    std::string error;
    try {
        SaveSettings(path, TSettings{}, '.');
    } catch (const IoError& e) {
        error = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    EXPECT_EQ(readFile(path), "[koof]\nC0_1=5\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator{}),
              1); // no temporary file left behind
}

TEST(Settings, AFileThatCannotBeReadIsNotReplaced) {
    TempDir dir;
    const std::string path = dir.file("Lab.INI");
    std::filesystem::create_directory(path); // exists, but reading it fails
    EXPECT_THROW(SaveSettings(path, TSettings{}, '.'), IoError);
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(Settings, SaveKeepsTheFilePermissionsAndOwner) {
    TempDir dir;
    const std::string path = dir.file("Lab.INI");
    writeFile(path, "");
    ::chmod(path.c_str(), 0640);
    // Root saving a student's file (sudo ... --write-settings) must leave it
    // the student's, or the student's next save is refused.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    SaveSettings(path, TSettings{}, '.');
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
    }
}

TEST(Settings, ADeviceMappingGoesIntoANewFolderAndReplacesTheOldPorts) {
    TempDir dir;
    const std::string path = dir.file("etc/thermostand/thermostand.INI");
    SaveDeviceMapping(path, {"/dev/ttyUSB0", "/dev/ttyUSB1"});
    SaveDeviceMapping(path, {"/dev/ttyACM0"});
    EXPECT_EQ(readFile(path), "[devices]\nCOM1=/dev/ttyACM0\n");
}

// Saves as an ordinary user and gives the failure's text ("" for none).
// Root writes into any folder, so under root the save runs in a child that
// has become `uid`, the owner the caller gave the file.
std::string saveAsOrdinaryUser(const std::string& path, uid_t uid) {
    auto save = [&]() -> std::string {
        try {
            SaveSettings(path, TSettings{}, '.');
        } catch (const IoError& e) {
            return e.what();
        }
        return {};
    };
    if (::geteuid() != 0)
        return save();
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string out = ::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0
                              ? save()
                              : "setuid failed";
        (void)!::write(pipeFds[1], out.data(), out.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string out;
    char buf[256];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? out : "the saving child died";
}

// The save renames a new file into place, which the folder allows whatever
// the file's own mode says.
TEST(Settings, AReadOnlyFileIsNotReplacedAndTheRefusalIsReported) {
    TempDir dir;
    const std::string path = dir.file("Lab.INI");
    writeFile(path, "[koof]\nC0_1=5\n");
    ::chmod(path.c_str(), 0444);
    std::string error;
    try {
        SaveSettings(path, TSettings{}, '.');
    } catch (const IoError& e) {
        error = e.what();
    }
    EXPECT_EQ(error, path + ": Permission denied");
    EXPECT_EQ(readFile(path), "[koof]\nC0_1=5\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST(Settings, AWritableFileInAFolderThatTakesNoNewFilesIsWrittenInPlace) {
    TempDir dir;
    const std::string path = dir.file("Lab.INI");
    writeFile(path, "[koof]\nC0_1=5\n[mine]\nkept=1\n");
    ::chmod(path.c_str(), 0640);
    const uid_t user = ::geteuid() == 0 ? 65534 : ::geteuid(); // nobody, under root
    ASSERT_EQ(::chown(path.c_str(), user, static_cast<gid_t>(-1)), 0);
    ::chmod(dir.path().c_str(), 0555);
    const std::string error = saveAsOrdinaryUser(path, user);
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(error, "");
    const std::string text = readFile(path);
    EXPECT_NE(text.find("C0_1=20\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[mine]\nkept=1\n"), std::string::npos) << text;
    EXPECT_EQ(LoadSettings(path, '.'), TSettings{});
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(Settings, FileNameRule) {
    struct Case {
        const char* exe;
        const char* ini;
    };
    const Case cases[] = {{"/opt/lab/LAB.EXE", "/opt/lab/Lab.INI"},
                          {"/usr/bin/thermostand", "/usr/bin/thermostand.INI"},
                          {"/x/ThermoStand.v2.bin", "/x/Thermostand.INI"},
                          {"/x/СТЕНД", "/x/Стенд.INI"},
                          {"LAB", "Lab.INI"},
                          {"/a.b/prog", "/a.b/prog.INI"}};
    for (const Case& c : cases)
        EXPECT_EQ(settingsFileName(c.exe), c.ini) << c.exe;
}

} // namespace

// The report's title block is kept in [report] by its own save, and a save
// of the settings keeps it as it keeps any line it does not own.
TEST(Settings, TheReportTitleBlockIsKeptInItsOwnSectionAndSurvivesASave) {
    TempDir dir;
    const std::string path = dir.file("t.INI");
    writeFile(path, "[devices]\nLPT=none\n");
    EXPECT_EQ(LoadReportSettings(path), ReportSettings{});
    SaveReportSettings(path, {"Лабораторная №3", "Иванова А.\nБ.", "ТС-21"});
    SaveSettings(path, TSettings{}, ',');
    const ReportSettings kept = LoadReportSettings(path);
    EXPECT_EQ(kept.title, "Лабораторная №3");
    EXPECT_EQ(kept.student, "Иванова А. Б.") << "one line holds one value";
    EXPECT_EQ(kept.group, "ТС-21");
    EXPECT_EQ(settingsFromText(readFile(path), ',').devices.lpt, "none");
}
