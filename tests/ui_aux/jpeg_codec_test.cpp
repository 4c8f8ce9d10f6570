// JPEG through libjpeg: a round trip keeps the picture, and damaged data is
// an error with libjpeg's reason, never a crash or a half-grey picture.

#include <gtest/gtest.h>

#include <cstdlib>

#include "ui_aux/jpeg_codec.h"

namespace {

// Left half red, right half blue, with a white band: flat areas a JPEG keeps
// within a few levels.
thermo::RgbImage testCard(int w, int h) {
    thermo::RgbImage img{w, h, std::vector<unsigned char>(static_cast<std::size_t>(w) * h * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &img.rgb[(static_cast<std::size_t>(y) * w + x) * 3];
            const bool band = y >= h / 2 - 8 && y < h / 2 + 8;
            p[0] = band ? 255 : x < w / 2 ? 220 : 20;
            p[1] = band ? 255 : 30;
            p[2] = band ? 255 : x < w / 2 ? 20 : 200;
        }
    return img;
}

int maxDifferenceAwayFromEdges(const thermo::RgbImage& a, const thermo::RgbImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            if (std::abs(x - a.width / 2) < 8 || std::abs(y - (a.height / 2 - 8)) < 8 ||
                std::abs(y - (a.height / 2 + 8)) < 8)
                continue; // colour edges ring in any JPEG
            for (int c = 0; c < 3; ++c) {
                const std::size_t i = (static_cast<std::size_t>(y) * a.width + x) * 3 + c;
                worst = std::max(worst, std::abs(a.rgb[i] - b.rgb[i]));
            }
        }
    return worst;
}

TEST(Jpeg, RoundTripKeepsSizeAndColours) {
    // An odd size checks the row arithmetic: no padding in the pixel buffer.
    const auto card = testCard(123, 77);
    std::string error;
    const auto bytes = thermo::encodeJpeg(card, 90, &error);
    ASSERT_TRUE(bytes) << error;
    EXPECT_EQ((*bytes)[0], 0xff); // SOI
    EXPECT_EQ((*bytes)[1], 0xd8);
    const auto decoded = thermo::decodeJpeg(*bytes);
    ASSERT_TRUE(decoded.image) << decoded.error;
    EXPECT_EQ(decoded.image->width, 123);
    EXPECT_EQ(decoded.image->height, 77);
    EXPECT_LE(maxDifferenceAwayFromEdges(card, *decoded.image), 12);
}

TEST(Jpeg, HigherQualityMakesALargerFile) {
    // The picture generator bisects on this to hit its target size.
    const auto card = testCard(200, 150);
    std::size_t previous = 0;
    for (int q : {10, 50, 90, 100}) {
        const auto bytes = thermo::encodeJpeg(card, q);
        ASSERT_TRUE(bytes) << q;
        EXPECT_GT(bytes->size(), previous) << q;
        previous = bytes->size();
    }
}

TEST(Jpeg, DamagedDataIsAnErrorWithAReason) {
    const auto good = *thermo::encodeJpeg(testCard(64, 64), 90);
    auto truncated = good;
    truncated.resize(good.size() / 2);
    auto noHeader = good;
    noHeader[0] = 0;
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"not a JPEG", {'G', 'I', 'F', '8', '9', 'a'}},
        {"no start marker", noHeader},
        {"cut in half", truncated},
        {"only the start marker", {0xff, 0xd8}},
    };
    for (const Case& c : cases) {
        const auto r = thermo::decodeJpeg(c.bytes);
        EXPECT_FALSE(r.image) << c.name;
        EXPECT_FALSE(r.error.empty()) << c.name;
    }
}

TEST(Jpeg, EncodeRefusesABufferThatDoesNotMatchItsSize) {
    auto card = testCard(10, 10);
    card.rgb.pop_back();
    std::string error;
    EXPECT_FALSE(thermo::encodeJpeg(card, 90, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(thermo::encodeJpeg(testCard(10, 10), 0, &error));
    EXPECT_FALSE(thermo::encodeJpeg(testCard(10, 10), 101, &error));
}

} // namespace
