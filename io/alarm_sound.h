#pragma once
// The over-temperature alarm's sound: a WAV held in memory, played in a loop
// on its own thread so the control cycle never waits for the sound card.
// Everything else in the program stays on the GUI thread; play() and stop()
// only hand a request to the player's thread.

#include <condition_variable>
#include <cstdint>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "io/wav_file.h"

namespace thermo {

// Where the samples go: ALSA in the program, a recorder in tests.
class PcmSink {
public:
    virtual ~PcmSink() = default;
    // Prepares the device for this format; the reason when it cannot.
    [[nodiscard]] virtual std::optional<std::string> open(const WavFormat& format) = 0;
    // Queues whole frames, blocking while the device's buffer is full.
    // False when the device has failed for good.
    [[nodiscard]] virtual bool write(std::span<const unsigned char> frames) = 0;
    // Discards what is queued, so a stop or a restart is heard at once.
    virtual void drop() = 0;
    virtual void close() = 0;
};

// An ALSA playback device by name: "default", "null", "hw:0,0"...
[[nodiscard]] std::unique_ptr<PcmSink> makeAlsaSink(std::string device = "default");

class AlarmSound {
public:
    // wav: the whole file, which must outlive the player (the embedded
    // resource does). A file that cannot be played, or a sink that cannot be
    // opened, gives one line on diagnostics and silence from then on: the
    // alarm's panel and heater cut-off do not depend on the sound.
    AlarmSound(std::span<const unsigned char> wav, std::unique_ptr<PcmSink> sink,
               std::ostream& diagnostics = std::cerr);
    // Plays through ALSA's default device.
    explicit AlarmSound(std::span<const unsigned char> wav);
    ~AlarmSound();
    AlarmSound(const AlarmSound&) = delete;
    AlarmSound& operator=(const AlarmSound&) = delete;

    // Starts the sound from its beginning, looping; while it plays, starts it
    // over (every alarm tick does).
    void play();
    // Silences it at once. Harmless when nothing plays.
    void stop();
    // True between play() and stop() unless the device has failed.
    [[nodiscard]] bool playing() const;

    // Frames of one write: about 46 ms at 11025/s, so a stop or restart
    // takes effect within that.
    static constexpr std::size_t kChunkFrames = 512;

private:
    void run();
    void reportOnce(const std::string& why);
    void playLoop(std::uint64_t generation);

    std::optional<WavData> wav_;
    std::unique_ptr<PcmSink> sink_;
    std::ostream& diagnostics_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool wanted_ = false;          // between play() and stop()
    std::uint64_t generation_ = 0; // counts play() calls, so a restart is seen
    bool failed_ = false;          // the file or the device is unusable
    bool reported_ = false;
    bool quit_ = false;
    std::thread worker_; // started by the first play()
};

} // namespace thermo
