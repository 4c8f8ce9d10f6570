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

// One line for a parallel port that could not be reached: the group to
// join when its register device refused this user (`device`), the way to
// ppdev when direct port I/O was refused (no device, EPERM), else "".
[[nodiscard]] std::string parallelPortAdvice(int errorCode, const std::string& device,
                                             const std::string& user);

// Direct port I/O takes CAP_SYS_RAWIO; a student's login reaches a parallel
// port through ppdev alone.
inline constexpr const char* kPpdevAdvice =
    "direct port I/O needs CAP_SYS_RAWIO, which this user does not have: ppdev is the way "
    "(sudo modprobe ppdev, and ppdev in /etc/modules), with the user in group lp";

// The effective user's login name ("USER" when the system has none for it).
[[nodiscard]] std::string currentUserName();

} // namespace thermo
