#pragma once
// The one object that owns the stand's parameter set and live state. The
// main window and the headless run each create one and hand it by reference
// to whoever reads or changes it.

#include <cstdint>

#include "control/params.h"
#include "storage/recorder.h"

namespace thermo {

// Controls the control cycle reads once per tick. In the window they are
// check boxes, the PWM up-down and the heating buttons; the headless run
// sets them from its command line.
struct CycleControls {
    bool Check_Fuzzy = false;  // Regulator 1 on
    bool Check_PID = false;    // Regulator 2 on
    bool Check_shim = false;   // manual pulse-width mode
    int UpDown2 = 1;           // manual value, percent 1..100
    bool Check_Alarm = true;   // alarm sound on
    bool SpeedButton1 = false; // forced full heating ("нагрев" / "вкл." down)
    int intervalMs = 1000;     // Timer1's interval
    // A step experiment drives the heater by hand and has no setpoint: the
    // heating watch judges it as manual heat, wherever the setpoint of the
    // window happens to stand.
    bool stepExperiment = false;
};

struct Stand {
    TControlParams params;
    TProcessState state;
    CycleControls controls;
    bool Nagrev = false;           // the last tick without alarm applied forced heat
    bool Lamp_state = false;       // colour of the next lamp drawing under forced heat: true = red
    bool alarmPanelRed = false;    // P_Alarm's colour: aqua until the first alarm tick
    int heldReadings = 0;          // readings in a row that failed their check byte
    bool temperatureKnown = false; // this run has had a reading that passed its check
    int failedRecords = 0;         // ticks in a row whose sample could not be recorded
};

// The configuration snapshot the archive records: the live parameter set and
// the switches of the window, as of now.
[[nodiscard]] inline TConfigSources liveConfig(const Stand& s) {
    TConfigSources c;
    c.Takt = s.state.Takt;
    c.Zadan = s.state.Zadan;
    c.params = s.params;
    c.Check_Fuzzy = s.controls.Check_Fuzzy;
    c.Check_PID = s.controls.Check_PID;
    c.Nagrev = s.Nagrev;
    c.Interval = static_cast<std::uint32_t>(s.controls.intervalMs);
    return c;
}

} // namespace thermo
