// Known answers for the check byte and the temperature register; the
// vectors are the published CRC-8/MAXIM check value and DS18B20 datasheet
// scratchpads.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "io/ds18b20.h"
#include "io/onewire.h"

using namespace thermo;

namespace {
std::uint8_t crcOf(std::vector<std::uint8_t> v) {
    return crc8(v);
}
} // namespace

TEST(Crc8, CheckValueOfDigits) {
    constexpr std::string_view digits = "123456789";
    std::uint8_t c = 0;
    for (char ch : digits)
        c = Crc8Step(c, static_cast<std::uint8_t>(ch));
    EXPECT_EQ(c, 0xA1);
}

TEST(Crc8, KnownScratchpads) {
    struct Row {
        std::vector<std::uint8_t> bytes;
        std::uint8_t crc;
    };
    const Row rows[] = {
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0xC9}, // all read slots high
        {{0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10}, 0x1C}, // 85 °C after power-on
        {{0x8D, 0x01, 0x4B, 0x46, 0x7F, 0xFF, 0x03, 0x10}, 0x03}, // 24.8125 °C
    };
    for (const auto& r : rows) {
        EXPECT_EQ(crcOf(r.bytes), r.crc) << "first byte " << int(r.bytes[0]);
        auto whole = r.bytes;
        whole.push_back(r.crc);
        EXPECT_EQ(crcOf(whole), 0) << "a good scratchpad checks to zero";
    }
}

TEST(ScratchpadTemperature, RegisterTable) {
    struct Row {
        std::uint8_t b1, b0;
        double celsius;
    };
    // Datasheet's temperature/data relationship table.
    const Row rows[] = {
        {0x07, 0xD0, 125.0},   {0x05, 0x50, 85.0},  {0x01, 0x91, 25.0625},
        {0x00, 0x08, 0.5},     {0x00, 0x00, 0.0},   {0xFF, 0xF8, -0.5},
        {0xFF, 0x5E, -10.125}, {0xFC, 0x90, -55.0}, {0x07, 0xFF, 127.9375},
    };
    for (const auto& r : rows)
        EXPECT_DOUBLE_EQ(scratchpadTemperature(r.b0, r.b1), r.celsius)
            << std::hex << int(r.b1) << ' ' << int(r.b0);
}
