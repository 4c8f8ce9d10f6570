// The run session's own rules against a scripted stand (readings the test
// sets, a heater that keeps every byte, guard news the test queues) and a
// real recorder in a folder of the test's own: what refuses a start,
// "новый", the safety stops and what they tell, the heater guard's news,
// the watch while stopped, the step experiment's end and the shutdown order.
// The tick's own decisions are cycle_test's; the window and thermostand-cli
// tests only show that they pass on what the session says.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "io/lpt.h"
#include "run/session.h"
#include "storage/recorder.h"
#include "storage/step_note.h"
#include "tests/temp_dir.h"

using namespace thermo;
using thermo::testing::TempDir;
namespace fs = std::filesystem;

namespace {

struct ScriptedStand : SessionDevices {
    std::vector<SensorReading> readings{{SensorStatus::Ok, 25.0}}; // in turn; the last repeats
    std::size_t next = 0;
    std::vector<int> heater; // every byte written
    std::deque<GuardNews> news;
    bool lost = false;
    Failure failure;
    int shutdowns = 0;

    void read(std::vector<SensorReading> r) {
        readings = std::move(r);
        next = 0;
    }
    SensorReading readTemperature() override {
        return readings.at(std::min(next++, readings.size() - 1));
    }
    void startConversion() override {}
    void writeHeater(std::uint8_t b) override { heater.push_back(b); }
    [[nodiscard]] Failure startUpFailure() const override { return failure; }
    [[nodiscard]] bool guardLost() const override { return lost; }
    GuardNews pollGuard(std::chrono::milliseconds) override {
        if (news.empty())
            return GuardNews::None;
        const GuardNews n = news.front();
        news.pop_front();
        lost = lost || n == GuardNews::Gone; // gone stays gone, as with the real guard
        return n;
    }
    void heartbeat() override { ++beats; }
    void readingInterval(std::chrono::milliseconds i) override { intervals.push_back(i.count()); }
    void shutdown() override { ++shutdowns; }
    int beats = 0;
    std::vector<long> intervals; // what the guard's hang limit was told
};

struct Session {
    TempDir dir{"thermo-session"};
    Stand stand;
    ScriptedStand devices;
    ArchiveRecorder recorder{[] { return 0.5; }};
    RunSession session{stand, devices, recorder};
    std::string archive = dir.file("run.txt");

    Session() { stand.state.Zadan = 33.5; }

    bool newArchive(std::optional<std::string> path) {
        return session.newArchive([&] { return path; });
    }
    // "новый" into the test's folder, "старт" under forced heat, and one
    // tick: the heater is on.
    void heating() {
        stand.controls.SpeedButton1 = true;
        ASSERT_TRUE(newArchive(archive));
        ASSERT_TRUE(session.start());
        session.tick(0.5);
        ASSERT_EQ(devices.heater.back(), 234);
        ASSERT_TRUE(session.takeNotices().empty());
    }
    std::vector<Notice> tick() {
        session.tick(0.5);
        return session.takeNotices();
    }
};

// One notice of `kind` saying `text`.
void expectOne(const std::vector<Notice>& notices, Notice::Kind kind, const std::string& text) {
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].kind, kind);
    EXPECT_EQ(notices[0].text, text);
}

TEST(RunSession, StartUpIsRefusedForAParallelPortOrAGuardThatFailed) {
    Session s;
    EXPECT_FALSE(s.session.startUpRefusal());
    s.devices.failure.guardError = "thermostand-guard: cannot open /dev/parport0";
    std::optional<Notice> n = s.session.startUpRefusal();
    ASSERT_TRUE(n);
    EXPECT_EQ(n->text,
              std::string(kGuardLostText) + "\nthermostand-guard: cannot open /dev/parport0");
    s.devices.failure.lptNotReady = true; // the port first: nothing could drive the heater anyway
    s.devices.failure.lptErrorCode = 13;
    n = s.session.startUpRefusal();
    ASSERT_TRUE(n);
    EXPECT_EQ(n->caption, "ERROR");
    EXPECT_EQ(n->text, kLptNotReadyText + std::string("13"));
    s.devices.failure.lptErrorCode = 16; // EBUSY: the port is another program's
    EXPECT_EQ(s.session.startUpRefusal()->text,
              kLptNotReadyText + std::string("16\nпорт занят: возможно, программа уже запущена"));
}

// No port answered: told once, with why and what to do, and a run may still
// watch the sensor. A port that cannot be opened is the refusal's business.
TEST(RunSession, NoHeaterPortIsToldWithItsReason) {
    Session s;
    EXPECT_FALSE(s.session.heaterAbsence());
    s.devices.failure.noHeaterPort = true;
    for (const auto& [setting, reason] :
         {std::pair{"auto", "Ни один из портов 0x3BC, 0x378, 0x278 не ответил (без права"},
          {"none", "В файле настроек указано LPT=none."},
          {"/dev/parport1", "Порт LPT=/dev/parport1 не ответил."}}) {
        s.devices.failure.lptSetting = setting;
        const std::optional<Notice> n = s.session.heaterAbsence();
        ASSERT_TRUE(n) << setting;
        EXPECT_EQ(n->icon, MessageKind::Warning);
        EXPECT_EQ(n->text.rfind(std::string(kNoHeaterText) + "\n" + reason, 0), 0u) << n->text;
        EXPECT_NE(n->text.find("probe --scan"), std::string::npos);
    }
    ASSERT_TRUE(s.newArchive(s.archive));
    EXPECT_TRUE(s.session.start()) << "a run that only watches the sensor";
    s.devices.failure.lptNotReady = true;
    EXPECT_FALSE(s.session.heaterAbsence());
}

TEST(RunSession, NoStartWhileTheGuardIsLost) {
    Session s;
    ASSERT_TRUE(s.newArchive(s.archive));
    s.devices.lost = true;
    EXPECT_FALSE(s.session.start());
    EXPECT_FALSE(s.session.running());
    expectOne(s.session.takeNotices(), Notice::Kind::Message, kGuardLostText);
    EXPECT_FALSE(s.session.startExperiment({0, 50, 2, 6}));
    EXPECT_EQ(s.session.experiment(), nullptr);
    expectOne(s.session.takeNotices(), Notice::Kind::Message, kGuardLostText);
}

TEST(RunSession, NewArchiveStopsTheRunStartsTheCountOverAndRecordsItsConfiguration) {
    Session s;
    s.heating();
    s.tick();
    ASSERT_EQ(s.stand.state.Takt, 3);
    const std::string next = s.dir.file("next.txt");
    s.stand.state.Zadan = 40;
    bool stoppedBeforeAsking = false;
    EXPECT_TRUE(s.session.newArchive([&] {
        stoppedBeforeAsking = !s.session.running(); // the dialog may wait for minutes
        return std::optional<std::string>(next);
    }));
    EXPECT_TRUE(stoppedBeforeAsking);
    EXPECT_EQ(s.stand.state.Takt, 1);
    EXPECT_EQ(s.devices.heater.back(), 234) << "a stop keeps the heater's command";
    const std::string ust = thermo::testing::readFile(next + "UST");
    ASSERT_EQ(ust.size(), kConfigRecordSize);
    const TConfigRecord c = decodeConfig(reinterpret_cast<const std::uint8_t*>(ust.data()));
    EXPECT_EQ(c.Takt, 1);
    EXPECT_EQ(c.Zadan, 40);
    EXPECT_TRUE(s.session.takeNotices().empty());

    // Cancelled: stopped and counted from 1 all the same, nothing written.
    ASSERT_TRUE(s.session.start());
    s.tick();
    EXPECT_FALSE(s.newArchive(std::nullopt));
    EXPECT_FALSE(s.session.running());
    EXPECT_EQ(s.stand.state.Takt, 1);
    EXPECT_EQ(fs::file_size(next + "UST"), kConfigRecordSize);
    EXPECT_TRUE(s.session.takeNotices().empty());

    // An archive that cannot be written: the general error report.
    EXPECT_FALSE(s.newArchive(s.dir.file("missing/run.txt")));
    const std::vector<Notice> n = s.session.takeNotices();
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].kind, Notice::Kind::ErrorReport);
    EXPECT_EQ(n[0].text.rfind(next.substr(0, next.rfind('/')) + "/missing/run.txtUST: ", 0), 0u)
        << n[0].text;
}

// Every way the tick stops a run, under forced heat: the run ends with the
// heater off, and the stopping tick tells its reason once.
TEST(RunSession, EachSafetyStopEndsTheRunWithTheHeaterOffAndOneMessage) {
    const SensorReading disturbed{SensorStatus::CheckByteMismatch, 85.0};
    struct Case {
        const char* what;
        std::function<void(Session&)> cause;
        std::string text;
        int errorReports = 0; // general error reports on the ticks before
    };
    const Case cases[] = {
        {"sensor lost",
         [](Session& s) {
             s.devices.read({{SensorStatus::NoPresence, 0}});
         },
         kSensorLostText},
        {"ten disturbed readings", [&](Session& s) { s.devices.read({disturbed}); },
         kSensorUnreadableText},
        {"heating without a rise",
         [](Session& s) {
             SafetySettings watch;
             watch.watchPeriod = 5;
             s.session.setSafety(watch);
         },
         kHeatingWithoutRiseText},
        {"archive full", [](Session& s) { s.stand.state.Takt = kLastRecordedTakt - 1; },
         kArchiveFullText},
        {"archive unwritable",
         [](Session& s) {
             fs::remove(s.archive);
             fs::create_directory(s.archive);
         },
         kArchiveUnwritableText, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        s.heating();
        c.cause(s);
        std::vector<Notice> told;
        int ticks = 0, errorReports = 0;
        while (s.session.running() && ticks++ < 20) {
            told = s.tick();
            if (s.session.running()) {
                for (const Notice& n : told)
                    errorReports += n.kind == Notice::Kind::ErrorReport;
            }
        }
        ASSERT_FALSE(s.session.running());
        EXPECT_EQ(s.devices.heater.back(), 0);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].kind, Notice::Kind::Message);
        EXPECT_EQ(told[0].icon, MessageKind::Error);
        EXPECT_EQ(told[0].text.rfind(c.text, 0), 0u) << told[0].text;
        EXPECT_EQ(errorReports, c.errorReports);
    }
}

TEST(RunSession, TheGuardSwitchingOffWarnsAndTheRunGoesOn) {
    Session s;
    s.heating();
    const std::size_t writes = s.devices.heater.size();
    s.devices.news = {GuardNews::SwitchedOff};
    EXPECT_EQ(s.session.hearGuard(), GuardNews::SwitchedOff);
    const std::vector<Notice> n = s.session.takeNotices();
    expectOne(n, Notice::Kind::GuardOff, kGuardSwitchedOffText);
    EXPECT_EQ(n[0].icon, MessageKind::Warning);
    EXPECT_TRUE(s.session.running());
    EXPECT_EQ(s.devices.heater.size(), writes);
    // The guard's 0 is the cycle's too: stopped now, nothing would be left
    // on for the watch while stopped to read.
    EXPECT_EQ(s.session.heaterByte(), 0);
    EXPECT_TRUE(s.tick().empty());
    EXPECT_EQ(s.devices.heater.back(), 234) << "the next tick writes the command again";
}

// Regression: a step experiment went on through the guard's switching off,
// a gap the fit would take for the plant's own response.
TEST(RunSession, TheGuardSwitchingOffClosesAStepExperiment) {
    Session s;
    ASSERT_TRUE(s.newArchive(s.archive));
    ASSERT_TRUE(s.session.startExperiment({0, 60, 1, 6}));
    s.tick();
    s.tick();
    s.devices.news = {GuardNews::SwitchedOff};
    s.session.hearGuard();
    s.tick();
    EXPECT_EQ(s.devices.heater.back(), 0);
    const std::optional<ExperimentEnd> end = s.session.takeExperimentEnd();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->how, ExperimentEnd::How::Abandoned);
    EXPECT_FALSE(s.session.running());
}

// The guard hears from the program when it reads the plant and from nothing
// else, and its hang limit follows the interval at which the plant is read.
TEST(RunSession, TheGuardHearsOfEveryReadingAndOfTheInterval) {
    Session s;
    s.stand.controls.intervalMs = 5000;
    s.heating(); // the tick wrote the heater, which tells the guard
    EXPECT_EQ(s.devices.intervals, std::vector<long>{5000});
    s.session.setIntervalMs(2000);
    EXPECT_EQ(s.devices.intervals.back(), 2000);
    s.session.stop();
    ASSERT_TRUE(s.session.watchWhileStopped());
    const int beats = s.devices.beats;
    (void)s.session.checkWhileStopped();
    EXPECT_EQ(s.devices.beats, beats + 1) << "a reading while stopped is a sign of life";
}

TEST(RunSession, TheGuardGoneStopsTheRunWithTheHeaterOffAndNoStartFollows) {
    Session s;
    s.heating();
    s.devices.news = {GuardNews::Gone};
    EXPECT_EQ(s.session.hearGuard(), GuardNews::Gone);
    EXPECT_FALSE(s.session.running());
    EXPECT_EQ(s.devices.heater.back(), 0);
    expectOne(s.session.takeNotices(), Notice::Kind::Message, kGuardLostText);
    EXPECT_FALSE(s.session.start());
    expectOne(s.session.takeNotices(), Notice::Kind::Message, kGuardLostText);
}

// Regression: with the guard gone, 0 went past the cycle, which still held
// the last command: a step experiment ended as "stopped" with the heater
// said to be on at 60 %, and the watch while stopped read on for ever.
TEST(RunSession, TheGuardGoneLeavesNoHeaterCommandBehind) {
    Session s;
    ASSERT_TRUE(s.newArchive(s.archive));
    ASSERT_TRUE(s.session.startExperiment({0, 60, 1, 6}));
    s.tick();
    s.tick();
    s.devices.news = {GuardNews::Gone};
    s.session.hearGuard();
    ASSERT_EQ(s.devices.heater.back(), 0);
    const std::optional<ExperimentEnd> end = s.session.takeExperimentEnd();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->heaterByte, 0);
    EXPECT_EQ(s.session.heaterByte(), 0);
    EXPECT_FALSE(s.session.watchWhileStopped());
}

TEST(RunSession, StoppedWithTheHeaterOnTheWatchSwitchesItOffWhenHotOrBlind) {
    Session s;
    s.heating();
    s.tick(); // a sample in the archive
    EXPECT_FALSE(s.session.watchWhileStopped()) << "the run watches for itself";
    s.session.stop();
    EXPECT_EQ(s.devices.heater.back(), 234);
    ASSERT_TRUE(s.session.watchWhileStopped());
    const std::uint16_t takt = s.stand.state.Takt;
    const auto samples = fs::file_size(s.archive);

    s.devices.read({{SensorStatus::Ok, 130.0}});
    TickReport r = s.session.checkWhileStopped();
    EXPECT_EQ(s.devices.heater.back(), 0);
    EXPECT_EQ(r.branch, OutputBranch::Alarm);
    EXPECT_TRUE(r.alarmVisible);
    EXPECT_TRUE(s.session.watchWhileStopped()) << "the alarm shows until the plant cools";
    s.devices.read({{SensorStatus::Ok, 100.0}});
    r = s.session.checkWhileStopped();
    EXPECT_FALSE(r.alarmVisible);
    EXPECT_FALSE(s.session.watchWhileStopped());
    EXPECT_EQ(s.stand.state.Takt, takt) << "no tick";
    EXPECT_EQ(fs::file_size(s.archive), samples) << "nothing recorded";
    EXPECT_TRUE(s.session.takeNotices().empty());

    Session lost;
    lost.heating();
    lost.session.stop();
    lost.devices.read({{SensorStatus::NoPresence, 0}});
    lost.session.checkWhileStopped();
    EXPECT_EQ(lost.devices.heater.back(), 0);
    expectOne(lost.session.takeNotices(), Notice::Kind::Message, kSensorLostText);
    EXPECT_FALSE(lost.session.watchWhileStopped());
}

// 20 % is 46.8 counts, 60 % 140.4, rounded half to even; the closing tick
// switches the heater off, and the run stops by itself.
TEST(RunSession, AStepExperimentRunsToItsEndAndCountsTheArchivesEarlierSamples) {
    Session s;
    for (int p = 0; p < 100; ++p) { // an archive that holds a run already
        const SampleBytes b = encodeSample({20, 0, 0, 0.5});
        appendRecord(s.archive, b.data(), b.size());
    }
    s.stand.controls.Check_PID = true; // what the user had on
    ASSERT_TRUE(s.newArchive(s.archive));
    EXPECT_FALSE(s.session.startExperiment({20, 60, 2, 5})) << "too few ticks to fit";
    ASSERT_TRUE(s.session.startExperiment({20, 60, 2, 6}));
    EXPECT_FALSE(s.session.startExperiment({20, 60, 2, 6})) << "one at a time";
    for (int i = 0; i < 20 && s.session.running(); ++i)
        s.session.tick(0.5 + i / 86400.0);
    EXPECT_EQ(s.devices.heater, (std::vector<int>{47, 47, 140, 140, 140, 140, 140, 140, 0}));
    EXPECT_FALSE(s.session.running());
    EXPECT_FALSE(s.stand.controls.Check_shim);
    const std::optional<ExperimentEnd> end = s.session.takeExperimentEnd();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->how, ExperimentEnd::How::Completed);
    EXPECT_EQ(end->heaterByte, 0);
    // The run's first tick records nothing: the switching tick is the
    // archive's 102nd sample, the last at 60 % its 107th.
    EXPECT_EQ(end->span.first, 102u);
    EXPECT_EQ(end->span.last, 107u);
    EXPECT_FALSE(s.session.takeExperimentEnd()) << "told once";
    EXPECT_TRUE(s.session.takeNotices().empty());
    // The archive records no manual value: the note beside it does.
    EXPECT_EQ(readStepNotes(s.archive),
              (std::vector<StepNote>{{102, 107, 20, 60, 2, 6, s.stand.controls.intervalMs, 1}}));
}

TEST(RunSession, AStepExperimentStoppedOrAbandonedEndsAsSuch) {
    Session s;
    ASSERT_TRUE(s.newArchive(s.archive));
    ASSERT_TRUE(s.session.startExperiment({0, 60, 1, 6}));
    for (int i = 0; i < 3; ++i)
        s.tick();
    s.session.stop(); // "стоп": the heater keeps the experiment's power
    EXPECT_EQ(s.devices.heater.back(), 140);
    EXPECT_FALSE(s.stand.controls.Check_shim) << "a new start would heat on at 60 %";
    std::optional<ExperimentEnd> end = s.session.takeExperimentEnd();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->how, ExperimentEnd::How::Stopped);
    EXPECT_EQ(end->heaterByte, 140);

    // A safety stop ends it from outside too, with the heater off.
    ASSERT_TRUE(s.session.startExperiment({0, 60, 1, 6}));
    s.tick();
    s.tick();
    s.devices.read({{SensorStatus::NoPresence, 0}});
    expectOne(s.tick(), Notice::Kind::Message, kSensorLostText);
    end = s.session.takeExperimentEnd();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->how, ExperimentEnd::How::Stopped);
    EXPECT_EQ(end->heaterByte, 0);

    s.devices.read({{SensorStatus::Ok, 25.0}});
    ASSERT_TRUE(s.session.startExperiment({0, 60, 1, 6}));
    s.tick();
    s.tick();
    s.session.abandonExperiment(); // "прервать": the next tick closes it
    EXPECT_TRUE(s.session.running());
    s.tick();
    EXPECT_EQ(s.devices.heater.back(), 0);
    EXPECT_FALSE(s.session.running());
    end = s.session.takeExperimentEnd();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->how, ExperimentEnd::How::Abandoned);
    EXPECT_TRUE(readStepNotes(s.archive).empty()) << "only a completed step is noted";
}

// The heater goes off before anything may wait for a person (the window
// saves its settings in between, which can show a box), and the devices
// close once however often the end is asked for.
TEST(RunSession, ShutdownSwitchesOffBeforeTheSaveAndClosesTheDevicesOnce) {
    Session s;
    s.heating();
    int heaterDuringSave = -1, closedDuringSave = -1, saves = 0;
    const auto save = [&] {
        ++saves;
        heaterDuringSave = s.devices.heater.back();
        closedDuringSave = s.devices.shutdowns;
    };
    s.session.shutdown(save);
    EXPECT_EQ(heaterDuringSave, 0);
    EXPECT_EQ(closedDuringSave, 0) << "the save comes before the port closes";
    EXPECT_FALSE(s.session.running());
    EXPECT_EQ(s.devices.shutdowns, 1);
    s.session.shutdown(save);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(s.devices.shutdowns, 1);
    EXPECT_FALSE(s.session.watchWhileStopped());
}

} // namespace
