#pragma once
// A fresh folder of the test's own under the system's temporary folder,
// removed with everything in it when the test (or whatever holds it) ends,
// whether it passed or not. A process forked from the test and ending with
// _exit leaves the folder to its parent.
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

#include <stdlib.h>

namespace thermo::testing {

class TempDir {
public:
    // `prefix` names the folder (prefix-XXXXXX), so one left behind by a
    // killed test says whose it was.
    explicit TempDir(const std::string& prefix = "thermo") {
        std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(tmpl.data()) == nullptr)
            throw std::system_error(errno, std::generic_category(), "mkdtemp " + tmpl);
        path_ = tmpl;
    }
    ~TempDir() {
        // A test that took the folder's write permission away gets it back
        // here, so the folder can go.
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] std::string file(const std::string& name) const {
        return (path_ / name).string();
    }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

} // namespace thermo::testing
