// The archive window's open (a whole archive of 65000 samples and 72
// configuration records read into memory; target under 20 ms) and the
// recorder's per-tick append (open, write, close). Baselines measured in the
// same run: the bare read of the same bytes, and a bare open/close.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

#include "common/scripted_dialogs.h"
#include "storage/reader.h"
#include "storage/recorder.h"
#include "tests/temp_dir.h"

using namespace thermo;

namespace {

struct BenchArchive {
    BenchArchive() {
        path = dir.file("big.txt");
        std::string samples, configs;
        for (int p = 1; p <= 65000; ++p) {
            const auto b = encodeSample({20.0 + p * 1e-4, p * 0.5, p * 0.25, 0.5});
            samples.append(reinterpret_cast<const char*>(b.data()), b.size());
        }
        for (int k = 1; k <= 72; ++k) {
            TConfigRecord r;
            r.Takt = static_cast<std::uint16_t>(k * 900);
            const auto b = encodeConfig(r);
            configs.append(reinterpret_cast<const char*>(b.data()), b.size());
        }
        write(path, samples);
        write(path + "UST", configs);
    }
    static void write(const std::string& p, const std::string& bytes) {
        std::FILE* f = std::fopen(p.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    thermo::testing::TempDir dir{"thermo-bench-storage"};
    std::string path;
};

BenchArchive& archive() {
    static BenchArchive a;
    return a;
}

void BM_ReadArchive65000(benchmark::State& state) {
    ArchiveReader reader;
    ScriptedDialogs dialogs;
    for (auto _ : state) {
        (void)reader.ReadSampleFile(archive().path, dialogs);
        (void)reader.ReadConfigFile(archive().path, dialogs);
        benchmark::DoNotOptimize(reader.Samples.data());
    }
    if (reader.SampleCount != 65000 || reader.ConfigCount != 72)
        state.SkipWithError("wrong counts");
}
BENCHMARK(BM_ReadArchive65000)->Unit(benchmark::kMillisecond);

// Baseline: the same two files read into memory without decoding.
void BM_ReadArchiveBytesOnly(benchmark::State& state) {
    for (auto _ : state) {
        auto s = readArchiveFile(archive().path);
        auto c = readArchiveFile(archive().path + "UST");
        benchmark::DoNotOptimize(s.bytes.data());
        benchmark::DoNotOptimize(c.bytes.data());
    }
}
BENCHMARK(BM_ReadArchiveBytesOnly)->Unit(benchmark::kMillisecond);

void BM_AppendSample(benchmark::State& state) {
    ArchiveRecorder recorder([] { return 0.5; });
    recorder.setArchiveName(archive().dir.file("append.txt"));
    TProcessState s;
    std::uint16_t takt = 3;
    for (auto _ : state) {
        s.Temper += 0.01;
        recorder.AppendSample(takt, s);
        takt = takt >= kMaxSamplePosition ? 3 : takt + 1;
    }
}
BENCHMARK(BM_AppendSample)->Unit(benchmark::kMicrosecond);

// Baseline: opening and closing the same file without writing.
void BM_OpenCloseOnly(benchmark::State& state) {
    const std::string p = archive().dir.file("append.txt");
    for (auto _ : state) {
        const int fd = ::open(p.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        ::close(fd);
    }
}
BENCHMARK(BM_OpenCloseOnly)->Unit(benchmark::kMicrosecond);

} // namespace
