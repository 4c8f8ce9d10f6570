// The widget tests need one QApplication for the whole run; the platform is
// offscreen (set by the test registration, and here for a run by hand).
#include <gtest/gtest.h>

#include <QApplication>

#include "app/ui/layout_font.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    thermo::useLayoutFonts(); // the windows are measured in the faces the program uses
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
