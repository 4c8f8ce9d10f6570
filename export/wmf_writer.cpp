#include "export/wmf_writer.h"

#include <algorithm>
#include <stdexcept>

namespace thermo::wmf {

namespace {

enum : std::uint16_t {
    META_EOF = 0x0000,
    META_SETBKMODE = 0x0102,
    META_SETPOLYFILLMODE = 0x0106,
    META_SETTEXTCOLOR = 0x0209,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_RECTANGLE = 0x041B,
    META_TEXTOUT = 0x0521,
    META_STRETCHDIB = 0x0F43,
};

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;
constexpr std::size_t kMaxPolyPoints = 8000;

std::uint16_t w(std::int16_t v) {
    return std::uint16_t(v);
}
std::uint16_t lo(std::uint32_t v) {
    return std::uint16_t(v & 0xFFFF);
}
std::uint16_t hi(std::uint32_t v) {
    return std::uint16_t(v >> 16);
}

// A COLORREF: red, green, blue, 0 in memory order.
void pushColor(std::vector<std::uint16_t>& p, Rgb c) {
    p.push_back(std::uint16_t(c.r | (c.g << 8)));
    p.push_back(c.b);
}

// Bytes packed two to a word, little-endian, padded with a zero byte.
void pushBytes(std::vector<std::uint16_t>& p, std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        std::uint8_t a = std::uint8_t(bytes[i]);
        std::uint8_t b = i + 1 < bytes.size() ? std::uint8_t(bytes[i + 1]) : 0;
        p.push_back(std::uint16_t(a | (b << 8)));
    }
}

void putWord(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v & 0xFF));
    out.push_back(std::uint8_t(v >> 8));
}

} // namespace

Writer::Writer(std::int16_t width, std::int16_t height, std::uint16_t unitsPerInch)
    : width_(width), height_(height), unitsPerInch_(unitsPerInch) {
    const std::uint16_t org[] = {0, 0};
    record(META_SETWINDOWORG, org);
    const std::uint16_t ext[] = {w(height), w(width)}; // y before x
    record(META_SETWINDOWEXT, ext);
}

void Writer::record(std::uint16_t function, std::span<const std::uint16_t> params) {
    const std::uint32_t size = std::uint32_t(3 + params.size());
    words_.push_back(lo(size));
    words_.push_back(hi(size));
    words_.push_back(function);
    words_.insert(words_.end(), params.begin(), params.end());
    maxRecord_ = std::max(maxRecord_, size);
    ++records_;
}

int Writer::takeSlot() {
    auto it = std::find(slots_.begin(), slots_.end(), false);
    int slot = int(it - slots_.begin());
    if (it == slots_.end())
        slots_.push_back(true);
    else
        *it = true;
    slotsEver_ = std::max(slotsEver_, slot + 1);
    return slot;
}

int Writer::createPen(PenStyle style, std::int16_t width, Rgb color) {
    std::vector<std::uint16_t> p = {std::uint16_t(style), w(width), 0};
    pushColor(p, color);
    record(META_CREATEPENINDIRECT, p);
    return takeSlot();
}

int Writer::createBrush(BrushStyle style, Rgb color, std::uint16_t hatch) {
    std::vector<std::uint16_t> p = {std::uint16_t(style)};
    pushColor(p, color);
    p.push_back(hatch);
    record(META_CREATEBRUSHINDIRECT, p);
    return takeSlot();
}

int Writer::createFont(const Font& f) {
    std::vector<std::uint16_t> p = {w(f.height), 0, w(f.escapement), w(f.escapement), w(f.weight)};
    p.push_back(std::uint16_t((f.italic ? 1 : 0) | ((f.underline ? 1 : 0) << 8)));
    p.push_back(std::uint16_t((f.strikeOut ? 1 : 0) | (f.charset << 8)));
    p.push_back(0); // output and clipping precision: defaults
    p.push_back(0); // quality, pitch and family: defaults
    std::string face = f.faceName.substr(0, 31);
    face.push_back('\0');
    pushBytes(p, face);
    record(META_CREATEFONTINDIRECT, p);
    return takeSlot();
}

void Writer::selectObject(int slot) {
    const std::uint16_t p[] = {std::uint16_t(slot)};
    record(META_SELECTOBJECT, p);
}

void Writer::deleteObject(int slot) {
    if (slot < 0 || std::size_t(slot) >= slots_.size() || !slots_[std::size_t(slot)])
        throw std::logic_error("deleting a metafile object that does not exist");
    const std::uint16_t p[] = {std::uint16_t(slot)};
    record(META_DELETEOBJECT, p);
    slots_[std::size_t(slot)] = false;
}

void Writer::setBkMode(std::uint16_t mode) {
    const std::uint16_t p[] = {mode, 0};
    record(META_SETBKMODE, p);
}

void Writer::setTextColor(Rgb color) {
    std::vector<std::uint16_t> p;
    pushColor(p, color);
    record(META_SETTEXTCOLOR, p);
}

void Writer::setTextAlign(std::uint16_t flags) {
    const std::uint16_t p[] = {flags, 0};
    record(META_SETTEXTALIGN, p);
}

void Writer::setPolyFillMode(std::uint16_t mode) {
    const std::uint16_t p[] = {mode, 0};
    record(META_SETPOLYFILLMODE, p);
}

void Writer::polyline(std::span<const Point> points) {
    if (points.size() < 2)
        return;
    for (std::size_t start = 0; start + 1 < points.size(); start += kMaxPolyPoints - 1) {
        std::size_t n = std::min(kMaxPolyPoints, points.size() - start);
        std::vector<std::uint16_t> p;
        p.reserve(1 + 2 * n);
        p.push_back(std::uint16_t(n));
        for (std::size_t i = start; i < start + n; ++i) {
            p.push_back(w(points[i].x));
            p.push_back(w(points[i].y));
        }
        record(META_POLYLINE, p);
    }
}

void Writer::polygon(std::span<const Point> points) {
    if (points.size() < 3)
        return;
    // A polygon cannot be split; one beyond the record limit is cut, which a
    // chart never needs (its areas are rectangles and markers).
    std::size_t n = std::min(points.size(), std::size_t(32000));
    std::vector<std::uint16_t> p;
    p.reserve(1 + 2 * n);
    p.push_back(std::uint16_t(n));
    for (std::size_t i = 0; i < n; ++i) {
        p.push_back(w(points[i].x));
        p.push_back(w(points[i].y));
    }
    record(META_POLYGON, p);
}

void Writer::rectangle(std::int16_t left, std::int16_t top, std::int16_t right,
                       std::int16_t bottom) {
    const std::uint16_t p[] = {w(bottom), w(right), w(top), w(left)};
    record(META_RECTANGLE, p);
}

void Writer::textOut(std::int16_t x, std::int16_t y, std::string_view text) {
    if (text.empty())
        return;
    text = text.substr(0, 0x7FFF);
    std::vector<std::uint16_t> p = {std::uint16_t(text.size())};
    pushBytes(p, text);
    p.push_back(w(y));
    p.push_back(w(x));
    record(META_TEXTOUT, p);
}

void Writer::stretchBitmap(std::int16_t x, std::int16_t y, std::int16_t destWidth,
                           std::int16_t destHeight, int width, int height,
                           std::span<const std::uint8_t> rgb) {
    if (width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF ||
        rgb.size() < std::size_t(width) * std::size_t(height) * 3)
        return;
    const std::size_t stride = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
    std::string dib;
    // BITMAPINFOHEADER, 40 bytes.
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            dib.push_back(char((v >> (8 * i)) & 0xFF));
    };
    auto put16 = [&](std::uint16_t v) {
        dib.push_back(char(v & 0xFF));
        dib.push_back(char(v >> 8));
    };
    put32(40);
    put32(std::uint32_t(width));
    put32(std::uint32_t(height)); // positive: rows stored from the bottom
    put16(1);
    put16(24);
    put32(0); // no compression
    put32(std::uint32_t(stride * std::size_t(height)));
    put32(3780); // 96 dpi in pixels per metre
    put32(3780);
    put32(0);
    put32(0);
    for (int row = height - 1; row >= 0; --row) {
        const std::uint8_t* src = rgb.data() + std::size_t(row) * std::size_t(width) * 3;
        for (int col = 0; col < width; ++col) {
            dib.push_back(char(src[3 * col + 2])); // blue, green, red
            dib.push_back(char(src[3 * col + 1]));
            dib.push_back(char(src[3 * col]));
        }
        dib.append(stride - std::size_t(width) * 3, '\0');
    }
    std::vector<std::uint16_t> p = {lo(kSrcCopy),
                                    hi(kSrcCopy),
                                    0, // colours are RGB values
                                    std::uint16_t(height),
                                    std::uint16_t(width),
                                    0,
                                    0,
                                    w(destHeight),
                                    w(destWidth),
                                    w(y),
                                    w(x)};
    pushBytes(p, dib);
    record(META_STRETCHDIB, p);
}

std::vector<std::uint8_t> Writer::finish() const {
    std::vector<std::uint8_t> out;
    out.reserve(22 + 18 + 2 * words_.size() + 6);

    // Placeable header: key, handle, bounding box, units per inch, reserved,
    // then the checksum over the ten words before it.
    std::uint16_t ph[10] = {lo(kPlaceableKey), hi(kPlaceableKey), 0, 0, 0, w(width_),
                            w(height_),        unitsPerInch_,     0, 0};
    std::uint16_t checksum = 0;
    for (std::uint16_t v : ph) {
        putWord(out, v);
        checksum ^= v;
    }
    putWord(out, checksum);

    const std::uint32_t total = 9 + std::uint32_t(words_.size()) + 3;
    const std::uint16_t header[9] = {1,
                                     9,
                                     0x0300,
                                     lo(total),
                                     hi(total),
                                     std::uint16_t(std::max(slotsEver_, 0)),
                                     lo(maxRecord_),
                                     hi(maxRecord_),
                                     0};
    for (std::uint16_t v : header)
        putWord(out, v);
    for (std::uint16_t v : words_)
        putWord(out, v);
    putWord(out, 3); // end record: size 3 words, function 0
    putWord(out, 0);
    putWord(out, META_EOF);
    return out;
}

std::string toCp1251(std::u16string_view text) {
    // 0x80 … 0xBF of the code page; 0xC0 … 0xFF are А … я in order.
    static constexpr char16_t upper[64] = {
        0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
        0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0xFFFF, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
        0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
        0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
        0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c >= 0xDC00 && c <= 0xDFFF)
            continue; // the high surrogate before it already gave its '?'
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c >= 0x0410 && c <= 0x044F) {
            out.push_back(char(0xC0 + (c - 0x0410)));
        } else {
            const auto* it = std::find(std::begin(upper), std::end(upper), c);
            out.push_back(it == std::end(upper) ? '?' : char(0x80 + (it - std::begin(upper))));
        }
    }
    return out;
}

} // namespace thermo::wmf
