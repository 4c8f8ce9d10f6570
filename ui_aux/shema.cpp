#include "ui_aux/shema.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "ui_aux/jpeg_codec.h"
#include "ui_aux/program_icon.h"

namespace thermo {

namespace {

QImage toQImage(const RgbImage& rgb) {
    QImage image(rgb.width, rgb.height, QImage::Format_RGB888);
    const std::size_t row = static_cast<std::size_t>(rgb.width) * 3;
    for (int y = 0; y < rgb.height; ++y)
        std::copy_n(rgb.rgb.data() + row * y, row, image.scanLine(y));
    return image;
}

} // namespace

TF_Shema::TF_Shema(std::span<const unsigned char> jpeg, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setUpCaption(*this, QStringLiteral("F_Shema"), QStringLiteral("Схема"));
    setFixedSize(kWidth, kHeight);

    // The picture at its own size from the top-left corner; the window shows
    // what fits, without stretching.
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const JpegDecodeResult decoded = decodeJpeg(jpeg);
    if (decoded.image) {
        Image1->setPixmap(QPixmap::fromImage(toQImage(*decoded.image)));
        Image1->setGeometry(0, 0, decoded.image->width, decoded.image->height);
    } else {
        Image1->setText(QStringLiteral("Схема не загружена: ") +
                        QString::fromStdString(decoded.error));
        Image1->setGeometry(0, 0, kWidth, kHeight);
        Image1->setAlignment(Qt::AlignCenter);
    }

    Button1 = new QPushButton(QStringLiteral("закрыть"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(kWidth - 112, kHeight - 44, 96, 28);
    Button1->raise();
    connect(Button1, &QPushButton::clicked, this, &TF_Shema::Button1Click);
}

void TF_Shema::Button1Click() {
    hide();
}

} // namespace thermo
