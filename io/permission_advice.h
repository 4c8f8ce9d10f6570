#pragma once
// What a student without root does about a device the program may not open.
// On Debian serial devices are root:dialout 0660 and parallel ports
// root:lp 0660: the group grants access, and a new group takes a new login.

#include <string>

namespace thermo {

// One line for a device whose open failed with EACCES or EPERM: join the
// group the device's mode grants read and write to, or, when no group does,
// who may open it. `user` is named in the command to run.
[[nodiscard]] std::string permissionAdvice(const std::string& path, const std::string& user);

// The effective user's login name ("USER" when the system has none for it).
[[nodiscard]] std::string currentUserName();

} // namespace thermo
