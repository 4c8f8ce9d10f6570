#include "tools/scheme_picture.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QStringList>

#include <cmath>
#include <initializer_list>

namespace thermo {

namespace {

const QColor kInk(0x1c, 0x22, 0x2b);
const QColor kFrame(0x1f, 0x3a, 0x5f);
const QColor kBlockFill(0xea, 0xf2, 0xfb);
const QColor kFuzzyFill(0xff, 0xf4, 0xd6);
const QColor kPlantFill(0xfb, 0xe3, 0xe0);
const QColor kGridDot(0xa8, 0xb6, 0xc6);
const QString kFontFamily = QStringLiteral("DejaVu Sans");

QFont font(int pixels, bool bold = false) {
    QFont f(kFontFamily);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// The painter and the record of what it drew where.
class Canvas {
public:
    Canvas(QPainter& painter, SchemeDrawing& out) : p(painter), out_(out) {}

    QPainter& p;

    void arrowHead(QPointF tip, QPointF from) {
        const QPointF d = tip - from;
        const double len = std::hypot(d.x(), d.y());
        if (len == 0)
            return;
        const QPointF u = d / len;
        const QPointF n(-u.y(), u.x());
        const double l = 11, w = 4.5;
        QPolygonF head{tip, tip - u * l + n * w, tip - u * l - n * w};
        p.save();
        p.setBrush(kInk);
        p.setPen(Qt::NoPen);
        p.drawPolygon(head);
        p.restore();
    }

    // A connection through the given corner points, with an arrow at its end.
    void wire(std::initializer_list<QPointF> points) {
        QPolygonF line(points);
        p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(line);
        arrowHead(line.back(), line[line.size() - 2]);
    }

    void junctionDot(QPointF at) {
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        p.drawEllipse(at, 4, 4);
        p.restore();
    }

    void block(QRectF r, const QColor& fill, const QStringList& lines) {
        p.setPen(QPen(kFrame, 2));
        p.setBrush(fill);
        p.drawRoundedRect(r, 4, 4);
        out_.blocks.push_back(r.adjusted(-1, -1, 1, 1)); // the pen's outer half
        p.setPen(kInk);
        p.setFont(font(13));
        const double lineHeight = 17;
        double y = r.center().y() - lineHeight * lines.size() / 2;
        for (const QString& s : lines) {
            text(QRectF(r.left(), y, r.width(), lineHeight), Qt::AlignCenter, s);
            y += lineHeight;
        }
    }

    // A summing junction: a circle with a cross, the sign written beside each
    // input. blackenBottom blackens the sector a subtracted input enters (the
    // comparison circle's feedback), as block diagrams here draw it.
    void summer(QPointF c, double r, bool blackenBottom = false) {
        p.setPen(QPen(kInk, 2));
        p.setBrush(Qt::white);
        p.drawEllipse(c, r, r);
        out_.junctions.push_back({c, r + 1});
        if (blackenBottom) {
            QPainterPath sector;
            sector.moveTo(c);
            sector.arcTo(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), -45, -90);
            sector.closeSubpath();
            p.setBrush(kInk);
            p.drawPath(sector);
        }
        const double k = r / std::sqrt(2.0);
        p.drawLine(c + QPointF(-k, -k), c + QPointF(k, k));
        p.drawLine(c + QPointF(-k, k), c + QPointF(k, -k));
    }

    void sign(QPointF at, const QString& s) {
        p.setPen(kInk);
        p.setFont(font(15, true));
        text(QRectF(at.x() - 8, at.y() - 9, 16, 18), Qt::AlignCenter, s);
    }

    // A text standing on the baseline at `at`.
    void label(QPointF at, const QString& s, int pixels = 13, bool bold = false,
               const QColor& colour = kInk) {
        p.setPen(colour);
        p.setFont(font(pixels, bold));
        p.drawText(at, s);
        out_.texts.push_back({s, QFontMetricsF(p.font()).tightBoundingRect(s).translated(at)});
    }

    // A label centred between x0 and x1, standing on the baseline y.
    void labelBetween(double x0, double x1, double y, const QString& s, int pixels) {
        const QFontMetricsF fm(font(pixels));
        label({(x0 + x1 - fm.horizontalAdvance(s)) / 2, y}, s, pixels);
    }

    // A dashed frame with its caption standing on the top edge, like a group
    // box.
    void group(QRectF r, const QString& caption) {
        p.setPen(QPen(kFrame, 1.5, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
        p.setFont(font(13, true));
        const QRectF box = p.boundingRect(QRectF(r.left() + 12, r.top() - 9, 400, 18),
                                          Qt::AlignLeft | Qt::AlignVCenter, caption);
        p.fillRect(box.adjusted(-4, 0, 4, 0), Qt::white);
        p.setPen(kFrame);
        text(box, Qt::AlignLeft | Qt::AlignVCenter, caption);
    }

    // Three overlapping triangles: the fuzzy block's terms.
    void termsSketch(QRectF r) {
        p.setPen(QPen(kFrame, 1.5));
        p.setBrush(Qt::NoBrush);
        const double w = r.width() / 4;
        for (int i = 0; i < 3; ++i) {
            const double x0 = r.left() + i * w;
            p.drawPolyline(
                QPolygonF{{x0, r.bottom()}, {x0 + w, r.top()}, {x0 + 2 * w, r.bottom()}});
        }
        p.drawLine(r.bottomLeft(), r.bottomRight());
    }

private:
    // Draws `s` into `rect` and records where its glyphs' ink goes: the line
    // the alignment places holds the text on its baseline, the font's ascent
    // below its top.
    void text(const QRectF& rect, int flags, const QString& s) {
        p.drawText(rect, flags, s);
        const QFontMetricsF fm(p.font());
        const QRectF line = p.boundingRect(rect, flags, s);
        out_.texts.push_back(
            {s, fm.tightBoundingRect(s).translated(line.left(), line.top() + fm.ascent())});
    }

    SchemeDrawing& out_;
};

} // namespace

SchemeDrawing drawScheme() {
    SchemeDrawing out;
    QImage& img = out.image;
    img = QImage(960, 720, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    Canvas c(p, out);

    for (int y = 8; y < img.height(); y += 16)
        for (int x = 8; x < img.width(); x += 16)
            img.setPixelColor(x, y, kGridDot);

    c.label({16, 36}, QStringLiteral("Структурная схема системы регулирования температуры"), 19,
            true);

    const QPointF cmp(90, 300);
    const double rs = 16;
    c.wire({{16, 300}, {cmp.x() - 20, 300}});
    c.label({8, 290}, QStringLiteral("Задание"));
    c.summer(cmp, 20, true);
    c.sign({60, 316}, QStringLiteral("+"));
    c.sign({106, 334}, QStringLiteral("−"));

    // The error and the bus that feeds both branches.
    const double bus = 165;
    p.setPen(QPen(kInk, 2));
    p.drawLine(QPointF(cmp.x() + 20, 300), QPointF(bus, 300));
    c.label({112, 290}, QStringLiteral("Ошибка"));
    p.drawLine(QPointF(bus, 117), QPointF(bus, 492));
    c.junctionDot({bus, 300});

    const double bl = 190, br = 340, bh = 44;
    const auto row = [&](double cy, const QColor& fill, const QStringList& text) {
        c.wire({{bus, cy}, {bl, cy}});
        if (cy != 117 && cy != 492)
            c.junctionDot({bus, cy});
        c.block(QRectF(bl, cy - bh / 2, br - bl, bh), fill, text);
    };

    // Regulator 1: proportional and integral add-ons summed into the fuzzy
    // block, which also takes the differentiator's output.
    c.group(QRectF(178, 72, 452, 222), QStringLiteral("Регулятор 1 — нечёткий с добавками"));
    row(117, kBlockFill, {QStringLiteral("Пропорциональное"), QStringLiteral("звено  Kп")});
    row(182, kBlockFill, {QStringLiteral("Интегратор"), QStringLiteral("Kи · Σe")});
    row(257, kBlockFill, {QStringLiteral("Дифференциатор"), QStringLiteral("Kд · Δe")});
    const QPointF s1(395, 150);
    c.wire({{br, 117}, {s1.x(), 117}, {s1.x(), s1.y() - rs}});
    c.wire({{br, 182}, {s1.x(), 182}, {s1.x(), s1.y() + rs}});
    c.summer(s1, rs);
    c.sign({s1.x() + 14, s1.y() - 24}, QStringLiteral("+"));
    c.sign({s1.x() + 14, s1.y() + 24}, QStringLiteral("+"));
    const QRectF fuzzy(460, 110, 140, 170);
    c.wire({{s1.x() + rs, s1.y()}, {fuzzy.left(), s1.y()}});
    c.wire({{br, 257}, {fuzzy.left(), 257}});
    c.block(fuzzy, kFuzzyFill, {QStringLiteral("Нечёткий"), QStringLiteral("регулятор")});
    c.termsSketch(QRectF(fuzzy.left() + 30, fuzzy.top() + 18, 80, 30));
    c.label({fuzzy.left() + 10, fuzzy.bottom() - 14}, QStringLiteral("база правил 3×3"), 11);

    // Regulator 2: the discrete PID.
    c.group(QRectF(178, 322, 290, 206), QStringLiteral("Регулятор 2 — ПИД"));
    row(362, kBlockFill, {QStringLiteral("Пропорциональное"), QStringLiteral("звено  Kп")});
    row(427, kBlockFill, {QStringLiteral("Интегратор"), QStringLiteral("Kи · Σe")});
    row(492, kBlockFill, {QStringLiteral("Дифференциатор"), QStringLiteral("Kд · Δe")});
    const QPointF s2(420, 427);
    c.wire({{br, 362}, {s2.x(), 362}, {s2.x(), s2.y() - rs}});
    c.wire({{br, 427}, {s2.x() - rs, 427}});
    c.wire({{br, 492}, {s2.x(), 492}, {s2.x(), s2.y() + rs}});
    c.summer(s2, rs);
    c.sign({s2.x() + 14, s2.y() - 24}, QStringLiteral("+"));
    c.sign({s2.x() - 24, s2.y() - 14}, QStringLiteral("+"));
    c.sign({s2.x() + 14, s2.y() + 24}, QStringLiteral("+"));

    // Both regulators' outputs add into the heater command.
    const QPointF s3(672, 300);
    c.wire({{fuzzy.right(), 195}, {s3.x(), 195}, {s3.x(), s3.y() - rs}});
    c.wire({{s2.x() + rs, s2.y()}, {s3.x(), s2.y()}, {s3.x(), s3.y() + rs}});
    c.summer(s3, rs);
    c.sign({s3.x() + 14, s3.y() - 24}, QStringLiteral("+"));
    c.sign({s3.x() + 14, s3.y() + 24}, QStringLiteral("+"));
    c.label({616, 188}, QStringLiteral("Выход 1"), 12);
    c.label({560, 420}, QStringLiteral("Выход 2"), 12);

    // The pulse width's label sits over the wire, clear of the junction and
    // of the plant's frame.
    const QRectF plant(736, 250, 112, 100);
    c.wire({{s3.x() + rs, 300}, {plant.left(), 300}});
    c.labelBetween(s3.x() + rs, plant.left(), 292, QStringLiteral("ШИМ"), 11);
    c.block(
        plant, kPlantFill,
        {QStringLiteral("Объект"), QStringLiteral("управления"), QStringLiteral("(нагреватель)")});

    // The measured temperature returns to the comparison circle.
    c.wire({{plant.center().x(), plant.bottom()},
            {plant.center().x(), 556},
            {cmp.x(), 556},
            {cmp.x(), cmp.y() + 20}});
    c.label({360, 548}, QStringLiteral("Температура (датчик DS18B20)"));

    c.label({16, 590},
            QStringLiteral("e — ошибка регулирования,  Σe — сумма ошибок,  "
                           "Δe — изменение ошибки за такт"),
            12, false, kFrame);
    c.label({16, 608}, QStringLiteral("Kп, Kи, Kд — коэффициенты звеньев"), 12, false, kFrame);
    p.end();
    return out;
}

} // namespace thermo
