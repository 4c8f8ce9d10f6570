#pragma once
// "идентификация объекта": a heater step chosen in the open archive (the
// switching tick and the last sample of the response, on the chart or as a
// range of table rows, and how many samples before the switch are the level
// before the step) and the manual values before and after it; the
// first-order-plus-dead-time model fitted to it, drawn over the samples,
// with its 95 % intervals, and the coefficients each tuning rule proposes,
// as textbook gains and in both regulators' units. "применить к регулятору
// 2" / "1" hand the chosen rule's coefficients to the main window's fields.

#include <QStringList>
#include <QWidget>
#include <cstddef>
#include <optional>

#include "analysis/tuning.h"
#include "common/dialogs.h"
#include "storage/reader.h"

class QCustomPlot;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace thermo {

inline constexpr const char* kIdentifyWindowTitle = "идентификация объекта";

// A coefficient as the window shows it and as it is typed when applied:
// "0.##", or three significant digits for a smaller one; "—" when not finite.
[[nodiscard]] QString coefficientText(double v, char decimalSep);
// The tuning table's column headings: "Kc, %/°C", "Ti, с", "Td, с", C0_2 ... C2_1.
[[nodiscard]] QString tuningHeading(std::size_t column);
// "модель: K = ... ± ... °C/%, τ = ... с, θ = ... с, y0 = ... °C, СКО = ... °C; интервал ... с".
[[nodiscard]] QString modelText(const StepIdentification& id, double intervalS, char decimalSep);
// The chart of the fit: the samples as rings, the model as a line over them.
void setUpStepFitChart(QCustomPlot& chart);
// The span's samples and the model drawn (none for a fit without one), the
// axes fitted; nothing replotted.
void drawStepFit(QCustomPlot& chart, const StepSpan& span, const StepIdentification& id);

class IdentifyWindow : public QWidget {
    Q_OBJECT
public:
    IdentifyWindow(const ArchiveReader& archive, UserDialogs& dialogs, QWidget* parent = nullptr);

    void setSpan(std::size_t first, std::size_t last);
    // Samples before the switching tick taken as the level (kDefaultBaseline
    // at first); fewer are taken when the archive holds fewer.
    void setBaseline(std::size_t samples);
    void setStep(double fromPct, double toPct);
    // The sample now selected in the archive window, which the buttons
    // "начало" and "конец" take.
    void setSelectedSample(std::size_t s);
    // "рассчитать": the fields read, the fit and the proposals shown. False
    // when a field is wrong (the user is told) or the fit refused (the
    // window says why).
    bool identify();
    // The rule of the table's selected row for Regulator 1 or 2: the three
    // texts shown go out as applyRequested.
    void apply(int regulator);
    // After applying: the add-on terms (their names as the main window
    // shows them) that the rule counts on but that are switched off.
    void noteSwitchedOff(const QStringList& terms);

    [[nodiscard]] const std::optional<StepIdentification>& result() const { return result_; }
    // The rule whose row is selected (SIMC-PID unless the user chose).
    [[nodiscard]] TuningRule selectedRule() const;
    // A coefficient as the table shows it and as it is typed when applied.
    [[nodiscard]] QString shown(double v) const;

    QSpinBox *firstBox, *lastBox, *baselineBox;
    QLineEdit *fromEdit, *toEdit, *stepEdit;
    QPushButton *takeFirst, *takeLast, *identifyButton, *apply2, *apply1;
    QLabel *modelLabel, *noteLabel, *appliedLabel;
    QTableWidget* table;
    QCustomPlot* chart;

signals:
    // C0, C1, C2 of `regulator` as texts in the locale's form.
    void applyRequested(int regulator, const QStringList& texts);

private:
    [[nodiscard]] std::optional<double> number(QLineEdit* edit);
    void showResult(const StepSpan& span);
    void clearResult();
    void fitTable();

    const ArchiveReader& archive_;
    UserDialogs& dialogs_;
    char sep_;
    std::size_t selected_ = 0;
    std::optional<StepIdentification> result_;
};

} // namespace thermo
