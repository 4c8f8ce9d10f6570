// Where the settings live: beside a writable executable as always, in the
// user's configuration folder once installed, with the PC's port mapping
// from the machine file; and the work folder the window program enters.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "storage/settings_place.h"
#include "tests/temp_dir.h"

using namespace thermo;
using thermo::testing::readFile;
using thermo::testing::TempDir;
using thermo::testing::writeFile;

namespace {

PlaceInputs installed(std::string exe) {
    return {std::move(exe), /*executableFolderWritable=*/false, "", "/home/ivanov"};
}

} // namespace

TEST(SettingsPlace, WritableFolderKeepsTheFileBesideTheExecutable) {
    const PlaceInputs in{"/home/ivanov/lab/build/bin/LAB.EXE", true, "/x", "/home/ivanov"};
    const SettingsPlace p = programSettingsPlace(in);
    EXPECT_EQ(p.file, "/home/ivanov/lab/build/bin/Lab.INI");
    EXPECT_FALSE(p.installed);
    EXPECT_EQ(p.machineFile, "");
    EXPECT_EQ(p.workFolder, "");
}

TEST(SettingsPlace, InstalledUsesTheXdgFolderAndTheMachineFileOfItsTree) {
    // The paths the package's README and man pages promise.
    SettingsPlace p = programSettingsPlace(installed("/usr/bin/thermostand"));
    EXPECT_TRUE(p.installed);
    EXPECT_EQ(p.file, "/home/ivanov/.config/thermostand/thermostand.INI");
    EXPECT_EQ(p.machineFile, "/etc/thermostand/thermostand.INI");
    EXPECT_EQ(p.workFolder, "/home/ivanov/thermostand");

    PlaceInputs in = installed("/usr/bin/thermostand-cli");
    in.xdgConfigHome = "/srv/cfg";
    p = sharedSettingsPlace(in, "thermostand");
    EXPECT_EQ(p.file, "/srv/cfg/thermostand/thermostand.INI");

    in.xdgConfigHome = "relative/cfg"; // not absolute: ignored, as XDG says
    EXPECT_EQ(sharedSettingsPlace(in, "thermostand").file,
              "/home/ivanov/.config/thermostand/thermostand.INI");

    EXPECT_EQ(programSettingsPlace(installed("/usr/local/bin/thermostand")).machineFile,
              "/usr/local/etc/thermostand/thermostand.INI");
    EXPECT_EQ(programSettingsPlace(installed("/tmp/root/usr/bin/thermostand")).machineFile,
              "/tmp/root/etc/thermostand/thermostand.INI");
    EXPECT_EQ(programSettingsPlace(installed("/opt/stand/bin/thermostand")).machineFile,
              "/opt/stand/etc/thermostand/thermostand.INI");
}

TEST(SettingsPlace, RootRunningTheInstalledProgramLeavesUsrBinAlone) {
    const PlaceInputs in{"/usr/bin/thermostand", /*writable=*/true, "", "/root"};
    EXPECT_EQ(programSettingsPlace(in).file, "/root/.config/thermostand/thermostand.INI");
}

TEST(SettingsPlace, MachineDevicesFillOnlyAUserFileWithoutThem) {
    TempDir dir;
    const std::string user = dir.file("user.INI"), machine = dir.file("machine.INI");
    writeFile(machine, "[devices]\nCOM1=/dev/serial/by-id/usb-A\nLPT=/dev/parport0\n");

    // No user file yet, then one with parameters but no [devices].
    TSettings s = loadSettingsWithMachineDevices(user, machine, '.');
    EXPECT_EQ(s.devices.com[0], "/dev/serial/by-id/usb-A");
    EXPECT_EQ(s.devices.com[1], "/dev/ttyS1");
    EXPECT_EQ(s.devices.lpt, "/dev/parport0");
    writeFile(user, "[koof]\nC0_1=7\n");
    s = loadSettingsWithMachineDevices(user, machine, '.');
    EXPECT_EQ(s.params.C0_1, 7.0);
    EXPECT_EQ(s.devices.com[0], "/dev/serial/by-id/usb-A");

    // A save keeps the user's file free of the machine's section.
    SaveSettings(user, s, '.');
    EXPECT_EQ(readFile(user).find("devices"), std::string::npos);

    // The user's own mapping wins as a whole.
    writeFile(user, "[devices]\nCOM2=/dev/ttyUSB0\n");
    s = loadSettingsWithMachineDevices(user, machine, '.');
    EXPECT_EQ(s.devices.com[0], "/dev/ttyS0");
    EXPECT_EQ(s.devices.com[1], "/dev/ttyUSB0");
    EXPECT_EQ(s.devices.lpt, "auto");

    // Not installed: no machine file is consulted.
    std::filesystem::remove(user);
    EXPECT_EQ(loadSettingsWithMachineDevices(user, "", '.').devices, DeviceSettings{});
}

TEST(SettingsPlace, InstalledStartCreatesAndEntersTheWorkFolder) {
    TempDir home;
    const std::string before = std::filesystem::current_path().string();
    PlaceInputs in = installed("/usr/bin/thermostand");
    in.home = home.path().string();
    const SettingsPlace p = programSettingsPlace(in);
    EXPECT_EQ(prepareSettingsPlace(p), "");
    EXPECT_TRUE(std::filesystem::is_directory(home.path() / ".config" / "thermostand"));
    EXPECT_TRUE(std::filesystem::is_directory("Data")); // where "новый" opens
    EXPECT_EQ(std::filesystem::current_path(), home.path() / "thermostand");
    // Existing folders are fine the second time.
    EXPECT_EQ(prepareSettingsPlace(p), "");
    std::filesystem::current_path(before);

    // A home that cannot hold them is reported, not fatal.
    std::filesystem::remove_all(home.path() / "thermostand");
    writeFile((home.path() / "thermostand").string(), "a file in the way");
    EXPECT_NE(prepareSettingsPlace(p).find("thermostand"), std::string::npos);
    EXPECT_EQ(std::filesystem::current_path(), before);
}
