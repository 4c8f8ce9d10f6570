#pragma once
// The program's icon, carried inside the executable: for the windows'
// captions and the about box.

#include <QIcon>
#include <QPixmap>

namespace thermo {

[[nodiscard]] QPixmap programPixmap();
[[nodiscard]] QIcon programIcon();

} // namespace thermo
