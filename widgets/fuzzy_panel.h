#pragma once
// The fuzzy controller's displays as the main window and the archive window
// both show them: the box "Fuzzy- регулятор" with the membership charts
// Chart1 "отклонение" and Chart2 "скорость", the rule base "база знаний"
// and the six membership indicators "отр.-", "нор.-", "пол.-".

#include <QRect>

#include "common/dialogs.h"
#include "control/params.h"

class QGroupBox;
class QLabel;
class QWidget;

namespace thermo {

class MembershipChart;
class RuleGridWidget;

struct FuzzyPanel {
    QGroupBox* fuzzyBox = nullptr; // "Fuzzy- регулятор"
    MembershipChart* Chart1 = nullptr;
    MembershipChart* Chart2 = nullptr;
    RuleGridWidget* ruleGrid = nullptr; // MaskEdit1 ... MaskEdit9 over `rules`
    QLabel *ind_mal_otkl = nullptr, *ind_norm_otkl = nullptr, *ind_bol_otkl = nullptr;
    QLabel *ind_mal_skor = nullptr, *ind_norm_skor = nullptr, *ind_bol_skor = nullptr;

    // One evaluation shown: both charts redrawn with the terms of `terms` and
    // the inputs marked, the six memberships ("0.00"), the fired rules green.
    void showStep(const TFuzzyStep& step, const TControlParams& terms, char decimalSep);
};

// Builds the panel at `topLeft` of `parent` (585 x 196 pixels); the rule
// cells read and write `rules`.
[[nodiscard]] FuzzyPanel buildFuzzyPanel(QWidget* parent, QPoint topLeft, TControlParams& rules,
                                         UserDialogs& dialogs);

} // namespace thermo
