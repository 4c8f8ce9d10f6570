// What the auxiliary parts cost the GUI thread: decoding the scheme picture
// when its window is created (libjpeg called directly, against Qt's own
// JPEG reader as the baseline), and AlarmSound::play() on every alarm tick
// (against a bare lock-and-notify, the least any hand-over can cost).

#include <benchmark/benchmark.h>

#include <QImage>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "io/alarm_sound.h"
#include "resources/embedded.h"
#include "ui_aux/jpeg_codec.h"

namespace {

void BM_SchemeDecode_Libjpeg(benchmark::State& state) {
    const auto jpeg = thermo::resources::schemePicture();
    for (auto _ : state) {
        auto r = thermo::decodeJpeg(jpeg);
        benchmark::DoNotOptimize(r.image->rgb.data());
    }
}
BENCHMARK(BM_SchemeDecode_Libjpeg)->Unit(benchmark::kMillisecond);

void BM_SchemeDecode_QtReaderBaseline(benchmark::State& state) {
    const auto jpeg = thermo::resources::schemePicture();
    for (auto _ : state) {
        QImage img = QImage::fromData(jpeg.data(), static_cast<int>(jpeg.size()), "JPEG");
        if (img.isNull()) {
            state.SkipWithError("Qt has no JPEG reader here");
            return;
        }
        benchmark::DoNotOptimize(img.constBits());
    }
}
BENCHMARK(BM_SchemeDecode_QtReaderBaseline)->Unit(benchmark::kMillisecond);

// A device that takes samples at about the real rate.
class PacedSink : public thermo::PcmSink {
public:
    std::optional<std::string> open(const thermo::WavFormat&) override { return std::nullopt; }
    bool write(std::span<const unsigned char> frames) override {
        std::this_thread::sleep_for(std::chrono::microseconds(frames.size() * 1000000 / 11025));
        return true;
    }
    void drop() override {}
    void close() override {}
};

void BM_AlarmPlay(benchmark::State& state) {
    thermo::AlarmSound sound(thermo::resources::warningSound(), std::make_unique<PacedSink>());
    sound.play(); // the thread is started once, outside the timing
    for (auto _ : state)
        sound.play();
    sound.stop();
}
BENCHMARK(BM_AlarmPlay);

void BM_LockNotifyBaseline(benchmark::State& state) {
    std::mutex m;
    std::condition_variable cv;
    bool flag = false;
    for (auto _ : state) {
        {
            std::lock_guard lock(m);
            flag = !flag;
        }
        cv.notify_all();
    }
    benchmark::DoNotOptimize(flag);
}
BENCHMARK(BM_LockNotifyBaseline);

} // namespace
