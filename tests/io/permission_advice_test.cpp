// The probe's one line for a device this user may not open: the group the
// device's mode grants read and write to, else who to ask.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "io/permission_advice.h"
#include "tests/temp_dir.h"

using namespace thermo;

TEST(PermissionAdvice, NamesTheDevicesGroupOrWhoToAsk) {
    const thermo::testing::TempDir dir("thermo-device");
    const std::string device = dir.file("parport0");
    thermo::testing::writeFile(device, "");
    const char* path = device.c_str();
    // Group lp as /dev/parport0 has it; a user who is not root keeps its own
    // group (root's group 0 grants nothing worth advising).
    gid_t gid = 7;
    if (::chown(path, static_cast<uid_t>(-1), gid) != 0)
        gid = ::getegid();
    const group* g = ::getgrgid(gid);
    if (gid == 0 || g == nullptr)
        GTEST_SKIP() << "no group other than root's to give the file";
    const std::string name = g->gr_name;

    ::chmod(path, 0660);
    EXPECT_EQ(permissionAdvice(path, "ivanov"), "permission denied: add the user to group " + name +
                                                    " (sudo usermod -aG " + name +
                                                    " ivanov), then log in again");
    // A parallel port: its device's group, or ppdev when port I/O was refused.
    EXPECT_EQ(parallelPortAdvice(EACCES, path, "ivanov"), permissionAdvice(path, "ivanov"));
    EXPECT_EQ(parallelPortAdvice(EPERM, "", "ivanov"), kPpdevAdvice);
    EXPECT_EQ(parallelPortAdvice(EBUSY, path, "ivanov"), "");
    ::chmod(path, 0620); // a terminal's mode: the group may write, not read
    EXPECT_EQ(permissionAdvice(path, "ivanov"), "permission denied: no group may open " +
                                                    std::string(path) +
                                                    "; ask the administrator for access");
}
