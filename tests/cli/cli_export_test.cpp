// thermostand-cli archive xlsx / wmf run on an archive written here byte by
// byte, their output read back by openpyxl and wmf2svg.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string run(const std::string& cmd) {
    std::string out;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (p == nullptr)
        return "popen failed";
    char buf[256];
    while (fgets(buf, sizeof buf, p) != nullptr)
        out += buf;
    const int status = pclose(p);
    return out + "exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

void putDouble(std::ofstream& f, double v) {
    unsigned char b[8];
    std::memcpy(b, &v, 8); // the archive is little-endian, as this host
    f.write(reinterpret_cast<const char*>(b), 8);
}

class CliExport : public ::testing::Test {
protected:
    void SetUp() override {
        const char* bin = std::getenv("THERMO_BIN_DIR");
        cli = (fs::path(bin ? bin : THERMO_DEFAULT_BIN_DIR) / "thermostand-cli").string();
        archive = dir / "run.txt";
        // Samples: Temper, Summa_1, Summa_2, Vremya. One configuration record
        // with Takt 1 and the setpoint 33.5 at offset 8.
        std::ofstream s(archive, std::ios::binary);
        for (int i = 1; i <= 5; ++i) {
            putDouble(s, 20.0 + i);
            putDouble(s, 0);
            putDouble(s, 0);
            putDouble(s, 0.5 + i / 86400.0);
        }
        std::ofstream c(archive.string() + "UST", std::ios::binary);
        std::string rec(248, '\0');
        rec[0] = 1;
        const double zadan = 33.5;
        std::memcpy(rec.data() + 8, &zadan, 8);
        c.write(rec.data(), std::streamsize(rec.size()));
    }
    std::string cli;
    thermo::testing::TempDir temp{"thermo-cli-export"};
    const fs::path dir = temp.path();
    fs::path archive;
};

} // namespace

TEST_F(CliExport, ArchiveToWorkbook) {
    // An .xls name gets the extension of the xlsx content, and says so.
    const auto out = dir / "run.xlsx";
    const std::string r =
        run(cli + " archive xlsx '" + archive.string() + "' '" + (dir / "run.xls").string() + "'");
    EXPECT_NE(r.find(out.string()), std::string::npos) << r;
    ASSERT_EQ(r.substr(r.rfind("exit")), "exit 0");
    const std::string check =
        "/usr/bin/python3 -c 'import sys, openpyxl\n"
        "ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
        "print(ws.max_row, ws[\"A1\"].value, ws[\"B1\"].value, ws[\"B5\"].value)' '" +
        out.string() + "'";
    EXPECT_EQ(run(check), "5 12:00:01 21 25\nexit 0");
}

TEST_F(CliExport, ArchiveChartToMetafile) {
    const auto out = dir / "run.wmf";
    // Without a login session's runtime folder, as over ssh or from cron:
    // nothing but the status, no warning of Qt's on stderr.
    const std::string r = run("env -u XDG_RUNTIME_DIR " + cli + " archive wmf '" +
                              archive.string() + "' '" + out.string() + "' --size 640x320");
    ASSERT_EQ(r, "exit 0");
    EXPECT_EQ(run("wmf2svg -o '" + out.string() + ".svg' '" + out.string() + "'"), "exit 0");
    std::ifstream svg(out.string() + ".svg");
    const std::string text{std::istreambuf_iterator<char>(svg), {}};
    // wmf2svg draws 768 pixels wide; the height keeps the 640 x 320 shape.
    EXPECT_NE(text.find("<svg width=\"768\" height=\"384\""), std::string::npos);
    EXPECT_NE(text.find("stroke:yellow"), std::string::npos); // the setpoint is drawn
}

TEST_F(CliExport, MissingArchiveOrArgumentsFail) {
    const auto out = dir / "x.xls";
    const std::string r =
        run(cli + " archive xlsx '" + (dir / "none.txt").string() + "' '" + out.string() + "'");
    EXPECT_NE(r.find("Ошибка открытия файла БД."), std::string::npos) << r;
    EXPECT_EQ(r.substr(r.rfind("exit")), "exit 1");
    EXPECT_FALSE(fs::exists(out));
    const std::string usage = run(cli + " archive wmf '" + archive.string() + "'");
    EXPECT_EQ(usage.substr(usage.rfind("exit")), "exit 2");
    // Smaller than 300x150 the chart's labels run into each other.
    for (const char* size : {"299x150", "300x149"}) {
        const auto wmf = dir / "small.wmf";
        const std::string small = run(cli + " archive wmf '" + archive.string() + "' '" +
                                      wmf.string() + "' --size " + size);
        EXPECT_NE(small.find("smaller than 300x150 is not readable"), std::string::npos) << small;
        EXPECT_EQ(small.substr(small.rfind("exit")), "exit 2");
        EXPECT_FALSE(fs::exists(wmf));
    }
}
