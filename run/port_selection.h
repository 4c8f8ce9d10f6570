#pragma once
// The choice of the serial port the sensor adapter hangs on, and the
// detection of the sensor there. Qt-free: the main window turns the menu
// state into its "порт" menu and "новый".

#include <array>
#include <string>

#include "common/dialogs.h"

namespace thermo {

// What port selection needs from the serial side.
class SensorPorts {
public:
    virtual ~SensorPorts() = default;
    virtual bool AccessCOM(int n) = 0; // port COMn exists and can be opened
    virtual bool OpenCOM(int n) = 0;
    virtual void CloseCOM() = 0;
    virtual void SetCOMToImmediate() = 0; // receives return at once
    virtual bool ConfigureSensor() = 0;   // reset, presence, configuration write
    // False once the open port has gone away (its adapter unplugged); asks
    // the device, so a port that died while nothing used it counts as gone.
    [[nodiscard]] virtual bool portStillOpen() = 0;
};

struct PortMenuState {
    std::array<bool, 4> enabled{}; // items of ports that exist
    std::array<bool, 4> checked{}; // at most one: the open port's
    bool closeEnabled = false;     // "&Close Port"
    bool newEnabled = false;       // "новый"
};

class PortSelection {
public:
    PortSelection(SensorPorts& ports, UserDialogs& dialogs) : ports_(ports), dialogs_(dialogs) {}

    // Enables the items of the ports that exist (FormShow).
    void enumerate();
    // SelectComPort(n), n = 0..4; a number outside 0..4 (a hand-edited
    // settings file) is taken as 0: no port opened, no message.
    void SelectComPort(int n);
    // A port item chosen: n = 1..4. The caller has stopped the timer; the
    // open port chosen again changes nothing else. A port whose adapter was
    // unplugged is no longer open: choosing it again opens it anew.
    void MCOM1Click(int n);
    // "старт" with the chosen port let go because its adapter went away: the
    // port is opened anew and the sensor looked for, as choosing it again
    // would, so an adapter plugged back in is found. False when the port was
    // gone and still cannot be opened or has no sensor (already told).
    bool reopenIfGone();
    // "&Close Port": closes and unchecks; "новый" and "&Close Port" keep
    // their state, a running cycle finds no sensor on its next tick.
    void MClosePortClick();

    [[nodiscard]] int CurrentComPort() const { return current_; }
    [[nodiscard]] const PortMenuState& menu() const { return menu_; }

    // "Port COM3 is not available." / "Датчик на COM2 порту не обнаружен."
    [[nodiscard]] static std::string notAvailableText(int n);
    [[nodiscard]] static std::string noSensorText(int n);

private:
    SensorPorts& ports_;
    UserDialogs& dialogs_;
    int current_ = 0;
    PortMenuState menu_;
};

} // namespace thermo
