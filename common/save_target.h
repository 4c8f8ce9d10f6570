#pragma once
// Where a save under a chosen name really goes. Saves write a temporary file
// beside the target and rename it over, so a failed save never leaves half a
// file; renamed over a symbolic link that would replace the link, and over a
// device or a pipe it would destroy it.

#include <string>

namespace thermo {

// The file to write for `path`: `path` itself, or the file a symbolic link
// names (the link stays a link). Empty, with the reason in `problem`, when
// the name is taken by something other than a regular file.
[[nodiscard]] std::string saveTarget(const std::string& path, std::string* problem);

} // namespace thermo
