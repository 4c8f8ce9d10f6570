#pragma once
// The tool window "Термы": the universes and breakpoints of the deviation
// and rate terms with their curves, and the nine output terms. It writes
// straight into the one parameter set; the next tick of the control cycle
// uses the new values. Created once and hidden; never modal.

#include <array>

#include <QWidget>

#include "common/dialogs.h"
#include "control/params.h"
#include "control/term_entry.h"
#include "widgets/field_group.h"

class QLineEdit;
class QPushButton;

namespace thermo {

class MembershipChart;
class SurfaceChart;

class TFF_term : public QWidget {
    Q_OBJECT
public:
    TFF_term(TControlParams& params, UserDialogs& dialogs, QWidget* parent = nullptr);

    // Shows the window, or brings it forward when it is already shown.
    void showForward();

    // Redraws the six term curves and rewrites Edit1 ... Edit18 from the
    // parameters.
    void Term_Refresh();
    // Rewrites MaskEdit1 ... MaskEdit9 from vih_1 ... vih_9.
    void Vih_Refresh();

    void Button4Click(); // applies the deviation group, Edit1 ... Edit9
    void Button3Click(); // applies the rate group, Edit10 ... Edit18
    void Button2Click(); // applies the output terms
    void Button1Click(); // "закрыть"

    // Redraws the control surface from the parameters: after every apply of
    // this window, and of the main window's rule grid, whose rules it shows.
    void refreshSurface();

    // Edit1 ... Edit18, MaskEdit1 ... MaskEdit9 (n from 1).
    [[nodiscard]] QLineEdit* edit(int n) const;
    [[nodiscard]] QLineEdit* maskEdit(int n) const;
    // Chart2 in the deviation group, Chart1 in the rate group.
    [[nodiscard]] MembershipChart* deviationChart() const { return chart2_; }
    [[nodiscard]] MembershipChart* rateChart() const { return chart1_; }
    [[nodiscard]] SurfaceChart* surfaceChart() const { return surface_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeTermGroup(TermGroup group);
    QWidget* makeOutputGroup();
    void applyTermGroup(TermGroup group);
    // Edit1 ... Edit9 or Edit10 ... Edit18.
    [[nodiscard]] NineFields groupFields(TermGroup group) const;

    TControlParams& params_;
    UserDialogs& dialogs_;
    std::array<QLineEdit*, 18> edits_{};
    std::array<QLineEdit*, 9> maskEdits_{};
    MembershipChart* chart1_ = nullptr;
    MembershipChart* chart2_ = nullptr;
    SurfaceChart* surface_ = nullptr;
};

} // namespace thermo
