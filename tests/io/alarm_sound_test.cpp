// The alarm player: looping, restart on every play(), stop, and silence with
// one line of explanation when there is no sound device.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "io/alarm_sound.h"

namespace {

using namespace std::chrono_literals;

std::vector<unsigned char> makeWav(std::size_t frames) {
    std::vector<unsigned char> b = {'R', 'I', 'F', 'F', 0,    0,    0,   0,   'W',  'A',
                                    'V', 'E', 'f', 'm', 't',  ' ',  16,  0,   0,    0,
                                    1,   0,   1,   0,   0x11, 0x2b, 0,   0,   0x11, 0x2b,
                                    0,   0,   1,   0,   8,    0,    'd', 'a', 't',  'a'};
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(frames >> (8 * i)));
    for (std::size_t i = 0; i < frames; ++i)
        b.push_back(static_cast<unsigned char>(i * 7));
    return b;
}

// Records what the player does, by offset into the sound's samples; each
// write takes a little time as a real device's would.
class RecordingSink : public thermo::PcmSink {
public:
    struct Event {
        char kind; // 'o'pen, 'w'rite, 'd'rop, 'c'lose
        std::ptrdiff_t offset = 0;
        std::size_t size = 0;
    };
    RecordingSink(const unsigned char* samples, bool failOpen, int writesBeforeFailure = -1)
        : samples_(samples), failOpen_(failOpen), writesLeft_(writesBeforeFailure) {}

    std::optional<std::string> open(const thermo::WavFormat&) override {
        add({'o'});
        if (failOpen_)
            return "no such device";
        return std::nullopt;
    }
    bool write(std::span<const unsigned char> frames) override {
        add({'w', frames.data() - samples_, frames.size()});
        std::this_thread::sleep_for(1ms);
        return writesLeft_ < 0 || writesLeft_-- > 0;
    }
    void drop() override { add({'d'}); }
    void close() override { add({'c'}); }

    std::vector<Event> events() const {
        std::lock_guard lock(m_);
        return events_;
    }
    // Waits until the events satisfy the condition (or two seconds pass).
    bool waitFor(const std::function<bool(const std::vector<Event>&)>& ok) const {
        for (int i = 0; i < 400; ++i) {
            if (ok(events()))
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

private:
    void add(Event e) {
        std::lock_guard lock(m_);
        events_.push_back(e);
    }
    const unsigned char* samples_;
    bool failOpen_;
    int writesLeft_; // only the player's thread writes
    mutable std::mutex m_;
    std::vector<Event> events_;
};

std::size_t count(const std::vector<RecordingSink::Event>& ev, char kind) {
    std::size_t n = 0;
    for (const auto& e : ev)
        n += e.kind == kind;
    return n;
}

constexpr std::size_t kFrames = 1300; // not a multiple of the chunk: the wrap is a short write
constexpr std::size_t kHeader = 44;

struct Rig {
    std::vector<unsigned char> wav = makeWav(kFrames);
    RecordingSink* sink = nullptr;
    std::ostringstream diag;
    std::unique_ptr<thermo::AlarmSound> sound;

    explicit Rig(bool failOpen = false, int writesBeforeFailure = -1) {
        auto s =
            std::make_unique<RecordingSink>(wav.data() + kHeader, failOpen, writesBeforeFailure);
        sink = s.get();
        sound = std::make_unique<thermo::AlarmSound>(wav, std::move(s), diag);
    }
};

TEST(AlarmSound, LoopsTheSamplesEndToEndInOrder) {
    Rig rig;
    rig.sound->play();
    ASSERT_TRUE(rig.sink->waitFor([](const auto& ev) { return count(ev, 'w') >= 8; }));
    rig.sound->stop();
    ASSERT_TRUE(rig.sink->waitFor([](const auto& ev) { return count(ev, 'c') == 1; }));
    const auto ev = rig.sink->events();
    ASSERT_EQ(ev.front().kind, 'o');
    // The writes cover the samples contiguously and start over at 0 after
    // the last frame, never reading past it.
    std::ptrdiff_t expected = 0;
    int wraps = 0;
    for (const auto& e : ev) {
        if (e.kind != 'w')
            continue;
        EXPECT_EQ(e.offset, expected);
        EXPECT_LE(e.offset + static_cast<std::ptrdiff_t>(e.size),
                  static_cast<std::ptrdiff_t>(kFrames));
        EXPECT_LE(e.size, thermo::AlarmSound::kChunkFrames);
        expected = e.offset + static_cast<std::ptrdiff_t>(e.size);
        if (expected == static_cast<std::ptrdiff_t>(kFrames)) {
            expected = 0;
            ++wraps;
        }
    }
    EXPECT_GE(wraps, 2);
    EXPECT_TRUE(rig.diag.str().empty());
}

TEST(AlarmSound, PlayAgainRestartsFromTheBeginning) {
    Rig rig;
    rig.sound->play();
    ASSERT_TRUE(rig.sink->waitFor([](const auto& ev) { return count(ev, 'w') >= 2; }));
    const std::size_t before = rig.sink->events().size();
    rig.sound->play();
    ASSERT_TRUE(rig.sink->waitFor([&](const auto& ev) {
        for (std::size_t i = before; i < ev.size(); ++i)
            if (ev[i].kind == 'd')
                return count(ev, 'w') > 0 && ev.back().kind == 'w' && i < ev.size() - 1;
        return false;
    }));
    const auto ev = rig.sink->events();
    // The first write after the restart's drop starts at frame 0, and the
    // device stays open through a restart.
    std::size_t i = before;
    while (ev[i].kind != 'd')
        ++i;
    ASSERT_LT(i + 1, ev.size());
    EXPECT_EQ(ev[i + 1].kind, 'w');
    EXPECT_EQ(ev[i + 1].offset, 0);
    EXPECT_EQ(count(ev, 'o'), 1u);
    EXPECT_EQ(count(ev, 'c'), 0u);
}

TEST(AlarmSound, StopSilencesAndClosesAndRepeatedCallsAreHarmless) {
    Rig rig;
    rig.sound->stop(); // before anything played
    EXPECT_FALSE(rig.sound->playing());
    rig.sound->play();
    EXPECT_TRUE(rig.sound->playing());
    ASSERT_TRUE(rig.sink->waitFor([](const auto& ev) { return count(ev, 'w') >= 1; }));
    rig.sound->stop();
    rig.sound->stop();
    EXPECT_FALSE(rig.sound->playing());
    ASSERT_TRUE(rig.sink->waitFor([](const auto& ev) { return count(ev, 'c') == 1; }));
    const std::size_t writes = count(rig.sink->events(), 'w');
    std::this_thread::sleep_for(50ms);
    const auto ev = rig.sink->events();
    EXPECT_EQ(count(ev, 'w'), writes) << "wrote after stop";
    EXPECT_EQ(ev[ev.size() - 2].kind, 'd') << "queued sound must be dropped, not drained";

    // And it plays again after a stop, opening the device anew.
    rig.sound->play();
    ASSERT_TRUE(rig.sink->waitFor([](const auto& ev2) { return count(ev2, 'o') == 2; }));
}

TEST(AlarmSound, NoDeviceGivesOneLineOnceAndSilence) {
    Rig rig(/*failOpen=*/true);
    for (int i = 0; i < 20; ++i) {
        rig.sound->play(); // every alarm tick
        std::this_thread::sleep_for(2ms);
    }
    // playing() turns false under the player's lock after the line is
    // written, so diag is safe to read once it has.
    for (int i = 0; i < 200 && rig.sound->playing(); ++i)
        std::this_thread::sleep_for(10ms);
    rig.sound->play();
    std::this_thread::sleep_for(20ms);
    const std::string text = rig.diag.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find("no such device"), std::string::npos) << text;
    EXPECT_FALSE(rig.sound->playing());
    EXPECT_EQ(count(rig.sink->events(), 'o'), 1u) << "tried the missing device again";
    EXPECT_EQ(count(rig.sink->events(), 'w'), 0u);
}

// A sound card unplugged during an alarm: one line, the device closed, and
// the alarm ticks that follow do not try it again.
TEST(AlarmSound, ADeviceFailingMidAlarmIsReportedOnceAndLeftAlone) {
    Rig rig(false, /*writesBeforeFailure=*/3);
    rig.sound->play();
    for (int i = 0; i < 200 && rig.sound->playing(); ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(rig.sound->playing());
    rig.sound->play();
    rig.sound->play();
    std::this_thread::sleep_for(20ms);
    const auto ev = rig.sink->events();
    EXPECT_EQ(count(ev, 'w'), 4u);
    EXPECT_EQ(count(ev, 'o'), 1u);
    EXPECT_EQ(count(ev, 'c'), 1u);
    const std::string text = rig.diag.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

TEST(AlarmSound, AnUnplayableFileIsReportedOnceAndNeverTouchesTheDevice) {
    std::vector<unsigned char> junk(100, 0x55);
    std::ostringstream diag;
    auto sink = std::make_unique<RecordingSink>(junk.data(), false);
    RecordingSink* s = sink.get();
    {
        thermo::AlarmSound sound(junk, std::move(sink), diag);
        sound.play();
        sound.play();
        EXPECT_FALSE(sound.playing());
        std::this_thread::sleep_for(20ms);
        EXPECT_TRUE(s->events().empty());
    }
    const std::string text = diag.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

// The real ALSA path, without a sound card: the "null" device accepts and
// discards samples; a device that does not exist must give the one line.
TEST(AlarmSound, AlsaNullDevicePlaysAndAMissingDeviceIsReported) {
    const auto wav = makeWav(kFrames);
    {
        std::ostringstream diag;
        thermo::AlarmSound sound(wav, thermo::makeAlsaSink("null"), diag);
        sound.play();
        std::this_thread::sleep_for(100ms);
        sound.play();
        std::this_thread::sleep_for(50ms);
        EXPECT_TRUE(sound.playing());
        sound.stop();
        EXPECT_EQ(diag.str(), "");
    }
    {
        std::ostringstream diag;
        thermo::AlarmSound sound(wav, thermo::makeAlsaSink("thermo_no_such_device"), diag);
        sound.play();
        // The failure is written before playing() turns false (both under
        // the player's lock), so waiting on it is enough to read diag safely.
        for (int i = 0; i < 200 && sound.playing(); ++i)
            std::this_thread::sleep_for(10ms);
        sound.play();
        std::this_thread::sleep_for(20ms);
        EXPECT_FALSE(sound.playing());
        const std::string text = diag.str();
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_NE(text.find("thermo_no_such_device"), std::string::npos) << text;
    }
}

} // namespace
