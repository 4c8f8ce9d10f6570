#pragma once
// The Qt application of a command that draws charts without showing a
// window (archive wmf, report): offscreen unless the caller chose a
// platform, prepared as the window programs are, with a private runtime
// folder for the time of the command where the session has none.

#include <QApplication>
#include <memory>
#include <string>

namespace thermo::cli {

class OffscreenApp {
public:
    OffscreenApp();
    ~OffscreenApp();
    OffscreenApp(const OffscreenApp&) = delete;
    OffscreenApp& operator=(const OffscreenApp&) = delete;

private:
    std::string runtimeDir_; // made here, removed at the end
    int argc_ = 1;
    char name_[16] = "thermostand-cli";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

} // namespace thermo::cli
