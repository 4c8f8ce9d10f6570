// A whole ReadTemperature against the emulated adapter with real UART
// character timing, at 0 and 1 ms turnaround latency. The bus itself needs
// one 9600-baud character and 88 at 115200 for a reading: 8.68 ms; the
// counter bus_ratio is our time over that. The slot-by-slot variant (one
// round trip per character) is measured alongside as the baseline.
#include <benchmark/benchmark.h>

#include <chrono>

#include "io/ds18b20.h"
#include "io/onewire.h"
#include "sim/pty_sensor.h"

using namespace thermo;

namespace {

constexpr double kBusSeconds = 10.0 / 9600 + 88 * 10.0 / 115200;

template <class Read> void runReading(benchmark::State& state, Read read) {
    sim::UartTiming timing{true, std::chrono::microseconds(state.range(0))};
    sim::PtySensorThread emu([] { return 24.8125; }, timing);
    SerialPort port;
    if (!emu.ok() || !port.OpenCOM(emu.path())) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    port.SetCOMTo(-1, 0, 0, 0, 0);
    double total = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = read(port);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!ok) {
            state.SkipWithError("reading failed");
            return;
        }
    }
    state.counters["bus_ratio"] = total / static_cast<double>(state.iterations()) / kBusSeconds;
}

bool batched(SerialPort& port) {
    return ReadTemperature(port).ok();
}

bool slotBySlot(SerialPort& port) {
    if (!OneWireReset(port))
        return false;
    OneWireWriteByte(port, kSkipRom);
    OneWireWriteByte(port, kReadScratchpad);
    std::uint8_t crc = 0, b = 0;
    for (int i = 0; i < 8; ++i)
        crc = Crc8Step(crc, b = OneWireReadByte(port));
    return OneWireReadByte(port) == crc;
}

} // namespace

static void BM_ReadTemperature(benchmark::State& state) {
    runReading(state, batched);
}
BENCHMARK(BM_ReadTemperature)
    ->Arg(0)
    ->Arg(1000)
    ->ArgName("latency_us")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

static void BM_ReadTemperatureSlotBySlot(benchmark::State& state) {
    runReading(state, slotBySlot);
}
BENCHMARK(BM_ReadTemperatureSlotBySlot)
    ->Arg(0)
    ->Arg(1000)
    ->ArgName("latency_us")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
