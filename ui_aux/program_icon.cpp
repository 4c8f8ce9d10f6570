#include "ui_aux/program_icon.h"

#include "resources/embedded.h"

namespace thermo {

QPixmap programPixmap() {
    const auto png = resources::programIcon();
    QPixmap pixmap;
    pixmap.loadFromData(png.data(), static_cast<uint>(png.size()), "PNG");
    return pixmap;
}

void setUpCaption(QWidget& window, const QString& objectName, const QString& title) {
    window.setObjectName(objectName);
    window.setWindowTitle(title);
    window.setWindowIcon(programIcon());
}

QIcon programIcon() {
    return QIcon(programPixmap());
}

} // namespace thermo
