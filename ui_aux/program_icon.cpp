#include "ui_aux/program_icon.h"

#include "resources/embedded.h"

namespace thermo {

QPixmap programPixmap() {
    const auto png = resources::programIcon();
    QPixmap pixmap;
    pixmap.loadFromData(png.data(), static_cast<uint>(png.size()), "PNG");
    return pixmap;
}

QIcon programIcon() {
    return QIcon(programPixmap());
}

} // namespace thermo
