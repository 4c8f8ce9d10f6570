#pragma once
// How every secondary window is shown: never modal, so the control cycle
// runs on; a window that is already open is only brought forward.

#include <QWidget>

namespace thermo {

inline void showOrRaise(QWidget& window) {
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace thermo
