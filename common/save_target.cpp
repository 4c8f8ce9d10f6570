#include "common/save_target.h"

#include <filesystem>

namespace thermo {

std::string saveTarget(const std::string& path, std::string* problem) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target(path);
    // Follow the links (a chain of them too, up to the system's own limit),
    // also to a file not made yet.
    for (int hops = 0; fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
        const fs::path next = fs::read_symlink(target, ec);
        if (ec || hops == 40) {
            if (problem)
                *problem = ec ? ec.message() : "too many levels of symbolic links";
            return {};
        }
        // Not normalised: ".." after a folder that is itself a link must be
        // left for the system to resolve.
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    const fs::file_status st = fs::status(target, ec);
    if (fs::exists(st) && !fs::is_regular_file(st)) {
        if (problem)
            *problem = "the name is taken by something that is not a file";
        return {};
    }
    return target.string();
}

} // namespace thermo
