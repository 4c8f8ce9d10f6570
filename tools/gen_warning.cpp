// Writes the alarm sound "WARNING": a RIFF WAVE file, 8-bit mono PCM at
// 11025 samples/s with exactly 57,662 bytes of samples (about 5.2 s), that the
// program plays in a loop while the plant is over temperature.
//
// The signal alternates a high and a low tone, like a two-tone siren. Each
// tone starts and ends in silence so neither the tone changes nor the loop's
// seam click, and the number of tones is even so the loop keeps alternating.
//
// Run by hand: thermo_gen_warning resources/warning.wav

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <numbers>
#include <vector>

namespace {

constexpr std::uint32_t kRate = 11025;
constexpr std::uint32_t kSampleBytes = 57662;
constexpr int kTones = 12;      // 0.44 s each
constexpr double kHigh = 880.0; // Hz
constexpr double kLow = 660.0;  // a fourth below: harsh enough, not shrill
constexpr double kFadeSeconds = 0.012;
constexpr double kPeak = 0.85; // of full scale, leaves room for the DAC

std::vector<std::uint8_t> synthesize() {
    std::vector<double> wave(kSampleBytes);
    const auto fade = static_cast<std::uint32_t>(kFadeSeconds * kRate);
    for (int tone = 0; tone < kTones; ++tone) {
        const auto begin = static_cast<std::uint32_t>(std::uint64_t{kSampleBytes} * tone / kTones);
        const auto end =
            static_cast<std::uint32_t>(std::uint64_t{kSampleBytes} * (tone + 1) / kTones);
        const double f = tone % 2 == 0 ? kHigh : kLow;
        for (std::uint32_t i = begin; i < end; ++i) {
            const double t = static_cast<double>(i - begin) / kRate;
            const double w = 2.0 * std::numbers::pi * f * t;
            // A little of the third and fifth harmonics makes the tone cut
            // through a noisy lab; both stay below the 5512 Hz Nyquist limit.
            double x = std::sin(w) + 0.3 * std::sin(3 * w) + 0.15 * std::sin(5 * w);
            const std::uint32_t edge = std::min(i - begin, end - 1 - i);
            if (edge < fade)
                x *= 0.5 - 0.5 * std::cos(std::numbers::pi * edge / fade);
            wave[i] = x;
        }
    }
    double peak = 0;
    for (double x : wave)
        peak = std::max(peak, std::abs(x));
    std::vector<std::uint8_t> out(kSampleBytes);
    for (std::size_t i = 0; i < out.size(); ++i) {
        // 8-bit WAV samples are unsigned with silence at 128.
        const long v = std::lround(128.0 + wave[i] / peak * kPeak * 127.0);
        out[i] = static_cast<std::uint8_t>(std::clamp(v, 0L, 255L));
    }
    return out;
}

void put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    put16(b, static_cast<std::uint16_t>(v));
    put16(b, static_cast<std::uint16_t>(v >> 16));
}

void putTag(std::vector<std::uint8_t>& b, const char* tag) {
    b.insert(b.end(), tag, tag + 4);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: thermo_gen_warning OUTPUT.wav\n";
        return 2;
    }
    const std::vector<std::uint8_t> samples = synthesize();
    std::vector<std::uint8_t> file;
    putTag(file, "RIFF");
    put32(file, 4 + (8 + 16) + (8 + kSampleBytes)); // the even sample count needs no pad byte
    putTag(file, "WAVE");
    putTag(file, "fmt ");
    put32(file, 16);
    put16(file, 1); // PCM
    put16(file, 1); // mono
    put32(file, kRate);
    put32(file, kRate); // bytes per second: one byte per sample
    put16(file, 1);     // block align
    put16(file, 8);     // bits per sample
    putTag(file, "data");
    put32(file, kSampleBytes);
    file.insert(file.end(), samples.begin(), samples.end());

    std::ofstream os(argv[1], std::ios::binary | std::ios::trunc);
    os.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    os.close();
    if (!os) {
        std::cerr << "thermo_gen_warning: cannot write " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
