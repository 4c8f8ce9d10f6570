#pragma once
// The one exception type of the storage layer: an input/output failure with
// the system's own text ("run.txt: Permission denied"). The windows show it in
// the application's general error report and the program goes on.

#include <stdexcept>
#include <string>

namespace thermo {

class IoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "<path>: <strerror(err)>".
[[nodiscard]] IoError ioErrorFromErrno(const std::string& path, int err);

} // namespace thermo
