#include "widgets/fuzzy_panel.h"

#include <QGroupBox>
#include <QLabel>

#include "common/numfmt.h"
#include "widgets/indicators.h"
#include "widgets/membership_chart.h"
#include "widgets/rule_grid.h"

namespace thermo {

FuzzyPanel buildFuzzyPanel(QWidget* parent, QPoint topLeft, TControlParams& rules,
                           UserDialogs& dialogs) {
    FuzzyPanel p;
    p.fuzzyBox =
        makeBox(parent, QStringLiteral("Fuzzy- регулятор"), QRect(topLeft, QSize(585, 196)));
    QGroupBox* dev = makeBox(p.fuzzyBox, QStringLiteral("отклонение"), QRect(4, 14, 226, 146));
    p.Chart1 = new MembershipChart(mainDeviationChartLook(), dev);
    p.Chart1->setObjectName("Chart1");
    p.Chart1->setGeometry(4, 16, 218, 126);
    QGroupBox* rate = makeBox(p.fuzzyBox, QStringLiteral("скорость"), QRect(232, 14, 176, 146));
    p.Chart2 = new MembershipChart(mainRateChartLook(), rate);
    p.Chart2->setObjectName("Chart2");
    p.Chart2->setGeometry(4, 16, 168, 126);

    QGroupBox* base = makeBox(p.fuzzyBox, QStringLiteral("база знаний"), QRect(410, 14, 171, 178));
    p.ruleGrid = new RuleGridWidget(rules, dialogs, base);
    p.ruleGrid->setGeometry(4, 16, 163, 158);

    const QString design = QStringLiteral("0.00");
    const char* labels[] = {"отр.-", "нор.-", "пол.-"};
    QLabel** devInd[] = {&p.ind_mal_otkl, &p.ind_norm_otkl, &p.ind_bol_otkl};
    QLabel** rateInd[] = {&p.ind_mal_skor, &p.ind_norm_skor, &p.ind_bol_skor};
    const char* devNames[] = {"ind_mal_otkl", "ind_norm_otkl", "ind_bol_otkl"};
    const char* rateNames[] = {"ind_mal_skor", "ind_norm_skor", "ind_bol_skor"};
    for (int i = 0; i < 3; ++i) {
        makeLabel(p.fuzzyBox, QString::fromUtf8(labels[i]), QRect(6 + 74 * i, 166, 30, 20));
        *devInd[i] =
            makeIndicator(p.fuzzyBox, devNames[i], design, QRect(36 + 74 * i, 164, 40, 22));
        // Narrower than the deviation side's, so the three pairs stay clear
        // of the rule base; the caption keeps its dash.
        makeLabel(p.fuzzyBox, QString::fromUtf8(labels[i]), QRect(232 + 58 * i, 166, 28, 20));
        *rateInd[i] =
            makeIndicator(p.fuzzyBox, rateNames[i], design, QRect(260 + 58 * i, 164, 30, 22));
    }
    return p;
}

void FuzzyPanel::showStep(const TFuzzyStep& f, const TControlParams& terms, char sep) {
    showDeviationTerms(*Chart1, terms, f.otkl);
    showRateTerms(*Chart2, terms, f.skor);
    const std::pair<QLabel*, double> mu[] = {
        {ind_mal_otkl, f.mu_mal_otkl},   {ind_norm_otkl, f.mu_norm_otkl},
        {ind_bol_otkl, f.mu_bol_otkl},   {ind_mal_skor, f.mu_mal_skor},
        {ind_norm_skor, f.mu_norm_skor}, {ind_bol_skor, f.mu_bol_skor}};
    for (const auto& [label, value] : mu)
        label->setText(QString::fromStdString(formatFixed(value, "0.00", sep)));
    ruleGrid->setFiredMask(f.Rule_mask);
}

} // namespace thermo
