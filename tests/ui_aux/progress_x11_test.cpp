// The progress window on a real X server (Xvfb): it must be on screen while
// the export that follows begin() keeps the event loop busy. The offscreen
// platform cannot show this, since its windows count as exposed at once.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWindow>

#include "ui_aux/procces.h"
#include "ui_aux/program_setup.h"

namespace {

TEST(F_ZapisOnX11, IsOnScreenAsSoonAsBeginReturns) {
    thermo::TF_Zapis w;
    w.begin();
    // No event is processed from here on, as during an export.
    ASSERT_NE(w.windowHandle(), nullptr);
    EXPECT_TRUE(w.windowHandle()->isExposed());
    w.setProgress(40);
    EXPECT_TRUE(w.windowHandle()->isExposed());
    w.end();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    thermo::prepareWindowProgram(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
