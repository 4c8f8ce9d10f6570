// Draws the program's pictures: the scheme window's block diagram of the
// control loop (960 x 720 JPEG, written with libjpeg at the quality that
// brings it nearest to 90 KB) and the program icon (256 x 256 PNG).
//
// Run by hand: QT_QPA_PLATFORM=offscreen thermo_gen_pictures resources/

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/scheme_picture.h"
#include "ui_aux/jpeg_codec.h"

namespace {

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
    const auto jpeg = encodeNear(toRgb(thermo::drawScheme().image), 90 * 1024, &quality);
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
