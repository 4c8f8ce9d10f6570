#pragma once
// JPEG through libjpeg called directly: the scheme window decodes its picture
// with it, and the picture generator encodes with it.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace thermo {

// Pixels as 8-bit R, G, B triples, rows top to bottom without padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

struct JpegDecodeResult {
    std::optional<RgbImage> image;
    std::string error; // libjpeg's own text when image is empty
};

// Grey-scale and colour JPEGs both come back as RGB. Truncated data is an
// error: libjpeg would otherwise fill the missing rows with grey and call it
// success.
[[nodiscard]] JpegDecodeResult decodeJpeg(std::span<const unsigned char> data);

// quality 1..100. Returns the JPEG file's bytes, or nothing with the reason
// in *error.
[[nodiscard]] std::optional<std::vector<unsigned char>>
encodeJpeg(const RgbImage& image, int quality, std::string* error = nullptr);

} // namespace thermo
