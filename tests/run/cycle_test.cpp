// The tick against fakes of the sensor, the heater and the recorder: the
// order of effects and the output decisions, which the window and the
// headless run both rely on.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "run/cycle.h"

using namespace thermo;

namespace {

struct FakeSensor : CycleSensor {
    std::vector<SensorReading> readings; // consumed front to back; the last repeats
    size_t next = 0;
    int conversions = 0;
    SensorReading readTemperature() override {
        const SensorReading r = readings.at(std::min(next, readings.size() - 1));
        ++next;
        return r;
    }
    void startConversion() override { ++conversions; }
    void always(double t) { readings = {{SensorStatus::Ok, t}}; }
};

struct FakeHeater : CycleHeater {
    std::vector<int> bytes;
    void writeHeater(std::uint8_t b) override { bytes.push_back(b); }
};

struct FakeRecorder : CycleRecorder {
    std::vector<std::uint16_t> samples;
    std::vector<std::uint16_t> configs;
    int configChecks = 0;
    bool failNext = false;
    bool failAlways = false;
    bool changed = false;
    void appendSample(std::uint16_t takt, const TProcessState&) override {
        if (failNext || failAlways) {
            failNext = false;
            throw std::runtime_error("Input/output error");
        }
        samples.push_back(takt);
    }
    bool configChanged(const TConfigSources&) override {
        ++configChecks;
        return changed;
    }
    void appendConfig(const TConfigSources& live) override { configs.push_back(live.Takt); }
};

struct CycleTest : ::testing::Test {
    Stand stand;
    FakeSensor sensor;
    FakeHeater heater;
    FakeRecorder recorder;
    ControlCycle cycle{stand, sensor, heater, recorder};
    CycleTest() {
        stand.state.Zadan = 33.5;
        sensor.always(25.0);
    }
};

TEST(HeaterCommand, ClampsOnTheUnroundedValueThenRoundsHalfToEven) {
    const std::pair<double, int> cases[] = {{-3.7, 0},    {234.4, 234}, {300, 234},
                                            {116.5, 116}, {117.5, 118}, {233.5, 234},
                                            {-0.4, 0},    {NAN, 0},     {INFINITY, 234}};
    for (const auto& [out, byte] : cases)
        EXPECT_EQ(ControlCycle::heaterCommand(out), byte) << out;
}

TEST_F(CycleTest, FirstTickRecordsNothingSecondRecordsAtTaktThree) {
    TickReport r = cycle.tick(0.5);
    EXPECT_EQ(stand.state.Takt, 2);
    EXPECT_FALSE(r.sampleAdded);
    EXPECT_TRUE(recorder.samples.empty());
    EXPECT_EQ(recorder.configChecks, 0);
    EXPECT_EQ(sensor.conversions, 1);
    r = cycle.tick(0.5);
    EXPECT_TRUE(r.sampleAdded);
    EXPECT_EQ(recorder.samples, (std::vector<std::uint16_t>{3}));
    EXPECT_DOUBLE_EQ(stand.state.Oshibka, 8.5);
}

TEST_F(CycleTest, BothRegulatorsOffGiveZero) {
    for (int i = 0; i < 3; ++i)
        (void)cycle.tick(0);
    EXPECT_EQ(heater.bytes, (std::vector<int>{0, 0, 0}));
}

TEST_F(CycleTest, ManualModeOverridesButRegulatorsKeepEvolving) {
    stand.controls.Check_shim = true;
    stand.controls.UpDown2 = 50;
    stand.controls.Check_PID = true;
    stand.controls.Check_Fuzzy = true;
    (void)cycle.tick(0);
    const TickReport r = cycle.tick(0);
    EXPECT_EQ(heater.bytes.back(), 117);
    EXPECT_DOUBLE_EQ(stand.state.OUT_Regul, 117.0);
    EXPECT_TRUE(r.manual);
    EXPECT_NEAR(r.manualPercent, 50.0, 1e-12);
    EXPECT_EQ(stand.state.OUT_Regul1, 0.0);
    EXPECT_EQ(stand.state.OUT_Regul2, 0.0);
    EXPECT_TRUE(r.fuzzyEvaluated);
    EXPECT_TRUE(r.membershipChartsCleared);
    EXPECT_DOUBLE_EQ(stand.state.Summa_2, 17.0); // 8.5 twice
}

TEST_F(CycleTest, AlarmIsStrictlyAboveOneHundredTwentyFive) {
    stand.controls.SpeedButton1 = true;
    stand.controls.Check_shim = true;
    stand.controls.UpDown2 = 100;
    sensor.always(125.0);
    TickReport r = cycle.tick(0);
    EXPECT_EQ(r.branch, OutputBranch::ForcedHeat);
    EXPECT_EQ(heater.bytes.back(), 234);

    sensor.always(125.0625);
    r = cycle.tick(0);
    EXPECT_EQ(r.branch, OutputBranch::Alarm);
    EXPECT_EQ(heater.bytes.back(), 0);
    EXPECT_TRUE(r.alarmVisible);
    EXPECT_TRUE(r.alarmRed); // aqua when first shown, red on the first alarm tick
    EXPECT_EQ(r.sound, SoundAction::Play);
    EXPECT_FALSE(r.lampDrawn);
    EXPECT_TRUE(stand.Nagrev); // alarm ticks leave it

    stand.controls.Check_Alarm = false;
    r = cycle.tick(0);
    EXPECT_FALSE(r.alarmRed); // blinks back to aqua
    EXPECT_EQ(r.sound, SoundAction::Stop);

    sensor.always(100.0);
    r = cycle.tick(0);
    EXPECT_FALSE(r.alarmVisible);
    EXPECT_EQ(r.sound, SoundAction::Stop);
    EXPECT_FALSE(stand.alarmPanelRed); // keeps its colour for the next alarm
}

TEST_F(CycleTest, ForcedHeatAlternatesTheLampAndReleaseDrawsWhite) {
    stand.controls.SpeedButton1 = true;
    std::vector<bool> colours;
    for (int i = 0; i < 3; ++i) {
        const TickReport r = cycle.tick(0);
        ASSERT_TRUE(r.lampDrawn);
        colours.push_back(r.lampRed);
    }
    EXPECT_EQ(colours, (std::vector<bool>{false, true, false}));
    EXPECT_TRUE(stand.Nagrev);
    stand.controls.SpeedButton1 = false;
    const TickReport r = cycle.tick(0);
    EXPECT_TRUE(r.lampDrawn);
    EXPECT_FALSE(r.lampRed);
    EXPECT_FALSE(stand.Nagrev);
    stand.controls.SpeedButton1 = true;
    EXPECT_FALSE(cycle.tick(0).lampRed); // the first forced tick after normal output is white
}

TEST_F(CycleTest, SensorLostStopsSwitchesOffAndRecordsNothing) {
    stand.controls.SpeedButton1 = true;
    (void)cycle.tick(0);
    (void)cycle.tick(0);
    sensor.readings = {{SensorStatus::NoPresence, 0}};
    sensor.next = 0;
    const int conversions = sensor.conversions;
    const TickReport r = cycle.tick(0);
    EXPECT_EQ(r.stop, TickReport::Stop::SensorLost);
    EXPECT_EQ(r.message, "Датчик  не обнаружен.");
    EXPECT_EQ(heater.bytes.back(), 0);
    EXPECT_EQ(recorder.samples.size(), 1u);
    EXPECT_EQ(sensor.conversions, conversions);
    EXPECT_EQ(stand.state.Takt, 3);
}

// The sensor reads the room whatever the heater does, flickering by a step
// as a real one does (a reading still to the bit trips sooner, as frozen).
void readTheRoom(FakeSensor& sensor) {
    sensor.readings.clear();
    for (int i = 0; i < 200; ++i)
        sensor.readings.push_back({SensorStatus::Ok, 25.0 + (i % 2) / 16.0});
}

TEST_F(CycleTest, HeatingWithoutARiseForTwoMinutesStopsTheRunWithTheHeaterOff) {
    stand.controls.SpeedButton1 = true;
    readTheRoom(sensor);
    for (int i = 0; i < 120; ++i) // the first tick starts the watch; 119 s pass
        ASSERT_EQ(cycle.tick(0).stop, TickReport::Stop::None) << i;
    EXPECT_EQ(heater.bytes.back(), 234);
    const std::size_t samples = recorder.samples.size();
    const TickReport r = cycle.tick(0); // 120 s
    EXPECT_EQ(r.stop, TickReport::Stop::HeatingWithoutRise);
    EXPECT_EQ(r.message.rfind("Нагрев без роста температуры: проверьте датчик и нагреватель.", 0),
              0u);
    EXPECT_EQ(heater.bytes.back(), 0);
    EXPECT_EQ(recorder.samples.size(), samples);
    EXPECT_FALSE(cycle.watchWhileStopped()) << "the heater is off: nothing to watch";
}

// A step experiment has no setpoint of its own: with the window's setpoint
// near the plant's temperature, a sensor off the plant went unwatched under
// the experiment's full power.
TEST_F(CycleTest, AStepExperimentIsWatchedWhereverTheSetpointStands) {
    stand.state.Zadan = 25;
    readTheRoom(sensor);
    stand.controls.Check_shim = true;
    stand.controls.UpDown2 = 100;
    stand.controls.stepExperiment = true;
    TickReport r;
    for (int i = 0; i <= 120 && r.stop == TickReport::Stop::None; ++i)
        r = cycle.tick(0);
    EXPECT_EQ(r.stop, TickReport::Stop::HeatingWithoutRise);
    EXPECT_EQ(heater.bytes.back(), 0);
}

TEST_F(CycleTest, StoppedWithTheHeaterOnALostSensorSwitchesItOffOnce) {
    stand.controls.SpeedButton1 = true;
    (void)cycle.tick(0);
    ASSERT_TRUE(cycle.watchWhileStopped());
    const std::uint16_t takt = stand.state.Takt;
    TickReport r = cycle.checkWhileStopped(); // 25 °C: nothing to do
    EXPECT_EQ(r.stop, TickReport::Stop::None);
    EXPECT_EQ(heater.bytes.back(), 234);
    EXPECT_EQ(stand.state.Takt, takt);
    EXPECT_TRUE(recorder.samples.empty());
    sensor.readings = {{SensorStatus::NoPresence, 0}};
    sensor.next = 0;
    r = cycle.checkWhileStopped();
    EXPECT_EQ(r.stop, TickReport::Stop::SensorLost);
    EXPECT_EQ(heater.bytes.back(), 0);
    EXPECT_FALSE(cycle.watchWhileStopped()) << "one message, not one a second";
}

// A disturbed line while stopped under forced heat: the readings never say
// the plant is hot, and the heater stayed on for as long as the window was open.
TEST_F(CycleTest, StoppedWithTheHeaterOnOnlyDisturbedReadingsSwitchItOff) {
    stand.controls.SpeedButton1 = true;
    (void)cycle.tick(0);
    sensor.readings = {{SensorStatus::CheckByteMismatch, 85.0}};
    sensor.next = 0;
    for (int i = 1; i < kMaxHeldReadings; ++i)
        EXPECT_EQ(cycle.checkWhileStopped().stop, TickReport::Stop::None) << i;
    EXPECT_EQ(heater.bytes.back(), 234);
    EXPECT_EQ(cycle.checkWhileStopped().stop, TickReport::Stop::SensorUnreadable);
    EXPECT_EQ(heater.bytes.back(), 0);
}

TEST_F(CycleTest, CheckByteMismatchHoldsThePreviousTemperature) {
    sensor.readings = {{SensorStatus::Ok, 30.0}, {SensorStatus::CheckByteMismatch, 85.0}};
    (void)cycle.tick(0);
    const TickReport r = cycle.tick(0);
    EXPECT_TRUE(r.checkByteMismatch);
    EXPECT_EQ(r.stop, TickReport::Stop::None);
    EXPECT_EQ(stand.state.Temper, 30.0);
    EXPECT_EQ(sensor.conversions, 2);
}

TEST_F(CycleTest, OnlyDisturbedReadingsForTenTicksStopTheRunWithTheHeaterOff) {
    stand.controls.SpeedButton1 = true;
    const SensorReading bad{SensorStatus::CheckByteMismatch, 85.0};
    // Nine in a row, then a good one: the count starts again.
    sensor.readings = {{SensorStatus::Ok, 30.0}};
    for (int i = 0; i < 9; ++i)
        sensor.readings.push_back(bad);
    sensor.readings.push_back({SensorStatus::Ok, 31.0});
    for (int i = 0; i < 10; ++i)
        sensor.readings.push_back(bad);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(cycle.tick(0).stop, TickReport::Stop::None) << i;
    EXPECT_EQ(stand.state.Temper, 31.0);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(cycle.tick(0).stop, TickReport::Stop::None) << i;
    EXPECT_EQ(heater.bytes.back(), 234);
    const std::size_t samples = recorder.samples.size();
    const TickReport r = cycle.tick(0); // the tenth in a row
    EXPECT_EQ(r.stop, TickReport::Stop::SensorUnreadable);
    EXPECT_NE(r.message.find("нагреватель выключен"), std::string::npos);
    EXPECT_EQ(heater.bytes.back(), 0);
    EXPECT_EQ(recorder.samples.size(), samples) << "a held value is no measurement";
}

TEST_F(CycleTest, RecorderFailureEndsTheTickAndTheNextRunsNormally) {
    (void)cycle.tick(0);
    recorder.failNext = true;
    recorder.changed = true;
    TickReport r = cycle.tick(0);
    EXPECT_EQ(r.ioError, "Input/output error");
    EXPECT_EQ(recorder.configChecks, 0);
    EXPECT_EQ(sensor.conversions, 1); // none started for the failed tick
    r = cycle.tick(0);
    EXPECT_TRUE(r.ioError.empty());
    EXPECT_EQ(recorder.samples, (std::vector<std::uint16_t>{4}));
    EXPECT_EQ(recorder.configs, (std::vector<std::uint16_t>{4}));
    EXPECT_EQ(sensor.conversions, 2);
}

TEST_F(CycleTest, AnArchiveThatCannotBeWrittenStopsTheRunWithTheHeaterOff) {
    stand.controls.SpeedButton1 = true;
    (void)cycle.tick(0);
    recorder.failAlways = true;
    EXPECT_EQ(cycle.tick(0).ioError, "Input/output error");
    EXPECT_EQ(cycle.tick(0).stop, TickReport::Stop::None);
    EXPECT_EQ(heater.bytes.back(), 234);
    const TickReport r = cycle.tick(0); // the third failure in a row
    EXPECT_EQ(r.stop, TickReport::Stop::ArchiveUnwritable);
    EXPECT_NE(r.message.find("Input/output error"), std::string::npos) << r.message;
    EXPECT_EQ(heater.bytes.back(), 0);
    // A failure now and then does not add up.
    recorder.failAlways = false;
    for (int i = 0; i < 3; ++i) {
        recorder.failNext = true;
        EXPECT_EQ(cycle.tick(0).stop, TickReport::Stop::None);
        EXPECT_EQ(cycle.tick(0).stop, TickReport::Stop::None);
    }
}

TEST_F(CycleTest, ADisturbedFirstReadingIsNeitherActedOnNorRecorded) {
    stand.controls.SpeedButton1 = true; // would heat flat out
    stand.state.Temper = 0;             // nothing measured in this run yet
    sensor.readings = {{SensorStatus::CheckByteMismatch, 85.0},
                       {SensorStatus::CheckByteMismatch, 85.0},
                       {SensorStatus::Ok, 24.0}};
    for (int i = 0; i < 2; ++i) {
        const TickReport r = cycle.tick(0);
        EXPECT_TRUE(r.checkByteMismatch);
        EXPECT_TRUE(r.nothingMeasured);
        EXPECT_EQ(r.heaterByte, 0);
        EXPECT_EQ(heater.bytes.back(), 0);
        EXPECT_EQ(stand.state.Takt, 1) << "no tick of the run has passed";
    }
    EXPECT_EQ(sensor.conversions, 2) << "each one tries again";
    EXPECT_TRUE(recorder.samples.empty());
    (void)cycle.tick(0);
    EXPECT_EQ(stand.state.Temper, 24.0);
    EXPECT_EQ(heater.bytes.back(), 234);
    // From now on a disturbed reading holds the measured one.
    sensor.readings = {{SensorStatus::CheckByteMismatch, 85.0}};
    sensor.next = 0;
    const TickReport held = cycle.tick(0);
    EXPECT_FALSE(held.nothingMeasured);
    EXPECT_EQ(held.heaterByte, 234);
    EXPECT_EQ(stand.state.Temper, 24.0);
}

TEST_F(CycleTest, RunStopsWithHeaterOffWhenTheArchiveIsFull) {
    stand.controls.SpeedButton1 = true;
    stand.state.Takt = kLastRecordedTakt - 1;
    (void)cycle.tick(0);
    EXPECT_EQ(recorder.samples.back(), kLastRecordedTakt);
    const size_t reads = sensor.next;
    const TickReport r = cycle.tick(0);
    EXPECT_EQ(r.stop, TickReport::Stop::ArchiveFull);
    EXPECT_EQ(heater.bytes.back(), 0);
    EXPECT_EQ(stand.state.Takt, kLastRecordedTakt);
    EXPECT_EQ(sensor.next, reads);
    EXPECT_EQ(cycle.tick(0).stop, TickReport::Stop::ArchiveFull); // a restart stops again
}

TEST_F(CycleTest, FuzzyStepIsReportedForTheDisplays) {
    stand.controls.Check_Fuzzy = true;
    stand.state.Zadan = 26.5; // e = 1.5 on the first call
    const TickReport r = cycle.tick(0);
    ASSERT_TRUE(r.fuzzyEvaluated);
    EXPECT_FALSE(r.membershipChartsCleared);
    EXPECT_EQ(r.fuzzy.Rule_mask, 144u);
    EXPECT_NEAR(stand.state.OUT_Regul1, 222.3, 1e-9);
    EXPECT_EQ(heater.bytes.back(), 222);
}

} // namespace
