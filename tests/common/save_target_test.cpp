// Where a save under a chosen name goes: never over a link, a device, a pipe
// or a folder, which a rename of the finished file would destroy.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "common/save_target.h"
#include "tests/temp_dir.h"

namespace fs = std::filesystem;

namespace {

TEST(SaveTarget, WritesThroughLinksAndRefusesWhatIsNotAFile) {
    const thermo::testing::TempDir temp("thermo-save");
    const fs::path& dir = temp.path();
    fs::create_directories(dir / "folder");
    std::ofstream(dir / "file.xls") << "old";
    fs::create_symlink(dir / "file.xls", dir / "link.xls");
    fs::create_symlink(dir / "missing.xls", dir / "dangling.xls");
    ASSERT_EQ(::mkfifo((dir / "pipe.xls").c_str(), 0644), 0);

    std::string why;
    EXPECT_EQ(thermo::saveTarget((dir / "file.xls").string(), &why), (dir / "file.xls").string());
    EXPECT_EQ(thermo::saveTarget((dir / "new.xls").string(), &why), (dir / "new.xls").string());
    EXPECT_EQ(thermo::saveTarget((dir / "link.xls").string(), &why), (dir / "file.xls").string());
    EXPECT_EQ(thermo::saveTarget((dir / "dangling.xls").string(), &why),
              (dir / "missing.xls").string())
        << "a link to a file not made yet: the file is made where it points";
    for (const char* taken : {"pipe.xls", "folder"}) {
        why.clear();
        EXPECT_EQ(thermo::saveTarget((dir / taken).string(), &why), "") << taken;
        EXPECT_FALSE(why.empty()) << taken;
    }
    EXPECT_EQ(thermo::saveTarget("/dev/null", &why), "");
}

} // namespace
