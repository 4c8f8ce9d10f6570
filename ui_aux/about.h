#pragma once
// AboutBox, "О программе": the program's icon, what it is, and its credits.

#include <QDialog>

class QLabel;
class QPushButton;

namespace thermo {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    void OKButtonClick();

    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Description;
    QLabel* Credits[4];
    QPushButton* OKButton;

protected:
    // Centred on the screen it opens on, each time it is shown.
    void showEvent(QShowEvent* event) override;
};

} // namespace thermo
