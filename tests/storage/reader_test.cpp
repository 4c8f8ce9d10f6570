// The reader: counts from file sizes, the four messages, arrays that are
// never used beyond the counts, and the configuration in force per position.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/scripted_dialogs.h"
#include "storage/reader.h"
#include "storage/recorder.h" // appendRecord
#include "tests/temp_dir.h"

using namespace thermo;
using thermo::testing::TempDir;
using thermo::testing::writeFile;

namespace {

void writeArchive(const std::string& path, const std::vector<double>& temps,
                  const std::vector<std::uint16_t>& takts) {
    for (double t : temps) {
        const auto b = encodeSample({t, 0, 0, 0});
        appendRecord(path, b.data(), b.size());
    }
    for (std::uint16_t takt : takts) {
        TConfigRecord r;
        r.Takt = takt;
        r.Zadan = takt;
        const auto b = encodeConfig(r);
        appendRecord(path + "UST", b.data(), b.size());
    }
}

std::vector<std::string> texts(const ScriptedDialogs& d) {
    std::vector<std::string> out;
    for (const auto& m : d.messages)
        out.push_back(m.text);
    return out;
}

TEST(Reader, AFileOf256BytesHoldsEightSamples) {
    TempDir dir;
    const std::string path = dir.file("a.txt");
    writeArchive(path, {1, 2, 3, 4, 5, 6, 7, 8}, {1});
    ArchiveReader r;
    ScriptedDialogs d;
    EXPECT_TRUE(r.ReadSampleFile(path, d));
    EXPECT_TRUE(r.ReadConfigFile(path, d));
    EXPECT_EQ(r.SampleCount, 8u);
    EXPECT_EQ(r.Samples[8].Temper, 8.0);
    EXPECT_EQ(r.Samples[0], TArchiveRecord{});
    EXPECT_EQ(r.ConfigCount, 1u);
    EXPECT_TRUE(d.messages.empty());
}

TEST(Reader, NoArchiveShowsTheFirstAndTheThirdMessageAndKeepsTheOldSamplesOnly) {
    TempDir dir;
    const std::string path = dir.file("a.txt");
    writeArchive(path, {1, 2}, {1});
    ArchiveReader r;
    ScriptedDialogs d;
    (void)r.ReadSampleFile(path, d);
    (void)r.ReadConfigFile(path, d);
    EXPECT_FALSE(r.ReadSampleFile(dir.file("missing.txt"), d));
    EXPECT_FALSE(r.ReadConfigFile(dir.file("missing.txt"), d));
    EXPECT_EQ(texts(d), (std::vector<std::string>{"Ошибка открытия файла БД.",
                                                  "Ошибка открытия файла конфигурации."}));
    EXPECT_EQ(r.SampleCount, 2u);
    EXPECT_EQ(r.ConfigCount, 0u);
    EXPECT_EQ(d.messages[0].kind, MessageKind::Plain);
}

TEST(Reader, OnlyARegularFileOpensAsAnArchive) {
    TempDir dir;
    const std::string folder = dir.file("folder.txt");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((folder + "UST").c_str(), 0755), 0);
    const std::string pipe = dir.file("pipe.txt");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0); // opened blocking, this would hang
    for (const std::string& path : {folder, pipe, std::string("/dev/zero")}) {
        ArchiveReader r;
        ScriptedDialogs d;
        EXPECT_FALSE(r.ReadSampleFile(path, d)) << path;
        EXPECT_EQ(texts(d), std::vector<std::string>{"Ошибка открытия файла БД."}) << path;
        EXPECT_EQ(r.SampleCount, 0u);
    }
    ArchiveReader r;
    ScriptedDialogs d;
    EXPECT_FALSE(r.ReadConfigFile(folder, d));
    EXPECT_EQ(texts(d), std::vector<std::string>{"Ошибка открытия файла конфигурации."});
}

TEST(Reader, EmptyFilesShowTheirMessagesAndCountZero) {
    TempDir dir;
    const std::string path = dir.file("a.txt");
    writeArchive(path, {1, 2}, {1});
    ArchiveReader r;
    ScriptedDialogs d;
    (void)r.ReadSampleFile(path, d);
    (void)r.ReadConfigFile(path, d);
    const std::string empty = dir.file("empty.txt");
    writeFile(empty, "");
    writeFile(empty + "UST", std::string(100, 'x')); // less than one record
    EXPECT_TRUE(r.ReadSampleFile(empty, d));
    EXPECT_TRUE(r.ReadConfigFile(empty, d));
    EXPECT_EQ(texts(d), (std::vector<std::string>{"В БД нет запрашиваемой информации.",
                                                  " нет файла конфигурации."}));
    EXPECT_EQ(r.SampleCount, 0u);
    EXPECT_EQ(r.ConfigCount, 0u);
    EXPECT_FALSE(r.configForPosition(1));
}

TEST(Reader, ASecondShorterArchiveShrinksTheCounts) {
    TempDir dir;
    const std::string longer = dir.file("long.txt"), shorter = dir.file("short.txt");
    writeArchive(longer, {1, 2, 3, 4, 5}, {1, 3, 4});
    writeArchive(shorter, {9, 8}, {1});
    ArchiveReader r;
    ScriptedDialogs d;
    (void)r.ReadSampleFile(longer, d);
    (void)r.ReadConfigFile(longer, d);
    (void)r.ReadSampleFile(shorter, d);
    (void)r.ReadConfigFile(shorter, d);
    EXPECT_EQ(r.SampleCount, 2u);
    EXPECT_EQ(r.ConfigCount, 1u);
    EXPECT_EQ(r.Samples[2].Temper, 8.0);
    // Any position maps into the new archive's one record, never to 2 or 3.
    for (std::size_t s : {1u, 2u, 3u, 5u, 100u})
        EXPECT_EQ(r.configForPosition(s), 1u) << s;
}

TEST(Reader, ATrailingPartialRecordIsIgnored) {
    TempDir dir;
    const std::string path = dir.file("a.txt");
    writeArchive(path, {1, 2, 3}, {1, 5});
    writeFile(path, std::string(96 + 31, '\0'));
    writeFile(path + "UST", std::string(248 * 2 + 247, '\0'));
    ArchiveReader r;
    ScriptedDialogs d;
    (void)r.ReadSampleFile(path, d);
    (void)r.ReadConfigFile(path, d);
    EXPECT_EQ(r.SampleCount, 3u);
    EXPECT_EQ(r.ConfigCount, 2u);
}

TEST(Reader, ArchivesAboveTheCapacityAreReadWhole) {
    TempDir dir;
    const std::string path = dir.file("big.txt");
    std::string samples;
    for (int p = 1; p <= 65003; ++p) {
        const auto b = encodeSample({static_cast<double>(p), 0, 0, 0});
        samples.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    writeFile(path, samples);
    std::vector<std::uint16_t> takts;
    for (std::uint16_t t = 1; t <= 80; ++t)
        takts.push_back(t * 10);
    writeArchive(path, {}, takts);
    ArchiveReader r;
    ScriptedDialogs d;
    (void)r.ReadSampleFile(path, d);
    (void)r.ReadConfigFile(path, d);
    EXPECT_EQ(r.SampleCount, 65003u);
    EXPECT_EQ(r.Samples[65003].Temper, 65003.0);
    EXPECT_EQ(r.ConfigCount, 80u);
    EXPECT_EQ(r.Configs[80].Takt, 800);
    EXPECT_EQ(r.configForPosition(65003), 80u);
}

TEST(Reader, ConfigurationInForcePerPosition) {
    ArchiveReader r;
    r.ConfigCount = 2;
    r.Configs[1].Takt = 1;
    r.Configs[2].Takt = 50;
    struct Case {
        std::size_t position, record;
    };
    // A position equal to a record's Takt belongs to that record.
    const Case cases[] = {{0, 1}, {1, 1}, {2, 1}, {49, 1}, {50, 2}, {51, 2}, {65000, 2}};
    for (const Case& c : cases)
        EXPECT_EQ(r.configForPosition(c.position), c.record) << c.position;

    r.ConfigCount = 1;
    for (std::size_t s : {1u, 2u, 49u, 50u, 51u})
        EXPECT_EQ(r.configForPosition(s), 1u) << s;

    // A file holding two runs: Takt falls back to 1 at record 3.
    r.ConfigCount = 3;
    r.Configs[2].Takt = 10;
    r.Configs[3].Takt = 1;
    EXPECT_EQ(r.configForPosition(0), 1u);
    EXPECT_EQ(r.configForPosition(5), 1u);
    EXPECT_EQ(r.configForPosition(12), 3u); // at or above the last record's Takt
    EXPECT_EQ(r.configForPosition(1), 1u);
}

} // namespace

// Regression: archives were opened for writing too, so one without write
// access could not be viewed. Root passes permission checks, so the test uses
// a file the kernel refuses to open for writing even to root.
TEST(Reader, AnArchiveWithoutWriteAccessStillOpens) {
    const char* path = "/sys/devices/system/cpu/online";
    const int fd = ::open(path, O_RDWR);
    if (fd >= 0)
        ::close(fd);
    if (fd >= 0 || errno == ENOENT)
        GTEST_SKIP() << "no file here refuses writing to this user";
    const FileBytes f = readArchiveFile(path);
    EXPECT_EQ(f.error, 0);
    EXPECT_FALSE(f.bytes.empty());
}
