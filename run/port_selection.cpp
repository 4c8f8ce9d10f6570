#include "run/port_selection.h"

namespace thermo {

namespace {
std::string digit(int n) {
    return std::string(1, static_cast<char>('0' + n));
}
} // namespace

std::string PortSelection::notAvailableText(int n) {
    return "Port COM" + digit(n) + " is not available.";
}

std::string PortSelection::noSensorText(int n) {
    return "Датчик на COM" + digit(n) + " порту не обнаружен.";
}

void PortSelection::enumerate() {
    for (int n = 1; n <= 4; ++n)
        menu_.enabled[n - 1] = ports_.AccessCOM(n);
}

void PortSelection::SelectComPort(int n) {
    ports_.CloseCOM();
    current_ = 0;
    menu_.newEnabled = false;
    menu_.checked = {};
    if (n < 1 || n > 4)
        return;
    if (!ports_.OpenCOM(n)) {
        dialogs_.message(MessageKind::Error, "", notAvailableText(n));
        return;
    }
    current_ = n;
    menu_.checked[n - 1] = true;
    menu_.closeEnabled = true;
    menu_.newEnabled = true;
    ports_.SetCOMToImmediate();
    if (!ports_.ConfigureSensor()) {
        menu_.newEnabled = false;
        dialogs_.message(MessageKind::Error, "", noSensorText(n));
    }
}

void PortSelection::MCOM1Click(int n) {
    if (n != current_ || !ports_.portStillOpen())
        SelectComPort(n);
}

bool PortSelection::reopenIfGone() {
    if (current_ == 0 || ports_.portStillOpen())
        return true;
    SelectComPort(current_);
    return menu_.newEnabled;
}

void PortSelection::MClosePortClick() {
    ports_.CloseCOM();
    current_ = 0;
    menu_.checked = {};
}

} // namespace thermo
