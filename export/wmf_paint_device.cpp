#include "export/wmf_paint_device.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTextItem>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "export/wmf_writer.h"

namespace thermo {

namespace {

constexpr int kPixelsPerInch = 96;

wmf::Rgb rgbOf(const QColor& c) {
    QColor r = c.toRgb();
    return {std::uint8_t(r.red()), std::uint8_t(r.green()), std::uint8_t(r.blue())};
}

struct PenKey {
    wmf::PenStyle style = wmf::PenStyle::Null;
    std::int16_t width = 0;
    wmf::Rgb color;
    friend bool operator==(const PenKey&, const PenKey&) = default;
};

struct BrushKey {
    wmf::BrushStyle style = wmf::BrushStyle::Null;
    wmf::Rgb color;
    std::uint16_t hatch = 0;
    friend bool operator==(const BrushKey&, const BrushKey&) = default;
};

// What a small table pairs with `key`, if anything.
template <class Key, class Value, std::size_t N>
std::optional<Value> lookUp(const std::pair<Key, Value> (&table)[N], Key key) {
    for (const auto& [k, value] : table)
        if (k == key)
            return value;
    return std::nullopt;
}

// The metafile's line style for Qt's: a custom dash pattern is drawn dashed,
// any other line solid.
wmf::PenStyle penStyleOf(Qt::PenStyle style) {
    constexpr std::pair<Qt::PenStyle, wmf::PenStyle> kStyles[] = {
        {Qt::DashLine, wmf::PenStyle::Dash},
        {Qt::CustomDashLine, wmf::PenStyle::Dash},
        {Qt::DotLine, wmf::PenStyle::Dot},
        {Qt::DashDotLine, wmf::PenStyle::DashDot},
        {Qt::DashDotDotLine, wmf::PenStyle::DashDotDot}};
    return lookUp(kStyles, style).value_or(wmf::PenStyle::Solid);
}

// Qt's hatch patterns with the metafile's hatch numbers (HS_HORIZONTAL 0,
// HS_VERTICAL 1, HS_FDIAGONAL 2, HS_BDIAGONAL 3, HS_CROSS 4, HS_DIAGCROSS 5);
// nothing for any other brush style.
std::optional<std::uint16_t> hatchOf(Qt::BrushStyle style) {
    constexpr std::pair<Qt::BrushStyle, std::uint16_t> kHatches[] = {
        {Qt::HorPattern, 0},   {Qt::VerPattern, 1},   {Qt::FDiagPattern, 2},
        {Qt::BDiagPattern, 3}, {Qt::CrossPattern, 4}, {Qt::DiagCrossPattern, 5}};
    return lookUp(kHatches, style);
}

// The colour a brush paints with when the metafile cannot carry the brush
// itself (gradients and textures).
QColor brushColor(const QBrush& b) {
    if (const QGradient* g = b.gradient(); g && !g->stops().isEmpty())
        return g->stops().first().second;
    return b.color();
}

// Liang–Barsky: the part of the segment a-b inside r, if any.
std::optional<std::pair<QPointF, QPointF>> clipSegment(QPointF a, QPointF b, const QRectF& r) {
    double t0 = 0, t1 = 1;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[] = {-dx, dx, -dy, dy};
    const double q[] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return std::nullopt;
    }
    return std::pair{QPointF(a.x() + t0 * dx, a.y() + t0 * dy),
                     QPointF(a.x() + t1 * dx, a.y() + t1 * dy)};
}

// Sutherland–Hodgman against the four edges of r.
QPolygonF clipPolygon(const QPolygonF& poly, const QRectF& r) {
    QPolygonF out = poly;
    for (int edge = 0; edge < 4 && !out.isEmpty(); ++edge) {
        auto inside = [&](const QPointF& p) {
            switch (edge) {
            case 0:
                return p.x() >= r.left();
            case 1:
                return p.x() <= r.right();
            case 2:
                return p.y() >= r.top();
            default:
                return p.y() <= r.bottom();
            }
        };
        auto cross = [&](const QPointF& a, const QPointF& b) {
            double t;
            switch (edge) {
            case 0:
                t = (r.left() - a.x()) / (b.x() - a.x());
                break;
            case 1:
                t = (r.right() - a.x()) / (b.x() - a.x());
                break;
            case 2:
                t = (r.top() - a.y()) / (b.y() - a.y());
                break;
            default:
                t = (r.bottom() - a.y()) / (b.y() - a.y());
                break;
            }
            return a + t * (b - a);
        };
        QPolygonF in = out;
        out.clear();
        for (qsizetype i = 0; i < in.size(); ++i) {
            const QPointF& cur = in[i];
            const QPointF& prev = in[(i + in.size() - 1) % in.size()];
            if (inside(cur)) {
                if (!inside(prev))
                    out << cross(prev, cur);
                out << cur;
            } else if (inside(prev)) {
                out << cross(prev, cur);
            }
        }
    }
    return out;
}

} // namespace

class WmfPaintEngine : public QPaintEngine {
public:
    WmfPaintEngine(int width, int height, int scale)
        : QPaintEngine(QPaintEngine::AllFeatures), width_(width), height_(height), scale_(scale) {}

    bool begin(QPaintDevice*) override {
        writer_.emplace(std::int16_t(width_ * scale_), std::int16_t(height_ * scale_),
                        std::uint16_t(kPixelsPerInch * scale_));
        // Text is placed by its baseline, as Qt places it, on a transparent
        // background.
        writer_->setBkMode(wmf::kTransparent);
        writer_->setTextAlign(wmf::kAlignBaseline);
        pen_.reset();
        brush_.reset();
        font_.reset();
        textColor_.reset();
        fillMode_ = 0;
        penSlot_ = brushSlot_ = fontSlot_ = -1;
        clip_.reset();
        return true;
    }

    bool end() override {
        // Free the objects still selected so the file leaves nothing behind
        // in a reader's object table.
        for (int* slot : {&penSlot_, &brushSlot_, &fontSlot_}) {
            if (*slot >= 0)
                writer_->deleteObject(*slot);
            *slot = -1;
        }
        bytes_ = writer_->finish();
        return true;
    }

    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& newState) override {
        const auto flags = newState.state();
        if (flags & DirtyTransform)
            transform_ = newState.transform();
        if (flags & DirtyPen)
            qpen_ = newState.pen();
        if (flags & DirtyBrush)
            qbrush_ = newState.brush();
        if (flags & (DirtyClipEnabled | DirtyClipRegion | DirtyClipPath | DirtyTransform)) {
            clip_.reset();
            if (QPainter* p = painter(); p && p->hasClipping())
                clip_ = p->combinedTransform().mapRect(p->clipBoundingRect());
        }
    }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        QPolygonF poly;
        poly.reserve(count);
        for (int i = 0; i < count; ++i)
            poly << transform_.map(points[i]);
        if (mode == PolylineMode)
            strokePolyline(poly);
        else
            fillPolygon(poly, mode == WindingMode ? wmf::kWinding : wmf::kAlternate, true);
    }

    void drawLines(const QLineF* lines, int count) override {
        for (int i = 0; i < count; ++i)
            strokePolyline(QPolygonF{transform_.map(lines[i].p1()), transform_.map(lines[i].p2())});
    }

    void drawRects(const QRectF* rects, int count) override {
        for (int i = 0; i < count; ++i) {
            if (transform_.type() > QTransform::TxScale) {
                fillPolygon(transform_.map(QPolygonF(rects[i])), wmf::kAlternate, true);
                continue;
            }
            QRectF r = transform_.mapRect(rects[i].normalized());
            if (clip_)
                r = r.intersected(*clip_);
            if (r.isEmpty())
                continue;
            const bool stroked = selectPen();
            const bool filled = selectBrush();
            if (!stroked && !filled)
                continue;
            writer_->rectangle(unit(r.left()), unit(r.top()), unit(r.right()), unit(r.bottom()));
        }
    }

    void drawPath(const QPainterPath& path) override {
        const QPainterPath p = transform_.map(path);
        const auto fill = p.fillRule() == Qt::WindingFill ? wmf::kWinding : wmf::kAlternate;
        if (qbrush_.style() != Qt::NoBrush) {
            for (const QPolygonF& poly : p.toFillPolygons())
                fillPolygon(poly, fill, false);
        }
        if (qpen_.style() != Qt::NoPen) {
            for (const QPolygonF& poly : p.toSubpathPolygons())
                strokePolyline(poly);
        }
    }

    void drawTextItem(const QPointF& pos, const QTextItem& item) override {
        const QString text = item.text();
        if (text.isEmpty())
            return;
        const QFont f = item.font();
        const double px =
            f.pixelSize() > 0 ? f.pixelSize() : f.pointSizeF() * kPixelsPerInch / 72.0;
        const double stretch = std::sqrt(std::abs(transform_.determinant()));
        const double angle =
            std::atan2(transform_.m12(), transform_.m11()) * 180.0 / std::numbers::pi;
        int esc = int(std::lround(-angle * 10.0)) % 3600;
        if (esc < 0)
            esc += 3600;

        wmf::Font font;
        font.height = std::int16_t(-std::clamp<long>(std::lround(px * stretch * scale_), 1, 32767));
        font.escapement = std::int16_t(esc);
        font.weight = std::int16_t(std::clamp(int(f.weight()), 100, 900));
        font.italic = f.italic();
        font.underline = f.underline();
        font.strikeOut = f.strikeOut();
        font.faceName = wmf::toCp1251(std::u16string_view(
            reinterpret_cast<const char16_t*>(f.family().utf16()), std::size_t(f.family().size())));
        if (!font_ || *font_ != font) {
            replaceObject(writer_->createFont(font), fontSlot_);
            font_ = font;
        }
        const wmf::Rgb color = rgbOf(qpen_.color());
        if (!textColor_ || *textColor_ != color) {
            writer_->setTextColor(color);
            textColor_ = color;
        }
        const QPointF at = transform_.map(pos);
        writer_->textOut(
            unit(at.x()), unit(at.y()),
            wmf::toCp1251(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                              std::size_t(text.size()))));
    }

    void drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr) override {
        drawImage(r, pm.toImage(), sr, Qt::AutoColor);
    }

    void drawImage(const QRectF& r, const QImage& image, const QRectF& sr,
                   Qt::ImageConversionFlags) override {
        QImage part = image.copy(sr.toAlignedRect());
        if (part.isNull())
            return;
        // Transparent parts are laid on white, the paper the chart is on.
        QImage flat(part.size(), QImage::Format_RGB888);
        flat.fill(Qt::white);
        {
            QPainter p(&flat);
            p.drawImage(0, 0, part);
        }
        std::vector<std::uint8_t> rgb;
        rgb.reserve(std::size_t(flat.width()) * std::size_t(flat.height()) * 3);
        for (int y = 0; y < flat.height(); ++y) {
            const uchar* line = flat.constScanLine(y);
            rgb.insert(rgb.end(), line, line + flat.width() * 3);
        }
        const QRectF d = transform_.mapRect(r);
        writer_->stretchBitmap(unit(d.left()), unit(d.top()), unit(d.width()), unit(d.height()),
                               flat.width(), flat.height(), rgb);
    }

    void drawTiledPixmap(const QRectF& r, const QPixmap& pm, const QPointF&) override {
        // A tiled background is rare on a chart; one stretched copy keeps
        // its colours without multiplying the file's size.
        drawPixmap(r, pm, pm.rect());
    }

    std::vector<std::uint8_t> bytes_;

private:
    std::int16_t unit(double v) const {
        return std::int16_t(std::clamp<long>(std::lround(v * scale_), -32768, 32767));
    }

    // Selects a new object in place of the one of its kind in `current`,
    // then frees that one: a reader's object table holds only what is in use.
    void replaceObject(int slot, int& current) {
        writer_->selectObject(slot);
        if (current >= 0)
            writer_->deleteObject(current);
        current = slot;
    }

    // Selects the painter's pen; false when it draws nothing.
    bool selectPen() {
        PenKey key;
        const QColor c = qpen_.color();
        if (qpen_.style() != Qt::NoPen && qpen_.brush().style() != Qt::NoBrush && c.alpha() > 0) {
            key.style = penStyleOf(qpen_.style());
            // A hairline (width 0 in the file) stays one device pixel wide at
            // any zoom, and only hairlines may be dashed in older readers.
            double w = qpen_.widthF();
            if (!qpen_.isCosmetic())
                w *= std::sqrt(std::abs(transform_.determinant()));
            key.width = w <= 1.0 ? 0 : unit(w);
            key.color = rgbOf(c);
        }
        if (!pen_ || *pen_ != key) {
            replaceObject(writer_->createPen(key.style, key.width, key.color), penSlot_);
            pen_ = key;
        }
        return key.style != wmf::PenStyle::Null;
    }

    bool selectBrush() {
        BrushKey key;
        const QColor c = brushColor(qbrush_);
        if (qbrush_.style() != Qt::NoBrush && c.alpha() > 0) {
            key.color = rgbOf(c);
            if (const auto hatch = hatchOf(qbrush_.style())) {
                key.style = wmf::BrushStyle::Hatched;
                key.hatch = *hatch;
            } else {
                key.style = wmf::BrushStyle::Solid;
            }
        }
        if (!brush_ || *brush_ != key) {
            replaceObject(writer_->createBrush(key.style, key.color, key.hatch), brushSlot_);
            brush_ = key;
        }
        return key.style != wmf::BrushStyle::Null;
    }

    std::vector<wmf::Point> toUnits(const QPolygonF& poly) const {
        std::vector<wmf::Point> pts;
        pts.reserve(std::size_t(poly.size()));
        for (const QPointF& p : poly) {
            wmf::Point q{unit(p.x()), unit(p.y())};
            // Points that fall on the same unit add nothing to the picture.
            if (pts.empty() || !(pts.back() == q))
                pts.push_back(q);
        }
        return pts;
    }

    // poly in device pixels.
    void strokePolyline(const QPolygonF& poly) {
        if (poly.size() < 2 || !selectPen())
            return;
        if (!clip_) {
            auto pts = toUnits(poly);
            if (pts.size() == 1)
                pts.push_back(pts.front());
            writer_->polyline(pts);
            return;
        }
        QPolygonF run;
        auto flush = [&] {
            if (run.size() >= 2) {
                auto pts = toUnits(run);
                if (pts.size() == 1)
                    pts.push_back(pts.front());
                writer_->polyline(pts);
            }
            run.clear();
        };
        for (qsizetype i = 0; i + 1 < poly.size(); ++i) {
            auto seg = clipSegment(poly[i], poly[i + 1], *clip_);
            if (!seg) {
                flush();
                continue;
            }
            if (run.isEmpty() || run.back() != seg->first) {
                flush();
                run << seg->first;
            }
            run << seg->second;
        }
        flush();
    }

    void fillPolygon(const QPolygonF& devicePoly, std::uint16_t fillMode, bool outline) {
        const QPolygonF poly = clip_ ? clipPolygon(devicePoly, *clip_) : devicePoly;
        if (poly.size() < 3)
            return;
        const bool filled = selectBrush();
        bool stroked = false;
        if (outline) {
            stroked = selectPen();
        } else {
            // The path's outline is stroked separately, along its subpaths.
            const QPen saved = qpen_;
            qpen_ = QPen(Qt::NoPen);
            selectPen();
            qpen_ = saved;
        }
        if (!filled && !stroked)
            return;
        if (fillMode != fillMode_) {
            writer_->setPolyFillMode(fillMode);
            fillMode_ = fillMode;
        }
        auto pts = toUnits(poly);
        if (pts.size() >= 3)
            writer_->polygon(pts);
    }

    int width_, height_, scale_;
    std::optional<wmf::Writer> writer_;
    QTransform transform_;
    QPen qpen_;
    QBrush qbrush_;
    std::optional<QRectF> clip_;
    std::optional<PenKey> pen_;
    std::optional<BrushKey> brush_;
    std::optional<wmf::Font> font_;
    std::optional<wmf::Rgb> textColor_;
    std::uint16_t fillMode_ = 0;
    int penSlot_ = -1, brushSlot_ = -1, fontSlot_ = -1;
};

WmfPaintDevice::WmfPaintDevice(int width, int height)
    : width_(std::clamp(width, 1, 32767)), height_(std::clamp(height, 1, 32767)),
      // 15 units a pixel makes the header's inch the conventional 1440
      // units; a picture too large for that uses fewer.
      unitsPerPixel_(std::clamp(32767 / std::max(width_, height_), 1, 15)),
      engine_(std::make_unique<WmfPaintEngine>(width_, height_, unitsPerPixel_)) {}

WmfPaintDevice::~WmfPaintDevice() = default;

QPaintEngine* WmfPaintDevice::paintEngine() const {
    return engine_.get();
}

std::vector<std::uint8_t> WmfPaintDevice::metafile() const {
    return engine_->bytes_;
}

int WmfPaintDevice::metric(PaintDeviceMetric m) const {
    switch (m) {
    case PdmWidth:
        return width_;
    case PdmHeight:
        return height_;
    case PdmWidthMM:
        return int(std::lround(width_ * 25.4 / kPixelsPerInch));
    case PdmHeightMM:
        return int(std::lround(height_ * 25.4 / kPixelsPerInch));
    case PdmNumColors:
        return 0x7FFFFFFF;
    case PdmDepth:
        return 24;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return kPixelsPerInch;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    default:
        return QPaintDevice::metric(m);
    }
}

} // namespace thermo
