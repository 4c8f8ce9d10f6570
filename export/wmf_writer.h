#pragma once
// A writer of placeable Windows metafiles (the 16-bit WMF form with the
// 22-byte placeable header), enough for a chart: pens, brushes, fonts with
// the Cyrillic character set, polylines, polygons, rectangles, text and
// device-independent bitmaps. Qt-free; WmfPaintDevice feeds it from a
// QPainter.
//
// Coordinates are logical units with the origin at the top left, y down;
// the placeable header says how many of them make an inch. Objects (pens,
// brushes, fonts) live in slots: a new object takes the lowest free slot,
// deleting frees it, and the header's object count covers the highest slot
// ever used, which readers check every index against.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace thermo::wmf {

struct Point {
    std::int16_t x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// GDI's values, written to the file as they are.
enum class PenStyle : std::uint16_t {
    Solid = 0,
    Dash = 1,
    Dot = 2,
    DashDot = 3,
    DashDotDot = 4,
    Null = 5
};
enum class BrushStyle : std::uint16_t { Solid = 0, Null = 1, Hatched = 2 };

inline constexpr std::uint8_t kRussianCharset = 204;

struct Font {
    std::int16_t height = 0;     // negative: the em height in logical units
    std::int16_t escapement = 0; // tenths of a degree, counter-clockwise
    std::int16_t weight = 400;
    bool italic = false, underline = false, strikeOut = false;
    std::uint8_t charset = kRussianCharset;
    std::string faceName; // CP1251, at most 31 bytes are kept
    friend bool operator==(const Font&, const Font&) = default;
};

// Text alignment flags of SETTEXTALIGN.
inline constexpr std::uint16_t kAlignBaseline = 24;
// Background modes of SETBKMODE.
inline constexpr std::uint16_t kTransparent = 1, kOpaque = 2;
// Fill modes of SETPOLYFILLMODE.
inline constexpr std::uint16_t kAlternate = 1, kWinding = 2;

class Writer {
public:
    // The picture covers (0, 0) … (width, height) logical units, unitsPerInch
    // of them to the inch.
    Writer(std::int16_t width, std::int16_t height, std::uint16_t unitsPerInch);

    [[nodiscard]] int createPen(PenStyle style, std::int16_t width, Rgb color);
    [[nodiscard]] int createBrush(BrushStyle style, Rgb color, std::uint16_t hatch = 0);
    [[nodiscard]] int createFont(const Font& font);
    void selectObject(int slot);
    void deleteObject(int slot);

    void setBkMode(std::uint16_t mode);
    void setTextColor(Rgb color);
    void setTextAlign(std::uint16_t flags);
    void setPolyFillMode(std::uint16_t mode);

    // Long polylines are split into records of at most 8000 points that
    // share their end points.
    void polyline(std::span<const Point> points);
    void polygon(std::span<const Point> points);
    void rectangle(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom);
    // text: bytes in the selected font's character set.
    void textOut(std::int16_t x, std::int16_t y, std::string_view text);
    // A 24-bit picture: rgb holds width*height pixels, rows
    // from the top, 3 bytes each, stretched to the destination rectangle.
    void stretchBitmap(std::int16_t x, std::int16_t y, std::int16_t destWidth,
                       std::int16_t destHeight, int width, int height,
                       std::span<const std::uint8_t> rgb);

    // The whole file: placeable header, metafile header, records, end record.
    [[nodiscard]] std::vector<std::uint8_t> finish() const;

    [[nodiscard]] std::size_t recordCount() const { return records_; }
    [[nodiscard]] int slotsUsed() const { return slotsEver_; }

private:
    void record(std::uint16_t function, std::span<const std::uint16_t> params);
    int takeSlot();

    std::int16_t width_, height_;
    std::uint16_t unitsPerInch_;
    std::vector<std::uint16_t> words_; // the records, without the headers
    std::uint32_t maxRecord_ = 3;      // the end record's size
    std::size_t records_ = 0;
    std::vector<bool> slots_;
    int slotsEver_ = 0;
};

// Text to CP1251 (the Cyrillic ANSI code page); a character it lacks
// becomes '?'.
[[nodiscard]] std::string toCp1251(std::u16string_view text);

} // namespace thermo::wmf
