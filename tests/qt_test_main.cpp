// The widget tests need one QApplication for the whole run, prepared as the
// program prepares its own; the platform is offscreen (set by the test
// registration, and here for a run by hand).
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/test_locale.h"
#include "ui_aux/program_setup.h"

int main(int argc, char** argv) {
    thermo::testing::applyTestLocale();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    thermo::prepareWindowProgram(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
