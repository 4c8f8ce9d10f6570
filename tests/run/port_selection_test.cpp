// Port menu behaviour against a fake serial side.
#include <gtest/gtest.h>

#include "common/scripted_dialogs.h"
#include "run/port_selection.h"

using namespace thermo;

namespace {

struct FakePorts : SensorPorts {
    std::array<bool, 4> exists{true, true, false, false};
    std::array<bool, 4> sensor{true, false, false, false};
    int open = 0;
    int opens = 0;
    bool AccessCOM(int n) override { return exists[n - 1]; }
    bool OpenCOM(int n) override {
        ++opens;
        if (!exists[n - 1])
            return false;
        open = n;
        return true;
    }
    void CloseCOM() override { open = 0; }
    void SetCOMToImmediate() override {}
    bool ConfigureSensor() override { return open != 0 && sensor[open - 1]; }
    bool portStillOpen() override { return open != 0; }
};

struct PortSelectionTest : ::testing::Test {
    FakePorts ports;
    ScriptedDialogs dialogs;
    PortSelection sel{ports, dialogs};
};

TEST_F(PortSelectionTest, SensorFoundEnablesNew) {
    sel.enumerate();
    EXPECT_EQ(sel.menu().enabled, (std::array<bool, 4>{true, true, false, false}));
    sel.SelectComPort(1);
    EXPECT_EQ(sel.CurrentComPort(), 1);
    EXPECT_TRUE(sel.menu().checked[0]);
    EXPECT_TRUE(sel.menu().newEnabled);
    EXPECT_TRUE(sel.menu().closeEnabled);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(PortSelectionTest, PortWithoutSensorStaysOpenAndMarked) {
    sel.SelectComPort(2);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Датчик на COM2 порту не обнаружен.");
    EXPECT_EQ(dialogs.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(sel.CurrentComPort(), 2);
    EXPECT_TRUE(sel.menu().checked[1]);
    EXPECT_FALSE(sel.menu().newEnabled);
    EXPECT_EQ(ports.open, 2);
}

TEST_F(PortSelectionTest, MissingPortIsNotAvailable) {
    sel.SelectComPort(1);
    sel.SelectComPort(3);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Port COM3 is not available.");
    EXPECT_EQ(sel.CurrentComPort(), 0);
    EXPECT_EQ(sel.menu().checked, (std::array<bool, 4>{}));
    EXPECT_FALSE(sel.menu().newEnabled);
}

TEST_F(PortSelectionTest, SavedPortZeroOrOutOfRangeOpensNothingSilently) {
    for (int n : {0, 7, -1}) {
        sel.SelectComPort(n);
        EXPECT_EQ(sel.CurrentComPort(), 0);
    }
    EXPECT_EQ(ports.opens, 0);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(PortSelectionTest, ChoosingTheOpenPortAgainChangesNothing) {
    sel.SelectComPort(1);
    sel.MCOM1Click(1);
    EXPECT_EQ(ports.opens, 1);
    sel.MCOM1Click(2);
    EXPECT_EQ(ports.opens, 2);
}

TEST_F(PortSelectionTest, APortWhoseAdapterWasUnpluggedOpensAnewWhenChosenAgain) {
    sel.SelectComPort(1);
    ports.open = 0; // the adapter went away; the port let it go
    sel.MCOM1Click(1);
    EXPECT_EQ(ports.opens, 2);
    EXPECT_EQ(ports.open, 1);
    EXPECT_TRUE(sel.menu().newEnabled);
}

TEST_F(PortSelectionTest, StartReopensOnlyAPortThatWasLetGo) {
    EXPECT_TRUE(sel.reopenIfGone()) << "no port chosen: nothing to reopen";
    sel.SelectComPort(1);
    EXPECT_TRUE(sel.reopenIfGone());
    EXPECT_EQ(ports.opens, 1);
    ports.open = 0;
    EXPECT_TRUE(sel.reopenIfGone());
    EXPECT_EQ(ports.opens, 2);
    EXPECT_EQ(ports.open, 1);
}

TEST_F(PortSelectionTest, CloseKeepsNewAndCloseEnabled) {
    sel.SelectComPort(1);
    sel.MClosePortClick();
    EXPECT_EQ(sel.CurrentComPort(), 0);
    EXPECT_EQ(ports.open, 0);
    EXPECT_EQ(sel.menu().checked, (std::array<bool, 4>{}));
    EXPECT_TRUE(sel.menu().newEnabled);
    EXPECT_TRUE(sel.menu().closeEnabled);
}

} // namespace
