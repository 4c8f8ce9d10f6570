// Reading WAV files from memory: the layouts the alarm player must accept
// and the damaged ones it must refuse instead of playing garbage.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "io/wav_file.h"

namespace {

using Bytes = std::vector<unsigned char>;

void put(Bytes& b, const char* tag) {
    b.insert(b.end(), tag, tag + 4);
}
void put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

Bytes fmtChunk(unsigned tag, unsigned channels, unsigned rate, unsigned bits, unsigned align) {
    Bytes b;
    b.reserve(256); // also spares GCC 12 a false -Wstringop-overflow
    put(b, "fmt ");
    put32(b, 16);
    put16(b, tag);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * align);
    put16(b, align);
    put16(b, bits);
    return b;
}

Bytes chunk(const char* tag, const Bytes& body, std::uint32_t declared) {
    Bytes b;
    b.reserve(256); // also spares GCC 12 a false -Wstringop-overflow
    put(b, tag);
    put32(b, declared);
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2)
        b.push_back(0);
    return b;
}
Bytes chunk(const char* tag, const Bytes& body) {
    return chunk(tag, body, static_cast<std::uint32_t>(body.size()));
}

Bytes riff(std::initializer_list<Bytes> chunks) {
    Bytes body;
    body.reserve(256);
    put(body, "WAVE");
    for (const Bytes& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    Bytes b;
    b.reserve(256); // also spares GCC 12 a false -Wstringop-overflow
    put(b, "RIFF");
    put32(b, static_cast<std::uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

const Bytes kSamples = {128, 200, 56, 128, 10, 250, 128};

TEST(ParseWav, FindsFormatAndSamplesWhateverChunksSurroundThem) {
    struct Case {
        const char* name;
        Bytes file;
        unsigned channels, bits;
        std::size_t frames;
    };
    const Bytes odd = {'a', 'b', 'c'}; // odd size: a pad byte follows
    const Case cases[] = {
        {"canonical", riff({fmtChunk(1, 1, 11025, 8, 1), chunk("data", kSamples)}), 1, 8, 7},
        {"odd LIST chunk first",
         riff({chunk("LIST", odd), fmtChunk(1, 1, 11025, 8, 1), chunk("data", kSamples)}), 1, 8, 7},
        {"data before fmt", riff({chunk("data", kSamples), fmtChunk(1, 1, 11025, 8, 1)}), 1, 8, 7},
        // 7 bytes of 16-bit stereo hold one whole frame; the rest is dropped.
        {"partial last frame", riff({fmtChunk(1, 2, 44100, 16, 4), chunk("data", kSamples)}), 2, 16,
         1},
    };
    for (const Case& c : cases) {
        const auto r = thermo::parseWav(c.file);
        ASSERT_TRUE(r.wav) << c.name << ": " << r.error;
        EXPECT_EQ(r.wav->format.channels, c.channels) << c.name;
        EXPECT_EQ(r.wav->format.bitsPerSample, c.bits) << c.name;
        EXPECT_EQ(r.wav->frames(), c.frames) << c.name;
        EXPECT_EQ(r.wav->samples.front(), 128) << c.name;
    }
}

TEST(ParseWav, RefusesDamagedOrUnplayableFiles) {
    Bytes truncated = riff({fmtChunk(1, 1, 11025, 8, 1), chunk("data", kSamples)});
    truncated.resize(truncated.size() - 3);
    Bytes notWave = riff({fmtChunk(1, 1, 11025, 8, 1), chunk("data", kSamples)});
    notWave[8] = 'A';
    struct Case {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        {"empty", {}},
        {"not WAVE", notWave},
        {"data runs past the end", truncated},
        {"declared size beyond the file",
         riff({fmtChunk(1, 1, 11025, 8, 1), chunk("data", kSamples, 1000)})},
        {"float samples", riff({fmtChunk(3, 1, 11025, 32, 4), chunk("data", kSamples)})},
        {"block align disagrees", riff({fmtChunk(1, 2, 11025, 16, 2), chunk("data", kSamples)})},
        {"zero rate", riff({fmtChunk(1, 1, 0, 8, 1), chunk("data", kSamples)})},
        {"no fmt", riff({chunk("data", kSamples)})},
        {"no data", riff({fmtChunk(1, 1, 11025, 8, 1)})},
        {"no whole frame", riff({fmtChunk(1, 2, 11025, 16, 4), chunk("data", {1, 2, 3})})},
    };
    for (const Case& c : cases) {
        const auto r = thermo::parseWav(c.file);
        EXPECT_FALSE(r.wav) << c.name;
        EXPECT_FALSE(r.error.empty()) << c.name;
    }
}

} // namespace
