#include "widgets/regulator_panels.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "widgets/indicators.h"

namespace thermo {

namespace {

const QString kDesign = QStringLiteral("0.00");

QLineEdit* coefficient(QWidget* parent, const char* name, const QRect& g, PanelUse use) {
    QLineEdit* e = makeNumberEdit(parent, name, g);
    // The archive shows recorded values; nothing typed there would go anywhere.
    e->setReadOnly(use == PanelUse::Shown);
    return e;
}

QPushButton* okButton(QWidget* parent, const char* name, const QRect& g) {
    auto* b = new QPushButton(QStringLiteral("ok"), parent);
    b->setObjectName(name);
    b->setGeometry(g);
    return b;
}

// One term of a PID law as the boxes name it.
struct Term {
    const char* caption;
    QCheckBox** check;
    const char* checkName;
    QLineEdit** edit;
    const char* editName;
    QLabel** ind;
    const char* indName;
    const char* okName; // the entry form's button
};

} // namespace

QGroupBox* RegulatorPanels::buildRegulator1Box(QWidget* band) {
    QGroupBox* box = makeBox(band, QStringLiteral("Регулятор №1"), QRect(0, 0, 593, 377));
    box->setObjectName("Regul_1");
    return box;
}

void RegulatorPanels::buildFuzzy(QWidget* parent, QPoint topLeft, TControlParams& rules,
                                 UserDialogs& dialogs) {
    static_cast<FuzzyPanel&>(*this) = buildFuzzyPanel(parent, topLeft, rules, dialogs);
}

QGroupBox* RegulatorPanels::buildRegulator1Terms(QWidget* parent, const QRect& geometry,
                                                 PanelUse use, OkButtons* ok) {
    const bool entry = use == PanelUse::Entry;
    QGroupBox* box = makeBox(parent, QStringLiteral("ПИД- регулятор "), geometry);
    const Term terms[] = {
        {" пропорциональное-", &Check_Reg1_Prop, "Check_Reg1_Prop", &Ed_Reg1_Prop, "Ed_Reg1_Prop",
         &Ind_Reg1_Prop, "Ind_Reg1_Prop", "Button1"},
        {" интегральное-", &Check_Reg1_Integ, "Check_Reg1_Integ", &Ed_Reg1_Integ, "Ed_Reg1_Integ",
         &Ind_Reg1_Integ, "Ind_Reg1_Integ", "Button2"},
        {" дифференциальное-", &Check_Reg1_Diff, "Check_Reg1_Diff", &Ed_Reg1_Diff, "Ed_Reg1_Diff",
         &Ind_Reg1_Diff, "Ind_Reg1_Diff", "Button3"},
    };
    // Without the "ok" buttons the indicators move left and narrow, leaving
    // room beside the box for the output terms.
    const int top = entry ? 20 : 18;
    const int editWidth = entry ? 56 : 52;
    const QRect ind = entry ? QRect(278, 0, 96, 22) : QRect(240, 0, 72, 22);
    for (int i = 0; i < 3; ++i) {
        const Term& t = terms[i];
        const int y = top + 30 * i;
        *t.check = makeCheck(box, t.checkName, QStringLiteral("вкл."), QRect(4, y, 44, 22));
        makeLabel(box, QString::fromUtf8(t.caption), QRect(48, y, 134, 22));
        *t.edit = coefficient(box, t.editName, QRect(184, y, editWidth, 22), use);
        if (entry && ok)
            (*ok)[static_cast<size_t>(i)] = okButton(box, t.okName, QRect(244, y, 30, 22));
        *t.ind = makeIndicator(box, t.indName, kDesign, ind.translated(0, y));
        makeLabel(box, QStringLiteral("%"), QRect(ind.right() + 5, y, 16, 22));
    }
    return box;
}

RegulatorPanels::Regulator2Boxes RegulatorPanels::buildRegulator2(QWidget* band, PanelUse use,
                                                                  OkButtons* ok,
                                                                  QPushButton** integralReset) {
    const bool entry = use == PanelUse::Entry;
    QGroupBox* regul = makeBox(band, QStringLiteral("Регулятор №2"), QRect(593, 110, 292, 267));
    regul->setObjectName("Regul_2");
    QGroupBox* pid = makeBox(regul, QStringLiteral("ПИД- регулятор "), QRect(4, 14, 284, 249));
    pid->setObjectName("P_Pid");
    struct Group {
        Term term;
        int y;
        size_t okIndex;
    };
    const Group groups[] = {
        {{" пропорциональное-", &Check_Reg2_Prop, "Check_Reg2_Prop", &Ed_Reg2_Prop, "Ed_Reg2_Prop",
          &Ind_Reg2_Prop, "Ind_Reg2_Prop", "Button5"},
         14,
         0},
        {{" дифференциальное-", &Check_Reg2_Diff, "Check_Reg2_Diff", &Ed_Reg2_Diff, "Ed_Reg2_Diff",
          &Ind_Reg2_Diff, "Ind_Reg2_Diff", "Button6"},
         90,
         2},
        {{"интегральное-", &Check_Reg2_Integ, "Check_Reg2_Integ", &Ed_Reg2_Integ, "Ed_Reg2_Integ",
          &Ind_Reg2_Integ, "Ind_Reg2_Integ", "Button12"},
         166,
         1},
    };
    for (const Group& g : groups) {
        const Term& t = g.term;
        // The entry form's integral group also holds its "сброс": its
        // indicator starts further left, so a sum in the ten thousands
        // still shows whole.
        const bool reset = entry && t.ind == &Ind_Reg2_Integ;
        QGroupBox* gb =
            makeBox(pid, QString::fromUtf8(t.caption), QRect(4, g.y, 276, reset ? 78 : 74));
        *t.check = makeCheck(gb, t.checkName, QStringLiteral("вкл."), QRect(4, 18, 44, 22));
        makeLabel(gb, QStringLiteral(" коэффициент-"), QRect(48, 18, 92, 22));
        *t.edit = coefficient(gb, t.editName, QRect(142, 18, entry ? 64 : 92, 22), use);
        if (entry && ok)
            (*ok)[g.okIndex] = okButton(gb, t.okName, QRect(210, 18, 32, 22));
        const int indLeft = reset ? 94 : 142;
        makeLabel(gb, QStringLiteral(" выход-   "), QRect(48, 46, indLeft - 50, 22));
        *t.ind = makeIndicator(gb, t.indName, kDesign, QRect(indLeft, 44, 92, 24));
        makeLabel(gb, QStringLiteral("%"), QRect(indLeft + (entry ? 94 : 96), 46, 14, 22));
        if (reset && integralReset) {
            *integralReset = new QPushButton(QStringLiteral("сброс"), gb);
            (*integralReset)->setObjectName("Button13");
            (*integralReset)->setGeometry(214, 44, 58, 24);
        }
    }
    return {regul, pid};
}

void RegulatorPanels::buildOutputBoxes(QWidget* parent, const QRect& first, int pitch,
                                       QPoint checkAt) {
    const struct {
        const char* title;
        QLabel** ind;
        const char* indName;
        QCheckBox** check;
        const char* checkName;
        const char* checkText;
    } boxes[] = {
        {"вых.регул.№1 ", &Ind_OUT_Regul1, "Ind_OUT_Regul1", &Check_Fuzzy, "Check_Fuzzy", "вкл"},
        {"вых.регул.№2", &Ind_OUT_Regul2, "Ind_OUT_Regul2", &Check_PID, "Check_PID", "вкл."},
    };
    int y = first.top();
    for (const auto& b : boxes) {
        QGroupBox* box = makeBox(parent, QString::fromUtf8(b.title),
                                 QRect(QPoint(first.left(), y), first.size()));
        *b.ind = makeIndicator(box, b.indName, kDesign, QRect(6, 20, 84, 24));
        makeLabel(box, QStringLiteral("%"), QRect(94, 22, 14, 20));
        *b.check = makeCheck(box, b.checkName, QString::fromUtf8(b.checkText),
                             QRect(checkAt, QSize(60, 20)));
        y += pitch;
    }
}

void RegulatorPanels::buildTimerBox(QWidget* parent, const QRect& geometry, int top,
                                    const QString& unit, int unitWidth) {
    QGroupBox* box = makeBox(parent, QStringLiteral("таймер-   "), geometry);
    ind_taimer = makeIndicator(box, "ind_taimer", kDesign, QRect(6, top, 84, 24));
    makeLabel(box, unit, QRect(94, top + 2, unitWidth, 20));
}

} // namespace thermo
