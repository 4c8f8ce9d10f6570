#pragma once
// F_Shema, "Схема": the block diagram of the control loop. One window for the
// whole program; the main window and the archive window both show it.

#include <span>

#include <QWidget>

#include "resources/embedded.h"

class QLabel;
class QPushButton;

namespace thermo {

class TF_Shema : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 870;
    static constexpr int kHeight = 640;

    // jpeg: the picture's file, decoded here with libjpeg. A picture that
    // cannot be decoded leaves the reason in the window instead.
    explicit TF_Shema(std::span<const unsigned char> jpeg = resources::schemePicture(),
                      QWidget* parent = nullptr);

    void Button1Click(); // закрыть

    QLabel* Image1;
    QPushButton* Button1;
};

} // namespace thermo
