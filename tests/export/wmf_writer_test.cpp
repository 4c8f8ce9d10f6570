// The metafile writer's bytes against layouts written out by hand.
#include <gtest/gtest.h>

#include "export/wmf_writer.h"

using namespace thermo::wmf;

namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> v) {
    return std::vector<std::uint8_t>(v.begin(), v.end());
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& v, std::size_t from,
                                std::size_t n) {
    return {v.begin() + std::ptrdiff_t(from), v.begin() + std::ptrdiff_t(from + n)};
}

} // namespace

// 100 x 50 units at 96 to the inch. Checksum: 0xCDD7 ^ 0x9AC6 ^ 100 ^ 50 ^ 96
// = 0x5727.
TEST(WmfWriter, EmptyPictureHasBothHeadersWindowAndEndRecord) {
    Writer w(100, 50, 96);
    auto f = w.finish();
    auto want = bytes({
        0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, 100, 0, 50, 0, 96, 0, 0, 0, 0, 0, 0x27, 0x57,
        // metafile header: memory type, 9 words, version 3.0, size 9+5+5+3 words,
        // no objects, largest record 5 words, no parameters
        1, 0, 9, 0, 0, 3, 22, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0x0B, 0x02, 0, 0, 0,
        0,                                     // SETWINDOWORG y=0 x=0
        5, 0, 0, 0, 0x0C, 0x02, 50, 0, 100, 0, // SETWINDOWEXT y=50 x=100
        3, 0, 0, 0, 0, 0,                      // EOF
    });
    EXPECT_EQ(f, want);
}

TEST(WmfWriter, ObjectsTakeTheLowestFreeSlotAndTheHeaderCountsTheHighest) {
    Writer w(10, 10, 96);
    EXPECT_EQ(w.createPen(PenStyle::Solid, 0, {1, 2, 3}), 0);
    EXPECT_EQ(w.createBrush(BrushStyle::Solid, {4, 5, 6}), 1);
    EXPECT_EQ(w.createPen(PenStyle::Dot, 0, {}), 2);
    w.deleteObject(0);
    EXPECT_EQ(w.createFont(Font{}), 0);
    EXPECT_EQ(w.createPen(PenStyle::Null, 0, {}), 3);
    EXPECT_THROW(w.deleteObject(7), std::logic_error);
    auto f = w.finish();
    EXPECT_EQ(f[22 + 10], 4); // number of objects
    EXPECT_EQ(w.slotsUsed(), 4);
}

TEST(WmfWriter, RecordsHaveTheirParametersInGdiOrder) {
    Writer w(10, 10, 96);
    const std::size_t at = 22 + 18 + 20; // after headers and the two window records
    int pen = w.createPen(PenStyle::Dash, 15, {0, 255, 128});
    w.selectObject(pen);
    const Point pts[] = {{1, 2}, {3, -4}};
    w.polyline(pts);
    w.rectangle(1, 2, 3, 4);
    w.textOut(7, 8, "\xD2\xE0\xF1"); // "Тес" in CP1251: odd length, padded
    auto f = w.finish();
    auto want = bytes({
        8, 0, 0, 0, 0xFA, 0x02, 1, 0, 15,   0,    0,    0, 0, 255, 128,  0,    // CREATEPENINDIRECT
        4, 0, 0, 0, 0x2D, 0x01, 0, 0,                                          // SELECTOBJECT 0
        8, 0, 0, 0, 0x25, 0x03, 2, 0, 1,    0,    2,    0, 3, 0,   0xFC, 0xFF, // POLYLINE
        7, 0, 0, 0, 0x1B, 0x04, 4, 0, 3,    0,    2,    0, 1, 0,               // RECTANGLE b r t l
        8, 0, 0, 0, 0x21, 0x05, 3, 0, 0xD2, 0xE0, 0xF1, 0, 8, 0,   7,    0,    // TEXTOUT
    });
    EXPECT_EQ(slice(f, at, want.size()), want);
    EXPECT_EQ(f[22 + 12], 8); // largest record: 8 words
}

TEST(WmfWriter, LongPolylinesAreSplitSharingTheirEndPoints) {
    Writer w(100, 100, 96);
    std::vector<Point> pts(20000);
    for (std::size_t i = 0; i < pts.size(); ++i)
        pts[i] = {std::int16_t(i % 100), std::int16_t(i / 200)};
    w.polyline(pts);
    // 8000 + 8000 + 4002 points: each record starts where the last ended.
    EXPECT_EQ(w.recordCount(), 2u + 3u);
    auto f = w.finish();
    std::size_t at = 22 + 18 + 20;
    std::size_t total = 0;
    Point lastEnd{-1, -1};
    for (int r = 0; r < 3; ++r) {
        std::uint32_t size = f[at] | (f[at + 1] << 8) | (f[at + 2] << 16);
        std::uint16_t n = std::uint16_t(f[at + 6] | (f[at + 7] << 8));
        EXPECT_EQ(size, 3u + 1u + 2u * n);
        Point first{std::int16_t(f[at + 8] | (f[at + 9] << 8)),
                    std::int16_t(f[at + 10] | (f[at + 11] << 8))};
        if (r > 0) {
            EXPECT_EQ(first, lastEnd);
        }
        std::size_t e = at + 8 + 4 * (n - 1);
        lastEnd = {std::int16_t(f[e] | (f[e + 1] << 8)), std::int16_t(f[e + 2] | (f[e + 3] << 8))};
        total += n;
        at += 2 * size;
    }
    EXPECT_EQ(total, 20000u + 2u);
    EXPECT_EQ(lastEnd, pts.back());
}

TEST(WmfWriter, FontRecordCarriesTheCyrillicCharsetAndFaceName) {
    Writer w(10, 10, 96);
    Font font;
    font.height = -180;
    font.escapement = 900;
    font.weight = 700;
    font.italic = true;
    font.faceName = "Arial";
    (void)w.createFont(font);
    auto f = w.finish();
    auto want = bytes({
        15,   0, 0, 0, 0xFB, 0x02, 0x4C, 0xFF, 0, 0,   0x84, 0x03, 0x84, 0x03, 0xBC,
        0x02, 1, 0, 0, 204,  0,    0,    0,    0, 'A', 'r',  'i',  'a',  'l',  0,
    });
    EXPECT_EQ(slice(f, 22 + 18 + 20, want.size()), want);
}

// Expected bytes from the code page's published table.
TEST(Cp1251, MapsCyrillicAndTheSignsOfTheUpperHalf) {
    struct Case {
        std::u16string in;
        std::string out;
    } cases[] = {
        {u"температура", "\xF2\xE5\xEC\xEF\xE5\xF0\xE0\xF2\xF3\xF0\xE0"},
        {u"задание", "\xE7\xE0\xE4\xE0\xED\xE8\xE5"},
        {u"АЯая", "\xC0\xDF\xE0\xFF"},
        {u"Ёё№°", "\xA8\xB8\xB9\xB0"},
        {u"t, °C", "t, \xB0"
                   "C"},
        {u"€—«»", "\x88\x97\xAB\xBB"},
        {u"ẞ中", "??"},
        {u"\U0001F600x", "?x"}, // one character outside the BMP: one '?'
    };
    for (const auto& c : cases)
        EXPECT_EQ(toCp1251(c.in), c.out);
}
