#pragma once
// The menu "анализ" of a window: made on first use, found again after, so
// each analysis adds its command with one call and needs to know of no
// other.

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace thermo {

[[nodiscard]] inline QMenu* analysisMenu(QMainWindow& window) {
    if (auto* menu = window.menuBar()->findChild<QMenu*>("analysisMenu"))
        return menu;
    QMenu* menu = window.menuBar()->addMenu(QStringLiteral("анализ"));
    menu->setObjectName("analysisMenu");
    return menu;
}

} // namespace thermo
