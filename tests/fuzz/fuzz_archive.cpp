// libFuzzer target: any pair of files through the archive reader, then every
// position through the configuration-for-position rule. The first byte
// splits the input into the sample file and the configuration file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "common/scripted_dialogs.h"
#include "storage/reader.h"

using namespace thermo;

namespace {

// A plain array, so the exit handler that removes the files never sees a
// destroyed string.
char g_dir[64];

std::string archivePath() {
    if (g_dir[0] == '\0') {
        // Memory-backed where there is one: the target writes two files per input.
        std::snprintf(g_dir, sizeof g_dir, "%s/thermo-fuzz-XXXXXX",
                      ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        if (::mkdtemp(g_dir) == nullptr)
            std::abort();
        std::atexit([] {
            const std::string p = std::string(g_dir) + "/a.txt";
            ::unlink(p.c_str());
            ::unlink((p + "UST").c_str());
            ::rmdir(g_dir);
        });
    }
    return std::string(g_dir) + "/a.txt";
}

void writeBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t split = std::min<std::size_t>(size - 1, std::size_t{data[0]} * 8);
    const std::string path = archivePath();
    writeBytes(path, data + 1, split);
    writeBytes(path + "UST", data + 1 + split, size - 1 - split);

    static ArchiveReader reader; // kept between inputs, as the window keeps it
    ScriptedDialogs dialogs;
    (void)reader.ReadSampleFile(path, dialogs);
    (void)reader.ReadConfigFile(path, dialogs);
    if (reader.SampleCount != split / kSampleRecordSize ||
        reader.ConfigCount != (size - 1 - split) / kConfigRecordSize)
        std::abort();
    for (std::size_t s = 0; s <= reader.SampleCount + 1; ++s) {
        const auto k = reader.configForPosition(s);
        if (k && (*k < 1 || *k > reader.ConfigCount))
            std::abort();
    }
    return 0;
}
