#include "cli/offscreen_app.h"

#include <cstdlib>
#include <filesystem>

#include "ui_aux/program_setup.h"

namespace thermo::cli {

OffscreenApp::OffscreenApp() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a login session (ssh, cron, a container) there is no runtime
    // folder, and Qt warns on stderr before making one under /tmp that stays
    // behind. The drawing keeps nothing there: a private folder for the time
    // of the command does.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        std::error_code ec;
        std::string tmpl =
            (std::filesystem::temp_directory_path(ec) / "thermostand-cli.XXXXXX").string();
        if (::mkdtemp(tmpl.data()) != nullptr) {
            runtimeDir_ = tmpl;
            qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(tmpl));
        }
    }
    app_ = std::make_unique<QApplication>(argc_, argv_);
    prepareWindowProgram(*app_);
}

OffscreenApp::~OffscreenApp() {
    app_.reset();
    std::error_code ec;
    if (!runtimeDir_.empty())
        std::filesystem::remove_all(runtimeDir_, ec);
}

} // namespace thermo::cli
