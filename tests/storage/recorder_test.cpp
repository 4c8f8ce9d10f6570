// The recorder driven as the control cycle drives it: the counter set to 1 by
// "новый", AppendConfig, then per tick the counter advanced and, above 2,
// AppendSample followed by AppendConfig when ConfigChanged.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

#include "storage/io_error.h"
#include "storage/recorder.h"
#include "tests/temp_dir.h"

using namespace thermo;
using thermo::testing::readFile;
using thermo::testing::TempDir;
using thermo::testing::writeFile;

namespace {

struct RecordedRun {
    explicit RecordedRun(const std::string& path) : recorder([this] { return clock; }) {
        live.Zadan = 33.5;
        live.Check_Fuzzy = true;
        recorder.TakeConfigSnapshot(live); // the start-up baseline
        recorder.setArchiveName(path);
        state.Takt = 1;
        live.Takt = 1;
        recorder.AppendConfig(live);
    }
    void tick() {
        ++state.Takt;
        live.Takt = state.Takt;
        state.Temper = 20.0 + state.Takt;
        state.Summa_2 = -state.Takt;
        if (state.Takt > 2) {
            recorder.AppendSample(state.Takt, state);
            if (recorder.ConfigChanged(live))
                recorder.AppendConfig(live);
        }
    }
    double clock = 0.25;
    TConfigSources live;
    TProcessState state;
    ArchiveRecorder recorder;
};

std::size_t configCount(const std::string& path) {
    return readFile(path + "UST").size() / 248;
}

TEST(Vremya, IsTheFractionOfADayInWholeMilliseconds) {
    EXPECT_EQ(Vremya(12, 0, 0, 0), 0.5);
    EXPECT_EQ(Vremya(0, 0, 0, 0), 0.0);
    EXPECT_EQ(Vremya(6, 0, 0, 0), 0.25);
    EXPECT_EQ(Vremya(23, 59, 59, 999), 86'399'999.0 / 86'400'000.0);
    EXPECT_EQ(Vremya(0, 0, 0, 1), 1.0 / 86'400'000.0);
    const double now = localTimeOfDay();
    EXPECT_GE(now, 0.0);
    EXPECT_LT(now, 1.0);
}

TEST(Recorder, TenTicksWriteNineSamplesAndOneConfiguration) {
    TempDir dir;
    const std::string path = dir.file("run.txt");
    RecordedRun run(path);
    for (int i = 0; i < 10; ++i)
        run.tick();
    const std::string samples = readFile(path);
    const std::string configs = readFile(path + "UST");
    ASSERT_EQ(samples.size(), 288u);
    ASSERT_EQ(configs.size(), 248u);
    const auto* c = reinterpret_cast<const std::uint8_t*>(configs.data());
    EXPECT_EQ(decodeConfig(c).Takt, 1);
    EXPECT_EQ(decodeConfig(c).Zadan, 33.5);
    // The first sample was taken at counter 3, the last at 11.
    const auto* s = reinterpret_cast<const std::uint8_t*>(samples.data());
    EXPECT_EQ(decodeSample(s), (TArchiveRecord{23.0, 0.0, -3.0, 0.25}));
    EXPECT_EQ(decodeSample(s + 256).Temper, 31.0);
    EXPECT_EQ(run.recorder.RunSamples()[3].Temper, 23.0);
    EXPECT_EQ(run.recorder.RunSamples()[11].Temper, 31.0);
    EXPECT_EQ(run.recorder.RunSamples()[2], TArchiveRecord{});
}

TEST(Recorder, EachKindOfChangeGivesExactlyOneRecordAtTheNextTick) {
    struct Case {
        const char* what;
        void (*change)(TConfigSources&);
    };
    const Case cases[] = {
        {"interval", [](TConfigSources& l) { l.Interval = 2000; }},
        {"check box", [](TConfigSources& l) { l.params.integ_2 = !l.params.integ_2; }},
        {"setpoint", [](TConfigSources& l) { l.Zadan = 40; }},
        {"full heat", [](TConfigSources& l) { l.Nagrev = true; }},
        {"regulator switch", [](TConfigSources& l) { l.Check_PID = true; }},
        {"rule base", [](TConfigSources& l) { l.params.m[8] = 9; }},
        {"term", [](TConfigSources& l) { l.params.skor_C2 = 1.5; }},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.file("run.txt");
        RecordedRun run(path);
        run.tick();
        run.tick();
        c.change(run.live);
        run.tick();
        run.tick();
        EXPECT_EQ(configCount(path), 2u) << c.what;
        EXPECT_EQ(run.recorder.LastConfig().Takt, 4) << c.what;
    }
}

TEST(Recorder, TheIntervalIsComparedInFull) {
    ArchiveRecorder rec;
    TConfigSources live;
    live.Interval = 1000;
    rec.TakeConfigSnapshot(live);
    EXPECT_FALSE(rec.ConfigChanged(live));
    live.Interval = 65536 + 1000; // the same low 16 bits
    EXPECT_TRUE(rec.ConfigChanged(live));
    rec.TakeConfigSnapshot(live);
    EXPECT_EQ(rec.LastConfig().Interval, 1000);
}

TEST(Recorder, AChangeUndoneBeforeTheNextTickRecordsNothing) {
    TempDir dir;
    const std::string path = dir.file("run.txt");
    RecordedRun run(path);
    run.tick();
    run.live.Zadan = 50;
    run.live.Zadan = 33.5;
    run.tick();
    run.tick();
    EXPECT_EQ(configCount(path), 1u);
}

TEST(Recorder, AnExistingArchiveIsAppendedToUnchanged) {
    TempDir dir;
    const std::string path = dir.file("run.txt");
    {
        RecordedRun first(path);
        for (int i = 0; i < 4; ++i)
            first.tick();
    }
    const std::string before = readFile(path);
    const std::string configsBefore = readFile(path + "UST");
    RecordedRun second(path);
    for (int i = 0; i < 3; ++i)
        second.tick();
    const std::string after = readFile(path);
    EXPECT_EQ(after.size(), before.size() + 64);
    EXPECT_EQ(after.substr(0, before.size()), before);
    EXPECT_EQ(readFile(path + "UST").substr(0, 248), configsBefore);
    EXPECT_EQ(configCount(path), 2u);
}

TEST(Recorder, APartialTailIsOverwritten) {
    TempDir dir;
    const std::string path = dir.file("run.txt");
    const std::string whole(32, 'A');
    writeFile(path, whole + "partial");
    writeFile(path + "UST", std::string(248, '\0') + "xx");
    RecordedRun run(path);
    run.tick();
    run.tick();
    const std::string after = readFile(path);
    ASSERT_EQ(after.size(), 64u);
    EXPECT_EQ(after.substr(0, 32), whole);
    EXPECT_EQ(decodeSample(reinterpret_cast<const std::uint8_t*>(after.data()) + 32).Temper, 23.0);
    EXPECT_EQ(readFile(path + "UST").size(), 496u);
}

TEST(Recorder, LongPathsAreUsedInFull) {
    TempDir dir;
    const std::string path = dir.file(std::string(120, 'n') + ".txt");
    RecordedRun run(path);
    run.tick();
    run.tick();
    EXPECT_EQ(readFile(path).size(), 32u);
    EXPECT_EQ(configCount(path), 1u);
}

TEST(Recorder, PositionsAboveTheRunArrayAreRefusedWithoutWriting) {
    TempDir dir;
    const std::string path = dir.file("run.txt");
    RecordedRun run(path);
    TProcessState s;
    run.recorder.AppendSample(kMaxSamplePosition, s);
    EXPECT_THROW(run.recorder.AppendSample(kMaxSamplePosition + 1, s), std::out_of_range);
    EXPECT_EQ(readFile(path).size(), 32u);
    EXPECT_EQ(run.recorder.RunSamples().size(), kMaxSamplePosition + 1u);
}

TEST(Recorder, AnUnwritableArchiveRaisesTheSystemText) {
    TempDir dir;
    ArchiveRecorder recorder;
    recorder.setArchiveName(dir.file("no-such-folder/run.txt"));
    try {
        recorder.AppendSample(3, TProcessState{});
        ADD_FAILURE() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos);
    }
    // The sample is in the run's memory all the same, as the export reads it.
    EXPECT_THROW(recorder.AppendConfig(TConfigSources{}), IoError);
}

TEST(Recorder, AFailedWriteLeavesOnlyWholeRecords) {
    TempDir dir;
    const std::string path = dir.file("run.txt");
    RecordedRun run(path);
    run.tick();
    run.tick(); // one sample: 32 bytes
    // A file size limit of 48 bytes cuts the next record after 16 bytes.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = 48;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    EXPECT_THROW(run.tick(), IoError);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(readFile(path).size(), 32u);
    run.tick(); // the next tick tries again with a fresh open
    EXPECT_EQ(readFile(path).size(), 64u);
}

TEST(Recorder, AConfigurationThatFailedToBeWrittenIsWrittenAtTheNextTick) {
    TempDir dir;
    const std::string path = dir.file("run.txt");
    RecordedRun run(path);
    run.tick();
    run.tick();
    // The configuration file cannot be opened for one tick.
    const std::string ust = path + "UST";
    ASSERT_EQ(std::rename(ust.c_str(), (ust + ".kept").c_str()), 0);
    ASSERT_EQ(::mkdir(ust.c_str(), 0755), 0);
    run.live.Zadan = 40;
    EXPECT_THROW(run.tick(), IoError);
    EXPECT_TRUE(run.recorder.ConfigChanged(run.live)) << "the unwritten change was forgotten";
    ASSERT_EQ(::rmdir(ust.c_str()), 0);
    ASSERT_EQ(std::rename((ust + ".kept").c_str(), ust.c_str()), 0);
    run.tick();
    EXPECT_EQ(configCount(path), 2u);
    EXPECT_EQ(run.recorder.LastConfig().Zadan, 40);
    EXPECT_EQ(run.recorder.LastConfig().Takt, 5);
}

} // namespace

namespace {

// The main window's scorecard of the current run reads these: the records of
// the latest run only, with the one in force at its start as of Takt 1.
TEST(Recorder, RunConfigsHoldTheCurrentRunsRecordsOnly) {
    TempDir dir;
    RecordedRun run(dir.file("run.txt"));
    run.tick();
    run.tick();
    run.live.Zadan = 40;
    run.tick(); // record at Takt 4
    ASSERT_EQ(run.recorder.RunConfigs().size(), 2u);
    EXPECT_EQ(run.recorder.RunConfigs()[1].Takt, 4);

    // "новый" confirmed: counter 1, a record at Takt 1 starts the next run.
    run.state.Takt = 1;
    run.live.Takt = 1;
    run.recorder.AppendConfig(run.live);
    ASSERT_EQ(run.recorder.RunConfigs().size(), 1u);
    EXPECT_EQ(run.recorder.RunConfigs()[0].Zadan, 40);

    run.tick();
    run.tick();
    run.live.params.C0_1 = 5;
    run.tick(); // record at Takt 4
    run.tick();

    // "новый" cancelled: the counter restarts without a record; the first
    // change of that run finds the setpoint 40 in force since Takt 1.
    run.state.Takt = 1;
    run.tick();
    run.tick();
    run.live.Zadan = 45;
    run.tick(); // Takt 4, not above the previous record's
    ASSERT_EQ(run.recorder.RunConfigs().size(), 2u);
    EXPECT_EQ(run.recorder.RunConfigs()[0].Takt, 1);
    EXPECT_EQ(run.recorder.RunConfigs()[0].Zadan, 40);
    EXPECT_EQ(run.recorder.RunConfigs()[0].params.C0_1, 5);
    EXPECT_EQ(run.recorder.RunConfigs()[1].Takt, 4);
    EXPECT_EQ(run.recorder.RunConfigs()[1].Zadan, 45);
}

} // namespace
