#pragma once
// The regulator boxes as the main window and the archive window both show
// them, with the same names: Regulator 1's fuzzy part and add-on terms,
// Regulator 2's three PID groups, the two output boxes and the interval.
// The main window takes entry (writable coefficients, an "ok" to each, the
// integral sums' "сброс"); the archive window only shows a record.

#include <QPoint>
#include <QRect>
#include <QString>
#include <array>

#include "widgets/fuzzy_panel.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace thermo {

enum class PanelUse {
    Entry, // coefficients typed and applied with "ok"
    Shown, // a recorded value, read-only, no buttons
};

// The buttons an entry panel adds, in the order prop, integ, diff.
using OkButtons = std::array<QPushButton*, 3>;

struct RegulatorPanels : FuzzyPanel {
    QCheckBox *Check_Reg1_Prop = nullptr, *Check_Reg1_Integ = nullptr, *Check_Reg1_Diff = nullptr;
    QLineEdit *Ed_Reg1_Prop = nullptr, *Ed_Reg1_Integ = nullptr, *Ed_Reg1_Diff = nullptr;
    QLabel *Ind_Reg1_Prop = nullptr, *Ind_Reg1_Integ = nullptr, *Ind_Reg1_Diff = nullptr;
    QCheckBox *Check_Reg2_Prop = nullptr, *Check_Reg2_Integ = nullptr, *Check_Reg2_Diff = nullptr;
    QLineEdit *Ed_Reg2_Prop = nullptr, *Ed_Reg2_Integ = nullptr, *Ed_Reg2_Diff = nullptr;
    QLabel *Ind_Reg2_Prop = nullptr, *Ind_Reg2_Integ = nullptr, *Ind_Reg2_Diff = nullptr;
    QLabel *Ind_OUT_Regul1 = nullptr, *Ind_OUT_Regul2 = nullptr, *ind_taimer = nullptr;
    QCheckBox *Check_Fuzzy = nullptr, *Check_PID = nullptr;

    // The box "Регулятор №1" (Regul_1) filling the band's height at its left.
    static QGroupBox* buildRegulator1Box(QWidget* band);

    // The fuzzy panel at `topLeft` of `parent`, its rule cells over `rules`.
    void buildFuzzy(QWidget* parent, QPoint topLeft, TControlParams& rules, UserDialogs& dialogs);

    // Regulator 1's add-on box "ПИД- регулятор " at `geometry` of `parent`:
    // " пропорциональное-", " интегральное-", " дифференциальное-", each a
    // check box "вкл.", the coefficient and the indicator in "%". Returns
    // the box and, for entry, each row's "ok".
    QGroupBox* buildRegulator1Terms(QWidget* parent, const QRect& geometry, PanelUse use,
                                    OkButtons* ok = nullptr);

    // The box "Регулятор №2" (Regul_2) with its panel "ПИД- регулятор "
    // (P_Pid) at the band's middle: the groups " пропорциональное-",
    // " дифференциальное-", "интегральное-", each with a check box, the
    // " коэффициент-" and the " выход-   " indicator. For entry the integral
    // group also holds its sum's "сброс", given back in `integralReset`.
    struct Regulator2Boxes {
        QGroupBox* Regul_2;
        QGroupBox* P_Pid;
    };
    Regulator2Boxes buildRegulator2(QWidget* band, PanelUse use, OkButtons* ok = nullptr,
                                    QPushButton** integralReset = nullptr);

    // The boxes "вых.регул.№1 " and "вых.регул.№2": the first at `first`,
    // the second `pitch` pixels below; each an indicator in "%" and the
    // regulator's switch at `checkAt`.
    void buildOutputBoxes(QWidget* parent, const QRect& first, int pitch, QPoint checkAt);

    // The box "таймер-   " with the interval in seconds (`unit`, as wide as
    // `unitWidth`), its indicator `top` pixels down.
    void buildTimerBox(QWidget* parent, const QRect& geometry, int top, const QString& unit,
                       int unitWidth);
};

} // namespace thermo
