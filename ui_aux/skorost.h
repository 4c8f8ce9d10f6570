#pragma once
// F_Skorost, "скорость": the measurement interval. It knows nothing of the
// main window; "применить" reports the interval through intervalApplied,
// which the program connects to the main timer.

#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace thermo {

class TF_Skorost : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStartInterval = 1000; // ms

    explicit TF_Skorost(QWidget* parent = nullptr);

    // The arrows' value; it persists between showings.
    [[nodiscard]] int interval() const;

    void BitBtn2Click(); // применить
    void BitBtn1Click(); // закрыть: hides, applies nothing

    QGroupBox* GroupBox1;
    QSpinBox* UpDown1; // its text field is Edit1
    QLabel* Label1;
    QPushButton* BitBtn2;
    QPushButton* BitBtn1;

signals:
    void intervalApplied(int milliseconds);
};

} // namespace thermo
