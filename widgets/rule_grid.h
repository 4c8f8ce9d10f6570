#pragma once
// The rule base "база знаний" of the main window: nine one-digit cells
// MaskEdit1 ... MaskEdit9 (rows the deviation terms "о", "н", "п" under the
// heading "откл.", columns the rate terms under "скорость"), and Button9 "ok"
// that stores them into m1 ... m9. The fuzzy controller marks the rules that
// fired with setFiredMask after every evaluation.

#include <array>
#include <cstdint>

#include <QWidget>

#include "common/dialogs.h"
#include "control/params.h"

class QLineEdit;
class QPushButton;

namespace thermo {

class RuleGridWidget : public QWidget {
    Q_OBJECT
public:
    RuleGridWidget(TControlParams& params, UserDialogs& dialogs, QWidget* parent = nullptr);

    // Writes m1 ... m9 into the cells (at start-up, after loading settings).
    void fill();

    // Regul_Baza: cell k green when bit k - 1 is set, the window colour
    // otherwise; bits above 8 are ignored.
    void setFiredMask(std::uint32_t mask);

    // Button9Click: stores the cells in order; stops at an empty cell, or at
    // one that is not a number (message, text selected).
    void applyCells();

    // MaskEdit1 ... MaskEdit9 for k = 1 ... 9.
    [[nodiscard]] QLineEdit* cell(int k) const;
    [[nodiscard]] QPushButton* okButton() const { return ok_; }

signals:
    // After all nine cells were stored.
    void ruleBaseApplied();

protected:
    void changeEvent(QEvent* event) override;

private:
    void paintCells();

    TControlParams& params_;
    UserDialogs& dialogs_;
    std::array<QLineEdit*, 9> cells_{};
    QPushButton* ok_ = nullptr;
    std::uint32_t mask_ = 0;
};

} // namespace thermo
