#pragma once
// The stand the window tests (and the main window's benchmark) put the
// program's windows on: an emulated DS18B20 on a real pseudo-terminal, or a
// simulated stand's link; the heater on a simulated register file; the
// devices, the recorder and the run session as the program makes them, and
// dialogs the test answers. The windows themselves are the test's, made from
// services(), and must go before the stand does.
//
// The end-to-end tests of the command line have their own helper,
// tests/sim_stand.h.
#include <array>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "app/main_window.h"
#include "common/scripted_dialogs.h"
#include "io/sim_register_file.h"
#include "sim/pty_sensor.h"
#include "storage/settings.h"
#include "tests/temp_dir.h"

namespace thermo::testing {

// What differs between the stands.
struct WindowStandSetup {
    // COM1: the sensor's link when given (a simulated stand serving it),
    // else an emulated sensor of the stand's own that reads `plant`.
    std::string sensorLink = {};
    double plant = 25.0;
    sim::UartTiming timing = {};
    // COM2 .. COM4: by default, ports with no device behind them.
    std::array<std::string, 3> otherPorts = {"/nonexistent/ttyS1", "/nonexistent/ttyS2",
                                             "/nonexistent/ttyS3"};
    // The folder of the settings, the archives and the register file; by
    // default a TempDir of the stand's own. A process forked from the test
    // passes its parent's, since it ends without removing anything.
    std::filesystem::path folder = {};
    // The parallel port's setting; by default the simulated register file
    // `lpt` in the folder ("sim:PATH"), which heater() reads.
    std::string lpt = {};
    // The heater guard's executable; by default none guards the heater.
    std::string guard = {};
    // Where the window saves its settings; by default the folder's
    // thermostand.INI.
    std::string settingsFile = {};
};

class WindowStand {
public:
    explicit WindowStand(const WindowStandSetup& setup = {}) : plant(setup.plant) {
        if (setup.folder.empty())
            dir = own_.emplace("thermo-window").path();
        else
            dir = setup.folder;
        std::string com1 = setup.sensorLink;
        if (com1.empty()) {
            sensor.emplace([this] { return plant.load(); }, setup.timing);
            if (!sensor->ok())
                throw std::runtime_error("emulated sensor: " + sensor->error());
            com1 = sensor->path();
        }
        settings.devices.com = {com1, setup.otherPorts[0], setup.otherPorts[1],
                                setup.otherPorts[2]};
        settings.devices.lpt = setup.lpt.empty() ? "sim:" + file("lpt") : setup.lpt;
        settings.SavedComPort = 1;
        settingsPath = setup.settingsFile.empty() ? file("thermostand.INI") : setup.settingsFile;
        devices = std::make_unique<StandDevices>(settings.devices, setup.guard);
        session = std::make_unique<RunSession>(stand, *devices, recorder);
    }
    WindowStand(const WindowStand&) = delete;
    WindowStand& operator=(const WindowStand&) = delete;

    [[nodiscard]] MainWindowServices services() {
        return {stand, dialogs, *devices, recorder, *session, settings, settingsPath};
    }
    [[nodiscard]] std::string file(const std::string& name) const { return (dir / name).string(); }
    // The byte on the heater's register, as the simulated port holds it.
    [[nodiscard]] int heater() {
        if (!registers_) {
            const std::string& lpt = settings.devices.lpt;
            if (lpt.rfind("sim:", 0) != 0)
                throw std::logic_error("the heater is on " + lpt + ", not on a register file");
            std::string why;
            registers_ = SimRegisterFile::open(lpt.substr(4), &why);
            if (!registers_)
                throw std::runtime_error("register file: " + why);
        }
        return registers_->read(0);
    }

private:
    std::optional<TempDir> own_;

public:
    std::filesystem::path dir;
    std::atomic<double> plant;
    std::optional<sim::PtySensorThread> sensor;
    TSettings settings;
    std::string settingsPath;
    Stand stand;
    ScriptedDialogs dialogs;
    std::unique_ptr<StandDevices> devices;
    ArchiveRecorder recorder;
    std::unique_ptr<RunSession> session;

private:
    std::optional<SimRegisterFile> registers_;
};

} // namespace thermo::testing
