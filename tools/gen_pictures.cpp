// Draws the program's pictures: the scheme window's block diagram of the
// control loop (960 x 720 JPEG, written with libjpeg at the quality that
// brings it nearest to 90 KB) and the program icon (256 x 256 PNG).
//
// Run by hand: QT_QPA_PLATFORM=offscreen thermo_gen_pictures resources/

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "ui_aux/jpeg_codec.h"

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

void arrowHead(QPainter& p, QPointF tip, QPointF from) {
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
void wire(QPainter& p, std::initializer_list<QPointF> points) {
    QPolygonF line(points);
    p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(line);
    arrowHead(p, line.back(), line[line.size() - 2]);
}

void junctionDot(QPainter& p, QPointF at) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawEllipse(at, 4, 4);
    p.restore();
}

void block(QPainter& p, QRectF r, const QColor& fill, const QStringList& lines) {
    p.setPen(QPen(kFrame, 2));
    p.setBrush(fill);
    p.drawRoundedRect(r, 4, 4);
    p.setPen(kInk);
    p.setFont(font(13));
    const double lineHeight = 17;
    double y = r.center().y() - lineHeight * lines.size() / 2;
    for (const QString& s : lines) {
        p.drawText(QRectF(r.left(), y, r.width(), lineHeight), Qt::AlignCenter, s);
        y += lineHeight;
    }
}

// A summing junction: a circle with a cross, the sign written beside each
// input. minusQuadrant blackens the sector a subtracted input enters (the
// comparison circle's feedback), as block diagrams here draw it.
void summer(QPainter& p, QPointF c, double r, bool blackenBottom = false) {
    p.setPen(QPen(kInk, 2));
    p.setBrush(Qt::white);
    p.drawEllipse(c, r, r);
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

void sign(QPainter& p, QPointF at, const QString& s) {
    p.setPen(kInk);
    p.setFont(font(15, true));
    p.drawText(QRectF(at.x() - 8, at.y() - 9, 16, 18), Qt::AlignCenter, s);
}

void label(QPainter& p, QPointF at, const QString& s, int pixels = 13, bool bold = false) {
    p.setPen(kInk);
    p.setFont(font(pixels, bold));
    p.drawText(at, s);
}

// A dashed frame with its caption standing on the top edge, like a group box.
void group(QPainter& p, QRectF r, const QString& caption) {
    p.setPen(QPen(kFrame, 1.5, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
    p.setFont(font(13, true));
    const QRectF text = p.boundingRect(QRectF(r.left() + 12, r.top() - 9, 400, 18),
                                       Qt::AlignLeft | Qt::AlignVCenter, caption);
    p.fillRect(text.adjusted(-4, 0, 4, 0), Qt::white);
    p.setPen(kFrame);
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, caption);
}

// Three overlapping triangles: the fuzzy block's terms.
void termsSketch(QPainter& p, QRectF r) {
    p.setPen(QPen(kFrame, 1.5));
    p.setBrush(Qt::NoBrush);
    const double w = r.width() / 4;
    for (int i = 0; i < 3; ++i) {
        const double x0 = r.left() + i * w;
        p.drawPolyline(QPolygonF{{x0, r.bottom()}, {x0 + w, r.top()}, {x0 + 2 * w, r.bottom()}});
    }
    p.drawLine(r.bottomLeft(), r.bottomRight());
}

QImage drawScheme() {
    QImage img(960, 720, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    for (int y = 8; y < img.height(); y += 16)
        for (int x = 8; x < img.width(); x += 16)
            img.setPixelColor(x, y, kGridDot);

    // The window shows the top-left 870 x 640 of the picture and puts its
    // "закрыть" button near that corner, so the diagram keeps inside
    // 850 x 560 and leaves the lower right free.
    label(p, {16, 36}, QStringLiteral("Структурная схема системы регулирования температуры"), 19,
          true);

    const QPointF cmp(90, 300);
    const double rs = 16;
    wire(p, {{16, 300}, {cmp.x() - 20, 300}});
    label(p, {14, 290}, QStringLiteral("Задание"));
    summer(p, cmp, 20, true);
    sign(p, {60, 316}, QStringLiteral("+"));
    sign(p, {106, 334}, QStringLiteral("−"));

    // The error and the bus that feeds both branches.
    const double bus = 165;
    p.setPen(QPen(kInk, 2));
    p.drawLine(QPointF(cmp.x() + 20, 300), QPointF(bus, 300));
    label(p, {112, 290}, QStringLiteral("Ошибка"));
    p.drawLine(QPointF(bus, 117), QPointF(bus, 492));
    junctionDot(p, {bus, 300});

    const double bl = 190, br = 340, bh = 44;
    const auto row = [&](double cy, const QColor& fill, const QStringList& text) {
        wire(p, {{bus, cy}, {bl, cy}});
        if (cy != 117 && cy != 492)
            junctionDot(p, {bus, cy});
        block(p, QRectF(bl, cy - bh / 2, br - bl, bh), fill, text);
    };

    // Regulator 1: proportional and integral add-ons summed into the fuzzy
    // block, which also takes the differentiator's output.
    group(p, QRectF(178, 72, 452, 222), QStringLiteral("Регулятор 1 — нечёткий с добавками"));
    row(117, kBlockFill, {QStringLiteral("Пропорциональное"), QStringLiteral("звено  Kп")});
    row(182, kBlockFill, {QStringLiteral("Интегратор"), QStringLiteral("Kи · Σe")});
    row(257, kBlockFill, {QStringLiteral("Дифференциатор"), QStringLiteral("Kд · Δe")});
    const QPointF s1(395, 150);
    wire(p, {{br, 117}, {s1.x(), 117}, {s1.x(), s1.y() - rs}});
    wire(p, {{br, 182}, {s1.x(), 182}, {s1.x(), s1.y() + rs}});
    summer(p, s1, rs);
    sign(p, {s1.x() + 14, s1.y() - 24}, QStringLiteral("+"));
    sign(p, {s1.x() + 14, s1.y() + 24}, QStringLiteral("+"));
    const QRectF fuzzy(460, 110, 140, 170);
    wire(p, {{s1.x() + rs, s1.y()}, {fuzzy.left(), s1.y()}});
    wire(p, {{br, 257}, {fuzzy.left(), 257}});
    block(p, fuzzy, kFuzzyFill, {QStringLiteral("Нечёткий"), QStringLiteral("регулятор")});
    termsSketch(p, QRectF(fuzzy.left() + 30, fuzzy.top() + 18, 80, 30));
    label(p, {fuzzy.left() + 10, fuzzy.bottom() - 14}, QStringLiteral("база правил 3×3"), 11);

    // Regulator 2: the discrete PID.
    group(p, QRectF(178, 322, 290, 206), QStringLiteral("Регулятор 2 — ПИД"));
    row(362, kBlockFill, {QStringLiteral("Пропорциональное"), QStringLiteral("звено  Kп")});
    row(427, kBlockFill, {QStringLiteral("Интегратор"), QStringLiteral("Kи · Σe")});
    row(492, kBlockFill, {QStringLiteral("Дифференциатор"), QStringLiteral("Kд · Δe")});
    const QPointF s2(420, 427);
    wire(p, {{br, 362}, {s2.x(), 362}, {s2.x(), s2.y() - rs}});
    wire(p, {{br, 427}, {s2.x() - rs, 427}});
    wire(p, {{br, 492}, {s2.x(), 492}, {s2.x(), s2.y() + rs}});
    summer(p, s2, rs);
    sign(p, {s2.x() + 14, s2.y() - 24}, QStringLiteral("+"));
    sign(p, {s2.x() - 24, s2.y() - 14}, QStringLiteral("+"));
    sign(p, {s2.x() + 14, s2.y() + 24}, QStringLiteral("+"));

    // Both regulators' outputs add into the heater command.
    const QPointF s3(690, 300);
    wire(p, {{fuzzy.right(), 195}, {s3.x(), 195}, {s3.x(), s3.y() - rs}});
    wire(p, {{s2.x() + rs, s2.y()}, {s3.x(), s2.y()}, {s3.x(), s3.y() + rs}});
    summer(p, s3, rs);
    sign(p, {s3.x() + 14, s3.y() - 24}, QStringLiteral("+"));
    sign(p, {s3.x() + 14, s3.y() + 24}, QStringLiteral("+"));
    label(p, {616, 188}, QStringLiteral("Выход 1"), 12);
    label(p, {560, 420}, QStringLiteral("Выход 2"), 12);

    const QRectF plant(738, 250, 112, 100);
    wire(p, {{s3.x() + rs, 300}, {plant.left(), 300}});
    label(p, {709, 292}, QStringLiteral("ШИМ"), 11);
    block(
        p, plant, kPlantFill,
        {QStringLiteral("Объект"), QStringLiteral("управления"), QStringLiteral("(нагреватель)")});

    // The measured temperature returns to the comparison circle.
    wire(p, {{plant.center().x(), plant.bottom()},
             {plant.center().x(), 556},
             {cmp.x(), 556},
             {cmp.x(), cmp.y() + 20}});
    label(p, {360, 548}, QStringLiteral("Температура (датчик DS18B20)"));

    p.setFont(font(12));
    p.setPen(kFrame);
    p.drawText(QPointF(16, 590), QStringLiteral("e — ошибка регулирования,  Σe — сумма ошибок,  "
                                                "Δe — изменение ошибки за такт"));
    p.drawText(QPointF(16, 608), QStringLiteral("Kп, Kи, Kд — коэффициенты звеньев"));
    p.end();
    return img;
}

QImage drawIcon() {
    QImage img(256, 256, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, 256);
    bg.setColorAt(0, QColor(0x3c, 0x8d, 0xd8));
    bg.setColorAt(1, QColor(0x1a, 0x4f, 0x8f));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 40, 40);

    // The thermometer.
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(52, 36, 44, 150), 22, 22);
    p.drawEllipse(QPointF(74, 192), 34, 34);
    p.setBrush(QColor(0xe0, 0x2f, 0x25));
    p.drawRoundedRect(QRectF(63, 96, 22, 100), 11, 11);
    p.drawEllipse(QPointF(74, 192), 24, 24);
    p.setPen(QPen(QColor(0x1a, 0x4f, 0x8f), 4, Qt::SolidLine, Qt::RoundCap));
    for (int y = 56; y <= 136; y += 20)
        p.drawLine(QPointF(96, y), QPointF(84 + (y % 40 == 16 ? 0 : 6), y));

    // Three fuzzy terms over a baseline.
    p.setPen(QPen(Qt::white, 9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const double base = 196, top = 90, x0 = 120, w = 28;
    for (int i = 0; i < 3; ++i) {
        const double x = x0 + i * w;
        p.drawPolyline(QPolygonF{{x, base}, {x + w, top}, {x + 2 * w, base}});
    }
    p.setPen(QPen(QColor(0xff, 0xd2, 0x4a), 9, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x0 - 6, base + 16), QPointF(x0 + 4 * w + 6, base + 16));
    p.end();
    return img;
}

thermo::RgbImage toRgb(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    thermo::RgbImage out;
    out.width = rgb.width();
    out.height = rgb.height();
    out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y) {
        const uchar* line = rgb.constScanLine(y);
        std::copy(line, line + out.width * 3,
                  out.rgb.begin() + static_cast<std::ptrdiff_t>(y) * out.width * 3);
    }
    return out;
}

// File size grows with the quality, so a bisection finds the quality whose
// file comes nearest to the target.
std::vector<unsigned char> encodeNear(const thermo::RgbImage& image, std::size_t target,
                                      int* quality) {
    std::vector<unsigned char> best;
    int lo = 1, hi = 100;
    while (lo <= hi) {
        const int q = (lo + hi) / 2;
        std::string error;
        auto bytes = thermo::encodeJpeg(image, q, &error);
        if (!bytes) {
            std::cerr << "thermo_gen_pictures: " << error << '\n';
            std::exit(1);
        }
        const auto distance = [target](std::size_t n) {
            return n > target ? n - target : target - n;
        };
        if (best.empty() || distance(bytes->size()) < distance(best.size())) {
            best = *bytes;
            *quality = q;
        }
        if (bytes->size() < target)
            lo = q + 1;
        else
            hi = q - 1;
    }
    return best;
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream os(path, std::ios::binary | std::ios::trunc);
    os.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
    os.close();
    return static_cast<bool>(os);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: thermo_gen_pictures OUTPUT-FOLDER\n";
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string dir = argv[1];

    int quality = 0;
    const auto jpeg = encodeNear(toRgb(drawScheme()), 90 * 1024, &quality);
    if (!writeFile(dir + "/scheme.jpg", jpeg)) {
        std::cerr << "thermo_gen_pictures: cannot write " << dir << "/scheme.jpg\n";
        return 1;
    }
    std::cout << "scheme.jpg: " << jpeg.size() << " bytes at quality " << quality << '\n';

    if (!drawIcon().save(QString::fromStdString(dir + "/thermostand.png"))) {
        std::cerr << "thermo_gen_pictures: cannot write " << dir << "/thermostand.png\n";
        return 1;
    }
    return 0;
}
