#include "io/alarm_sound.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <system_error>

namespace thermo {

namespace {

// ALSA prints its own lines on stderr when a device is missing (several per
// attempt); this player reports one line of its own instead.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

class AlsaSink final : public PcmSink {
public:
    explicit AlsaSink(std::string device) : device_(std::move(device)) {}
    ~AlsaSink() override { close(); }

    std::optional<std::string> open(const WavFormat& format) override {
        close();
        // The handler is ALSA's process-wide setting; nothing else in the
        // program uses ALSA, and only this thread touches it.
        snd_lib_error_set_handler(quietAlsa);
        // Non-blocking, so a busy or stalled device can never hold this
        // thread (and with it the program's exit, which joins it) for long.
        int rc = snd_pcm_open(&pcm_, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        if (rc < 0) {
            pcm_ = nullptr;
            return "ALSA device \"" + device_ + "\": " + snd_strerror(rc);
        }
        frameBytes_ = format.blockAlign;
        // A fifth of a second of buffer: enough to ride out a busy moment,
        // short enough that a stop is heard at once even if drop is slow.
        rc = snd_pcm_set_params(
            pcm_, format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE,
            SND_PCM_ACCESS_RW_INTERLEAVED, format.channels, format.sampleRate, 1, 200000);
        if (rc < 0) {
            close();
            return "ALSA device \"" + device_ +
                   "\" refuses the sound's format: " + snd_strerror(rc);
        }
        return std::nullopt;
    }

    bool write(std::span<const unsigned char> frames) override {
        if (!pcm_)
            return false;
        const unsigned char* p = frames.data();
        snd_pcm_uframes_t left = frames.size() / frameBytes_;
        while (left > 0) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm_, p, left);
            if (n == -EAGAIN) {
                // The buffer is full: wait for room, but not forever. A
                // device that takes nothing for a second has failed.
                const int ready = snd_pcm_wait(pcm_, 1000);
                if (ready == 0)
                    return false;
                if (ready < 0 && snd_pcm_recover(pcm_, ready, 1) < 0)
                    return false;
                continue;
            }
            if (n < 0) {
                // An underrun (the thread was late) or a suspend: recover
                // and go on; anything else ends the sound.
                if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0)
                    return false;
                continue;
            }
            p += static_cast<std::size_t>(n) * frameBytes_;
            left -= static_cast<snd_pcm_uframes_t>(n);
        }
        return true;
    }

    void drop() override {
        if (!pcm_)
            return;
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_); // drop leaves the device unable to take frames
    }

    void close() override {
        if (pcm_) {
            snd_pcm_drop(pcm_);
            snd_pcm_close(pcm_);
            pcm_ = nullptr;
        }
    }

private:
    std::string device_;
    snd_pcm_t* pcm_ = nullptr;
    std::size_t frameBytes_ = 1;
};

} // namespace

std::unique_ptr<PcmSink> makeAlsaSink(std::string device) {
    return std::make_unique<AlsaSink>(std::move(device));
}

AlarmSound::AlarmSound(std::span<const unsigned char> wav, std::unique_ptr<PcmSink> sink,
                       std::ostream& diagnostics)
    : sink_(std::move(sink)), diagnostics_(diagnostics) {
    WavParseResult parsed = parseWav(wav);
    if (parsed.wav)
        wav_ = parsed.wav;
    else
        reportOnce("the alarm sound is unusable (" + parsed.error + ")");
}

AlarmSound::AlarmSound(std::span<const unsigned char> wav) : AlarmSound(wav, makeAlsaSink()) {}

AlarmSound::~AlarmSound() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void AlarmSound::play() {
    {
        std::lock_guard lock(mutex_);
        if (failed_)
            return;
        wanted_ = true;
        ++generation_;
        if (!worker_.joinable()) {
            try {
                worker_ = std::thread(&AlarmSound::run, this);
            } catch (const std::system_error& e) {
                // Out of threads: the alarm goes on without its sound.
                reportOnce(std::string("no thread for the alarm sound: ") + e.what());
                return;
            }
        }
    }
    wake_.notify_all();
}

void AlarmSound::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!wanted_)
            return;
        wanted_ = false;
    }
    wake_.notify_all();
}

bool AlarmSound::playing() const {
    std::lock_guard lock(mutex_);
    return wanted_ && !failed_;
}

// Called with mutex_ held, or from the constructor before any thread runs.
void AlarmSound::reportOnce(const std::string& why) {
    failed_ = true;
    wanted_ = false;
    if (reported_)
        return;
    reported_ = true;
    // One write, so the line stays whole beside the GUI thread's output.
    diagnostics_ << ("thermostand: " + why + "; the alarm stays silent\n") << std::flush;
}

void AlarmSound::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || (wanted_ && !failed_); });
        if (quit_)
            return;
        const std::uint64_t generation = generation_;
        lock.unlock();
        const std::optional<std::string> why = sink_->open(wav_->format);
        lock.lock();
        if (why) {
            reportOnce("no sound for the alarm: " + *why);
            continue;
        }
        lock.unlock();
        playLoop(generation);
        sink_->close();
        lock.lock();
    }
}

// Writes the samples round and round until stop(), the end of the player,
// or a failed device; a newer play() starts them over.
void AlarmSound::playLoop(std::uint64_t generation) {
    const std::span<const unsigned char> samples = wav_->samples;
    const std::size_t frameBytes = wav_->format.blockAlign;
    std::size_t pos = 0; // in bytes, always on a frame boundary
    for (;;) {
        bool end = false, restart = false;
        {
            std::lock_guard lock(mutex_);
            end = quit_ || !wanted_;
            restart = generation_ != generation;
            generation = generation_;
        }
        // The device is touched outside the lock, so play() and stop() on
        // the GUI thread never wait for it.
        if (end) {
            sink_->drop();
            return;
        }
        if (restart) {
            sink_->drop();
            pos = 0;
        }
        const std::size_t n = std::min(kChunkFrames * frameBytes, samples.size() - pos);
        if (!sink_->write(samples.subspan(pos, n))) {
            std::lock_guard lock(mutex_);
            reportOnce("the sound device failed during the alarm");
            return;
        }
        pos += n;
        if (pos == samples.size())
            pos = 0;
    }
}

} // namespace thermo
