#pragma once
// Reading a RIFF WAVE file held in memory: its PCM format and where its
// samples are. Nothing is copied; the spans point into the caller's bytes.

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace thermo {

struct WavFormat {
    unsigned channels = 0;
    unsigned sampleRate = 0;    // frames per second
    unsigned bitsPerSample = 0; // 8 (unsigned) or 16 (signed, little-endian)
    unsigned blockAlign = 0;    // bytes per frame
};

struct WavData {
    WavFormat format;
    std::span<const unsigned char> samples; // whole frames only
    [[nodiscard]] std::size_t frames() const { return samples.size() / format.blockAlign; }
};

struct WavParseResult {
    std::optional<WavData> wav;
    std::string error; // why not, when wav is empty
};

// Accepts uncompressed PCM, 1 or 2 channels, 8 or 16 bits, with the chunks
// in any order (odd-sized chunks padded as RIFF requires). A data chunk that
// runs past the end of the bytes is an error rather than something to play
// partly: it means the file is damaged.
[[nodiscard]] WavParseResult parseWav(std::span<const unsigned char> bytes);

} // namespace thermo
