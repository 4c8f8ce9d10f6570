// The adapter emulator at the character level, with time passed in.
#include <gtest/gtest.h>

#include <vector>

#include "io/onewire.h"
#include "sim/ds18b20_emulator.h"

using namespace thermo;
using namespace thermo::sim;
using namespace std::chrono_literals;

namespace {

struct Wire {
    double temperature = 30.0;
    Ds18b20Emulator e{[this] { return temperature; }};
    Clock::time_point now{};

    std::uint8_t reset() { return *e.onChar(0xF0, 9600, now); }
    void writeByte(std::uint8_t b, int baud = 115200) {
        for (int i = 0; i < 8; ++i)
            (void)e.onChar((b >> i) & 1 ? 0xFF : 0x00, baud, now);
    }
    std::uint8_t readByte(int baud = 115200) {
        std::uint8_t v = 0;
        for (int i = 0; i < 8; ++i)
            v |= static_cast<std::uint8_t>((*e.onChar(0xFF, baud, now) & 1) << i);
        return v;
    }
    std::vector<std::uint8_t> scratchpad() {
        reset();
        writeByte(0xCC);
        writeByte(0xBE);
        std::vector<std::uint8_t> v;
        for (int i = 0; i < 9; ++i)
            v.push_back(readByte());
        return v;
    }
};

} // namespace

TEST(Ds18b20Emulator, PowerOnScratchpadIsTheDatasheetOne) {
    Wire w;
    EXPECT_NE(w.reset(), 0xF0) << "presence";
    // 85 °C after power-on, TH 0x4B, TL 0x46, 12 bits; check byte 0x1C.
    EXPECT_EQ(w.scratchpad(),
              (std::vector<std::uint8_t>{0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10, 0x1C}));
}

TEST(Ds18b20Emulator, ConversionTakes750msAtTwelveBits) {
    Wire w;
    w.temperature = 24.8125;
    w.reset();
    w.writeByte(0xCC);
    w.writeByte(0x44);
    EXPECT_EQ(w.readByte(), 0x00) << "busy: read slots give 0";
    w.now += 749ms;
    EXPECT_EQ(w.scratchpad()[0], 0x50) << "the previous value is readable meanwhile";
    w.now += 1ms;
    // 24.8125 °C: the datasheet's 8D 01 4B 46 7F FF 03 10 with check byte 03.
    EXPECT_EQ(w.scratchpad(),
              (std::vector<std::uint8_t>{0x8D, 0x01, 0x4B, 0x46, 0x7F, 0xFF, 0x03, 0x10, 0x03}));
}

TEST(Ds18b20Emulator, WriteScratchpadSetsResolutionAndConversionTime) {
    Wire w;
    w.reset();
    w.writeByte(0xCC);
    w.writeByte(0x4E);
    w.writeByte(0x37);
    w.writeByte(0x0B);
    w.writeByte(0x1F); // 9 bits
    EXPECT_EQ(w.e.conversionTime(), 93750us);
    const auto pad = w.scratchpad();
    EXPECT_EQ(pad[2], 0x37);
    EXPECT_EQ(pad[3], 0x0B);
    EXPECT_EQ(pad[4], 0x1F);
    w.temperature = 25.0625 + 0.125; // 9 bits keep halves of a degree only
    w.reset();
    w.writeByte(0xCC);
    w.writeByte(0x44);
    w.now += 94ms;
    const auto after = w.scratchpad();
    EXPECT_EQ(after[1] * 256 + after[0], 0x0190);
}

TEST(Ds18b20Emulator, WrongLineSpeedIsNotUnderstood) {
    Wire w;
    EXPECT_EQ(*w.e.onChar(0xF0, 115200, w.now), 0xF0) << "a reset at 115200 is a mere slot";
    w.reset();
    w.writeByte(0xCC, 9600); // every 9600 character is a long low: all zeros
    w.writeByte(0xBE, 9600);
    EXPECT_EQ(w.readByte(), 0xFF) << "the sensor ignored the garbled command";
    EXPECT_EQ(w.readByte(9600), 0xFF) << "a read slot at 9600 cannot see the sensor's bit";
}

TEST(Ds18b20Emulator, RegisterLimits) {
    const std::pair<double, std::int16_t> rows[] = {{-60.0, -880}, {-55.0, -880}, {0.03, 0},
                                                    {0.04, 1},     {125.0, 2000}, {127.9375, 2047},
                                                    {200.0, 2047}};
    for (auto [t, raw] : rows)
        EXPECT_EQ(Ds18b20Emulator::toRegister(t), raw) << t;
}

TEST(Ds18b20Emulator, Faults) {
    {
        Wire w;
        EmulatorFaults f;
        f.crcErrorEvery = 2;
        w.e.setFaults(f);
        const auto a = w.scratchpad();
        const auto b = w.scratchpad();
        EXPECT_EQ(crc8(a), 0);
        EXPECT_NE(crc8(b), 0) << "every second reading";
    }
    {
        Wire w;
        EmulatorFaults f;
        f.sensorLostAfter = 1;
        w.e.setFaults(f);
        (void)w.scratchpad();
        EXPECT_EQ(w.reset(), 0xF0) << "gone after one reading";
    }
    {
        Wire w;
        EmulatorFaults f;
        f.stuckAtPowerOn = true;
        w.e.setFaults(f);
        w.reset();
        w.writeByte(0xCC);
        w.writeByte(0x44);
        w.now += 1s;
        EXPECT_EQ(w.scratchpad()[1], 0x05) << "still 85 °C";
    }
    {
        Wire w;
        EmulatorFaults f;
        f.noAdapter = true;
        w.e.setFaults(f);
        EXPECT_FALSE(w.e.onChar(0xF0, 9600, w.now).has_value());
    }
}
