#include "io/permission_advice.h"

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace thermo {

namespace {

std::vector<char> nameBuffer() {
    const long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    return std::vector<char>(size > 0 ? static_cast<std::size_t>(size) : 16384);
}

std::string groupName(gid_t gid) {
    std::vector<char> buf = nameBuffer();
    group g{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &g, buf.data(), buf.size(), &found) == 0 && found)
        return found->gr_name;
    return std::to_string(gid);
}

} // namespace

std::string currentUserName() {
    std::vector<char> buf = nameBuffer();
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found)
        return found->pw_name;
    return "USER";
}

std::string permissionAdvice(const std::string& path, const std::string& user) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "permission denied: " + path;
    constexpr mode_t groupRw = S_IRGRP | S_IWGRP;
    if ((st.st_mode & groupRw) == groupRw && st.st_gid != 0) {
        const std::string g = groupName(st.st_gid);
        return "permission denied: add the user to group " + g + " (sudo usermod -aG " + g + " " +
               user + "), then log in again";
    }
    return "permission denied: no group may open " + path + "; ask the administrator for access";
}

std::string parallelPortAdvice(int errorCode, const std::string& device, const std::string& user) {
    if (errorCode != EACCES && errorCode != EPERM)
        return "";
    if (!device.empty())
        return permissionAdvice(device, user);
    return errorCode == EPERM ? kPpdevAdvice : "";
}

} // namespace thermo
