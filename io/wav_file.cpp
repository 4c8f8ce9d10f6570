#include "io/wav_file.h"

#include <cstdint>
#include <cstring>

namespace thermo {

namespace {

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

WavParseResult failure(std::string why) {
    WavParseResult r;
    r.error = std::move(why);
    return r;
}

} // namespace

WavParseResult parseWav(std::span<const unsigned char> bytes) {
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return failure("not a RIFF WAVE file");
    // Some writers leave the RIFF size wrong; the chunks themselves and the
    // bytes at hand decide where the file ends.
    std::size_t pos = 12;
    std::optional<WavFormat> format;
    std::optional<std::span<const unsigned char>> data;
    while (pos + 8 <= bytes.size()) {
        const unsigned char* head = bytes.data() + pos;
        const std::size_t size = le32(head + 4);
        const std::size_t body = pos + 8;
        if (size > bytes.size() - body)
            return failure(std::string("the \"") +
                           std::string(reinterpret_cast<const char*>(head), 4) +
                           "\" chunk runs past the end of the file");
        if (std::memcmp(head, "fmt ", 4) == 0) {
            if (size < 16)
                return failure("the format chunk is too short");
            const unsigned char* f = bytes.data() + body;
            if (le16(f) != 1)
                return failure("not uncompressed PCM");
            WavFormat w;
            w.channels = le16(f + 2);
            w.sampleRate = le32(f + 4);
            w.blockAlign = le16(f + 12);
            w.bitsPerSample = le16(f + 14);
            if (w.channels < 1 || w.channels > 2 ||
                (w.bitsPerSample != 8 && w.bitsPerSample != 16) || w.sampleRate == 0 ||
                w.blockAlign != w.channels * w.bitsPerSample / 8)
                return failure("an unsupported PCM layout");
            format = w;
        } else if (std::memcmp(head, "data", 4) == 0) {
            data = bytes.subspan(body, size);
        }
        pos = body + size + (size & 1);
    }
    if (!format)
        return failure("no format chunk");
    if (!data)
        return failure("no data chunk");
    const std::size_t whole = data->size() / format->blockAlign * format->blockAlign;
    if (whole == 0)
        return failure("no samples");
    WavParseResult r;
    r.wav = WavData{*format, data->first(whole)};
    return r;
}

} // namespace thermo
