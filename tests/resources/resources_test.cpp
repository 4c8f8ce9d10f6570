// The embedded files: what the alarm, the scheme window and the icon rely on.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "io/wav_file.h"
#include "resources/embedded.h"
#include "ui_aux/jpeg_codec.h"

namespace {

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// The power of one frequency in a stretch of 8-bit samples (Goertzel).
double tonePower(std::span<const unsigned char> s, double hz, double rate) {
    const double k = 2 * std::cos(2 * std::numbers::pi * hz / rate);
    double a = 0, b = 0;
    for (unsigned char v : s) {
        const double c = (v - 128.0) + k * a - b;
        b = a;
        a = c;
    }
    return (a * a + b * b - k * a * b) / (static_cast<double>(s.size()) * s.size());
}

TEST(WarningSound, HeaderIsEightBitMonoPcmAt11025WithTheExactSampleCount) {
    const auto wav = thermo::resources::warningSound();
    ASSERT_EQ(wav.size(), 44u + 57662u); // the canonical 44-byte header, then the samples
    // Golden header bytes, written out by hand from the RIFF WAVE layout.
    const unsigned char header[44] = {
        'R',  'I',  'F', 'F', 0x62, 0xe1, 0x00, 0x00, 'W', 'A', 'V', 'E', // 57706 - 8
        'f',  'm',  't', ' ', 16,   0,    0,    0,    1,   0,   1,   0,   // PCM, mono
        0x11, 0x2b, 0,   0,   0x11, 0x2b, 0,    0,    1,   0,   8,   0,   // 11025/s, 1 byte/frame
        'd',  'a',  't', 'a', 0x3e, 0xe1, 0x00, 0x00};                    // 57662
    EXPECT_EQ(std::memcmp(wav.data(), header, 44), 0);
    EXPECT_EQ(le32(wav.data() + 40), 57662u);

    const auto parsed = thermo::parseWav(wav);
    ASSERT_TRUE(parsed.wav) << parsed.error;
    EXPECT_EQ(parsed.wav->frames(), 57662u);
}

// Two tones that take turns, loud enough to hear, and a loop seam that does
// not click: that is what makes it a warning and not a buzz.
TEST(WarningSound, AlternatesTwoAudibleTonesAndLoopsWithoutAClick) {
    const auto parsed = thermo::parseWav(thermo::resources::warningSound());
    ASSERT_TRUE(parsed.wav);
    const auto s = parsed.wav->samples;
    const double rate = parsed.wav->format.sampleRate;

    // Quarter-second windows well inside the first two tones.
    const auto first = s.subspan(1000, 2756);
    const auto second = s.subspan(5800, 2756);
    const double h1 = tonePower(first, 880, rate), l1 = tonePower(first, 660, rate);
    const double h2 = tonePower(second, 880, rate), l2 = tonePower(second, 660, rate);
    EXPECT_GT(h1, 50 * l1);
    EXPECT_GT(l2, 50 * h2);

    int peak = 0;
    for (unsigned char v : s)
        peak = std::max(peak, std::abs(v - 128));
    EXPECT_GT(peak, 80) << "too quiet to hear in a lab";
    EXPECT_LT(peak, 128) << "clipped";

    // Where the loop joins its end to its start, both sides rest near silence.
    EXPECT_LE(std::abs(s.front() - 128), 2);
    EXPECT_LE(std::abs(s.back() - 128), 2);
}

TEST(SchemePicture, DecodesThroughLibjpegTo960x720) {
    const auto jpeg = thermo::resources::schemePicture();
    // The picture is sized for the window at about 90 KB.
    EXPECT_GT(jpeg.size(), 60u * 1024);
    EXPECT_LT(jpeg.size(), 120u * 1024);
    const auto decoded = thermo::decodeJpeg(jpeg);
    ASSERT_TRUE(decoded.image) << decoded.error;
    EXPECT_EQ(decoded.image->width, 960);
    EXPECT_EQ(decoded.image->height, 720);
    // A white sheet with a drawing on it: the top-left corner is paper, and
    // some pixels are ink.
    const auto& px = decoded.image->rgb;
    EXPECT_GT(px[0], 240);
    std::size_t dark = 0;
    for (std::size_t i = 0; i < px.size(); i += 3)
        dark += px[i] < 80 && px[i + 1] < 80 && px[i + 2] < 80;
    EXPECT_GT(dark, 5000u);
}

TEST(ProgramIcon, IsA256PixelSquarePng) {
    const auto png = thermo::resources::programIcon();
    ASSERT_GT(png.size(), 33u);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0);
    EXPECT_EQ(std::memcmp(png.data() + 12, "IHDR", 4), 0);
    // IHDR holds width and height big-endian.
    const auto be32 = [](const unsigned char* p) {
        return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
               p[3];
    };
    EXPECT_EQ(be32(png.data() + 16), 256u);
    EXPECT_EQ(be32(png.data() + 20), 256u);
}

} // namespace
