// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The registers of a chip that a kernel driver holds, recovered from its attributes in a
// sysfs tree laid out in a temporary directory. The attribute values are what the kernel's
// w83793 and w83792d drivers published for the register images given in each case (read in
// the e2e VM from an i2c-stub chip).
#include "chips/chips.h"
#include "platform/linux/hwmon_image.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using attributes = std::map<std::string, std::string>;
using registers = std::map<int, int>; // every register not listed must read 0

struct chip_case {
    const char *name;
    const chip_layout &layout;
    attributes published;
    registers want;
};

const chip_case chip_cases[] = {
    {"w83793",
     w83793g_layout,
     {{"in0_input", "392"},      {"in1_input", "802"},      {"in2_input", "1612"},
      {"in3_input", "3600"},     {"in4_input", "832"},      {"in5_input", "1936"},
      {"in6_input", "736"},      {"in7_input", "3630"},     {"in8_input", "246"},
      {"in9_input", "656"},      {"temp1_input", "-16000"}, {"temp2_input", "-127750"},
      {"temp3_input", "-39250"}, {"temp4_input", "-4500"},  {"temp5_input", "-112000"},
      {"temp6_input", "127000"}, {"fan1_input", "0"},       {"fan4_input", "1350000"},
      {"fan6_input", "1146"},    {"fan12_input", "1131"}},
     // 0x1B: the low bits of in0-in2 (0, 1, 2); the driver's 0x1B had 0xe4, whose top two
     // bits belong to no voltage input. A fan count comes back as the largest count of the
     // same reading (1177 reads 1146 RPM, as 1178 does).
     {{0x10, 0x31}, {0x11, 0x64}, {0x12, 0xc9}, {0x1B, 0x24}, {0x14, 0xe1}, {0x15, 0x34},
      {0x16, 0x79}, {0x17, 0x5c}, {0x18, 0x91}, {0x19, 0x04}, {0x1A, 0x29}, {0x1C, 0xf0},
      {0x1D, 0x81}, {0x1E, 0xd9}, {0x1F, 0xfc}, {0x20, 0x90}, {0x21, 0x7f}, {0x29, 0x00},
      {0x2A, 0x01}, {0x2D, 0x04}, {0x2E, 0x9a}, {0x39, 0x04}, {0x3A, 0xa9}}},
    {"w83793, quarter degrees", // 0x10 +0, 0x7f +3/4, 0x00 +1/4, 0x80 +2/4
     w83793g_layout,
     {{"in0_input", "0"},
      {"temp1_input", "16000"},
      {"temp2_input", "127750"},
      {"temp3_input", "-250"},
      {"temp4_input", "-128500"}},
     {{0x1C, 0x10}, {0x1D, 0x7f}, {0x1F, 0x80}}},
    {"w83792d",
     w83792d_layout,
     {{"in0_input", "424"},       {"in1_input", "1028"},     {"in2_input", "2256"},
      {"in3_input", "3720"},      {"in4_input", "1620"},     {"in5_input", "3332"},
      {"in6_input", "4536"},      {"in7_input", "906"},      {"in8_input", "256"},
      {"temp1_input", "-112000"}, {"temp2_input", "-15500"}, {"temp3_input", "-122500"},
      {"fan1_div", "32"},         {"fan2_div", "128"},       {"fan3_div", "1"},
      {"fan4_div", "16"},         {"fan5_div", "32"},        {"fan6_div", "16"},
      {"fan7_div", "8"},          {"fan1_input", "0"},       {"fan2_input", "-1"},
      {"fan3_input", "5696"},     {"fan4_input", "675"},     {"fan5_input", "351"},
      {"fan6_input", "992"},      {"fan7_input", "1757"}},
     // The driver's 0x5B had 0xc0: its fan4 code 0xc reads as 4, as the readers take it.
     {{0x20, 0x35}, {0x21, 0x80}, {0x22, 0x8d}, {0x23, 0xe8}, {0x24, 0x65}, {0x25, 0xd0},
      {0x26, 0xbd}, {0x3E, 0x88}, {0x3F, 0xc5}, {0xB0, 0x25}, {0xB1, 0x10}, {0x27, 0x90},
      {0xC0, 0xf0}, {0xC8, 0x85}, {0x47, 0x75}, {0x5B, 0x40}, {0x5C, 0x45}, {0x9E, 0x03},
      {0x2A, 0xed}, {0xB8, 0x7d}, {0xB9, 0x78}, {0xBA, 0x55}, {0xBE, 0x60}}},
};

class Attributes : public ::testing::Test {
  protected:
    fs::path root;
    std::string sys;

    void SetUp() override {
        char tmpl[] = "/tmp/vantorel-hwmon-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        sys = (root / "sys").string();
    }
    void TearDown() override {
        fs::remove_all(root);
    }

    // The client 0-002f publishing ATTRS in SUBDIR of its directory ("" for the client's own).
    void publish(const attributes &attrs, const std::string &subdir = "") {
        fs::path dir = fs::path(sys) / "bus/i2c/devices/0-002f" / subdir;
        fs::create_directories(dir);
        for (const auto &[name, value] : attrs)
            std::ofstream(dir / name) << value << "\n";
    }

    int read(const chip_layout &layout, hwmon_registers &regs) {
        return hwmon_read_registers(sys.c_str(), 0, 0x2f, layout, regs);
    }
};

void expect_registers(const hwmon_registers &regs, const registers &want, const char *name) {
    for (int reg = 0; reg < 256; reg++) {
        auto it = want.find(reg);
        EXPECT_EQ(regs[static_cast<size_t>(reg)], it == want.end() ? 0 : it->second)
            << name << ": register 0x" << std::hex << reg;
    }
}

TEST_F(Attributes, RecoversTheRegistersFromTheClientsOwnDirectoryOrItsHwmonDirectory) {
    for (const char *subdir : {"", "hwmon/hwmon3"}) {
        for (const chip_case &c : chip_cases) {
            fs::remove_all(root);
            fs::create_directories(root);
            publish(c.published, subdir);
            hwmon_registers regs;
            regs.fill(0xee);
            ASSERT_EQ(read(c.layout, regs), 0) << c.name << " in '" << subdir << "'";
            expect_registers(regs, c.want, c.name);
        }
    }
}

TEST_F(Attributes, AnAttributeThatCannotBeReadOrHoldsNoNumberFailsTheChip) {
    for (const char *bad : {"", "12x", "fast", "99999999999999999999999"}) {
        fs::remove_all(root);
        publish({{"in0_input", "392"}, {"temp1_input", bad}});
        hwmon_registers regs;
        EXPECT_EQ(read(w83793g_layout, regs), EINVAL) << "'" << bad << "'";
    }
    fs::remove_all(root);
    publish({{"in0_input", "392"}});
    fs::create_directories(fs::path(sys) / "bus/i2c/devices/0-002f/fan1_input"); // EISDIR
    hwmon_registers regs;
    EXPECT_EQ(read(w83793g_layout, regs), EISDIR);
}

// Every count the chip can hold, turned into the driver's RPM as the driver computes it
// (1350000 / (count * divisor), rounded down, 0 for no reading), recovered and converted by
// the reader again: the same RPM.
TEST(FanRecovery, EveryW83793CountReadsBackTheDriversRpm) {
    for (unsigned count = 0; count <= 0x0fff; count++) {
        long rpm = count == 0 || count == 0x0fff ? 0 : 1350000 / count;
        hwmon_registers regs{};
        hwmon_recover(w83793g_layout, hwmon_kind::fan, 7, rpm, regs);
        uint16_t back = static_cast<uint16_t>(regs[0x2F] << 8 | regs[0x30]);
        ASSERT_EQ(w83793g_rpmconv(back), static_cast<uint32_t>(rpm)) << "count " << count;
    }
}

TEST(FanRecovery, EveryW83792DCountAndDivisorReadsBackTheDriversRpm) {
    for (long code = 0; code < 8; code++) {
        for (unsigned count = 0; count <= 0xff; count++) {
            long div = 1L << code;
            long rpm = count == 0 ? -1 : count == 0xff ? 0 : 1350000 / (count * div);
            hwmon_registers regs{};
            // fan7: count 0xBE, divisor code in 0x9E bits 0-2.
            hwmon_recover(w83792d_layout, hwmon_kind::fan_div, 7, div, regs);
            hwmon_recover(w83792d_layout, hwmon_kind::fan, 7, rpm, regs);
            ASSERT_EQ(regs[0x9E], code);
            uint32_t want = rpm < 0 ? 0 : static_cast<uint32_t>(rpm);
            ASSERT_EQ(w83792d_rpmconv(regs[0xBE], w83792d_divisor(regs[0x9E] & 7)), want)
                << "count " << count << ", divisor " << div;
        }
    }
}

} // namespace
