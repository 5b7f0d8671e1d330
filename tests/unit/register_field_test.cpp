// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The register fields of the chips' layouts, both ways: the value each reads from an image of
// the chip's registers, and the same value stored back by the Linux driver path from the
// number the kernel's driver publishes for it.
#include "chips/chip_tables.h"
#include "platform/linux/hwmon_image.h"
#include "registers/chip_layout.h"
#include "registers/registers.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

namespace {

struct field_case {
    const char *name;
    const chip_layout &layout;
    hwmon_kind kind;
    int index; // the driver's number of the attribute
    const register_field &field;
    std::vector<std::pair<int, int>> bytes; // the field's registers, other bits set where shared
    unsigned value;
    long published; // what the driver publishes at VALUE: mV, m°C or RPM
};

const chip_layout &w93 = w83793g_layout;
const chip_layout &w92 = w83792d_layout;

// The published numbers are the drivers' for these register contents.
const field_case field_cases[] = {
    {"W83793G in0, 10-bit, low bits 1-0 of 0x1B",
     w93,
     hwmon_kind::in,
     0,
     w93.voltages[0].reading,
     {{0x10, 0x96}, {0x1B, 0xFD}},
     0x96 * 4 + 1,
     1202},
    {"W83793G in2, low bits 5-4 of 0x1B",
     w93,
     hwmon_kind::in,
     2,
     w93.voltages[2].reading,
     {{0x12, 0xC9}, {0x1B, 0xEF}},
     0xC9 * 4 + 2,
     1612},
    {"W83793G in7, 8-bit above 150 mV",
     w93,
     hwmon_kind::in,
     7,
     w93.voltages[7].reading,
     {{0x18, 0x91}},
     0x91,
     3630},
    {"W83793G in0 high limit, 10-bit, low bits in 0x68",
     w93,
     hwmon_kind::in_max,
     0,
     w93.voltages[0].high_limit,
     {{0x60, 0xB4}, {0x68, 0xFE}},
     0xB4 * 4 + 2,
     1444},
    {"W83793G in1 low limit, low bits 3-2 of 0x69",
     w93,
     hwmon_kind::in_min,
     1,
     w93.voltages[1].low_limit,
     {{0x63, 0x10}, {0x69, 0xF7}},
     0x10 * 4 + 1,
     130},
    {"W83793G in3 high limit, 8-bit",
     w93,
     hwmon_kind::in_max,
     3,
     w93.voltages[3].high_limit,
     {{0x6A, 0x80}},
     0x80,
     2048},
    {"W83793G temp1, negative",
     w93,
     hwmon_kind::temp,
     1,
     w93.temperatures[0].reading,
     {{0x1C, 0xF0}},
     0xF0,
     -16000},
    {"W83793G temp5 warning level",
     w93,
     hwmon_kind::temp_warn,
     5,
     w93.temperatures[4].warn,
     {{0x8A, 0x64}},
     0x64,
     100000},
    {"W83793G fan1, 16-bit high byte first",
     w93,
     hwmon_kind::fan,
     1,
     w93.fans[0].count,
     {{0x23, 0x01}, {0x24, 0xC2}},
     0x01C2,
     3000},
    {"W83793G fan12 minimum, the largest count",
     w93,
     hwmon_kind::fan_min,
     12,
     w93.fans[11].min,
     {{0xA6, 0x0F}, {0xA7, 0xFE}},
     0x0FFE,
     329},
    {"W83792D in0, 10-bit, low bits 1-0 of 0x3E",
     w92,
     hwmon_kind::in,
     0,
     w92.voltages[0].reading,
     {{0x20, 0x35}, {0x3E, 0xFB}},
     0x35 * 4 + 3,
     430},
    {"W83792D in7, low bits 7-6 of 0x3F",
     w92,
     hwmon_kind::in,
     7,
     w92.voltages[7].reading,
     {{0xB0, 0x25}, {0x3F, 0xC5}},
     0x25 * 4 + 3,
     906},
    {"W83792D in8, 8-bit",
     w92,
     hwmon_kind::in,
     8,
     w92.voltages[8].reading,
     {{0xB1, 0x10}},
     0x10,
     256},
    // The 8-bit limits of a 10-bit input: the value with its low bits 0.
    {"W83792D in4 high limit, upper eight bits",
     w92,
     hwmon_kind::in_max,
     4,
     w92.voltages[4].high_limit,
     {{0x33, 0xC8}},
     0xC8 * 4,
     3200},
    {"W83792D in0 low limit, upper eight bits",
     w92,
     hwmon_kind::in_min,
     0,
     w92.voltages[0].low_limit,
     {{0x2C, 0x8C}},
     0x8C * 4,
     1120},
    {"W83792D in8 high limit, 8-bit",
     w92,
     hwmon_kind::in_max,
     8,
     w92.voltages[8].high_limit,
     {{0xB6, 0xC8}},
     0xC8,
     3200},
    {"W83792D temp2, a half degree up",
     w92,
     hwmon_kind::temp,
     2,
     w92.temperatures[1].reading,
     {{0xC0, 0xF0}},
     0xF0,
     -15500},
    // temp2's and temp3's limits: signed whole degrees with a half-degree bit (bit 7 of the
    // register after), in half degrees; the driver adds the half degree to the signed byte.
    {"W83792D temp3 limit at the ceiling",
     w92,
     hwmon_kind::temp_max,
     3,
     w92.temperatures[2].max,
     {{0xCD, 0x7F}, {0xCE, 0x00}},
     0x7F * 2,
     127000},
    {"W83792D temp2 limit with its half degree",
     w92,
     hwmon_kind::temp_max,
     2,
     w92.temperatures[1].max,
     {{0xC5, 0x50}, {0xC6, 0x80}},
     0x50 * 2 + 1,
     80500},
    {"W83792D temp2 hysteresis below zero with its half degree",
     w92,
     hwmon_kind::temp_max_hyst,
     2,
     w92.temperatures[1].max_hyst,
     {{0xC3, 0xF6}, {0xC4, 0x80}},
     0xF6 * 2 + 1,
     -9500},
    {"W83792D temp3 hysteresis, the half-degree register's other bits kept",
     w92,
     hwmon_kind::temp_max_hyst,
     3,
     w92.temperatures[2].max_hyst,
     {{0xCB, 0x15}, {0xCC, 0xFF}},
     0x15 * 2 + 1,
     21500},
    {"W83792D fan3, 8-bit at divisor 1",
     w92,
     hwmon_kind::fan,
     3,
     w92.fans[2].count,
     {{0x2A, 0x64}},
     0x64,
     13500},
    {"W83792D fan1 minimum",
     w92,
     hwmon_kind::fan_min,
     1,
     w92.fans[0].min,
     {{0x3B, 0x96}},
     0x96,
     9000},
};

TEST(RegisterField, EachChipsFieldsReadAndStoredBackByTheDriverPath) {
    for (const field_case &c : field_cases) {
        SCOPED_TRACE(c.name);
        register_image image{};
        std::set<int> regs;
        for (auto [r, v] : c.bytes) {
            image[static_cast<size_t>(r)] = static_cast<uint8_t>(v);
            regs.insert(r);
        }
        EXPECT_EQ(c.field.value(image), c.value);

        // The registers a reader takes for it: exactly those it lives in.
        register_set set{};
        c.field.add_to(set);
        std::set<int> added;
        for (int r = 0; r < 256; r++)
            if (set[static_cast<size_t>(r)])
                added.insert(r);
        EXPECT_EQ(added, regs);

        // Wiped, then recovered from the driver's number: the same value, and every other bit
        // of the registers it shares as it was.
        register_image back = image;
        ASSERT_TRUE(c.field.store(0, back));
        EXPECT_EQ(c.field.value(back), 0u);
        ASSERT_TRUE(hwmon_recover(c.layout, c.kind, c.index, c.published, back));
        EXPECT_EQ(c.field.value(back), c.value);
        EXPECT_EQ(back, image);
    }
}

// A field stores only what it holds: a value with low bits the chip does not keep loses them,
// one beyond its width or below 0 is refused with the image untouched. A one-bit low part at
// the top of another register (a half degree below a whole-degree limit) reads and stores as
// a 10-bit one does.
TEST(RegisterField, StoresOnlyWhatItHolds) {
    const register_field upper = with_low_bits_zero(0x2B, 2);
    const register_field half = with_low_bits(0xC5, 1, 0xC6, 7);
    register_image image{};
    image[0xC6] = 0x7F;
    EXPECT_TRUE(upper.store(0x2FF, image));
    EXPECT_EQ(image[0x2B], 0xBF);
    EXPECT_EQ(upper.value(image), 0x2FCu);
    EXPECT_TRUE(half.store(0x1AB, image)); // 0xD5 and a half
    EXPECT_EQ(image[0xC5], 0xD5);
    EXPECT_EQ(image[0xC6], 0xFF);
    EXPECT_EQ(half.value(image), 0x1ABu);

    const register_image before = image;
    EXPECT_FALSE(upper.store(0x400, image));
    EXPECT_FALSE(half.store(0x200, image));
    EXPECT_FALSE(with_low_byte(0x23, 0x24).store(0x10000, image));
    EXPECT_FALSE(register_field{0x10}.store(-1, image));
    EXPECT_EQ(image, before);
}

} // namespace
