#pragma once
// The program's icon, carried inside the executable: for the windows'
// captions and the about box.

#include <QIcon>
#include <QPixmap>
#include <QWidget>

namespace thermo {

[[nodiscard]] QPixmap programPixmap();
[[nodiscard]] QIcon programIcon();

// The small tool windows (interval, recording progress): a caption with a
// close button only.
inline constexpr Qt::WindowFlags kToolWindowFlags =
    Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// A secondary window's object name, and its caption with the program's icon.
void setUpCaption(QWidget& window, const QString& objectName, const QString& title);

} // namespace thermo
