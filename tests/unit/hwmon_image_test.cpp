// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The registers of a chip that a kernel driver holds, recovered from its attributes in a
// sysfs tree laid out in a temporary directory. The attribute values are what the kernel's
// w83793 and w83792d drivers published for the register images given in each case (read in
// the e2e VM from an i2c-stub chip).
#include "capture.h"
#include "chips/cells.h"
#include "chips/chip_tables.h"
#include "chips/conversions.h"
#include "platform/linux/hwmon_image.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using attributes = std::map<std::string, std::string>;
using registers = std::map<int, int>; // every register not listed must read 0

// Every attribute the driver of LAYOUT publishes with all fans on, each with the value that
// register content 0 gives (in7 and in8 of the W83793G sit 150 mV up), then CHANGES over
// them, less the attributes in ABSENT.
attributes all_of(const chip_layout &layout, const attributes &changes,
                  const std::vector<std::string> &absent = {}) {
    attributes a;
    for (size_t i = 0; i < layout.voltages.size(); i++)
        a["in" + std::to_string(i) + "_input"] = std::to_string(layout.voltages[i].offset_mv);
    for (size_t i = 1; i <= layout.temperatures.size(); i++)
        a["temp" + std::to_string(i) + "_input"] = "0";
    for (size_t i = 1; i <= layout.fans.size(); i++) {
        a["fan" + std::to_string(i) + "_input"] = "0";
        if (layout.fans[i - 1].divided)
            a["fan" + std::to_string(i) + "_div"] = "1";
    }
    for (const auto &[name, value] : changes)
        a[name] = value;
    for (const std::string &name : absent)
        a.erase(name);
    return a;
}

// all_of, and every limit and status attribute with the value that register content 0 gives,
// then CHANGES, less ABSENT and the limit and status attributes of the fans in ABSENT.
attributes with_limits(const chip_layout &layout, const attributes &changes,
                       const std::vector<std::string> &absent = {}) {
    attributes a = all_of(layout, {});
    for (size_t i = 0; i < layout.voltages.size(); i++) {
        const std::string in = "in" + std::to_string(i);
        a[in + "_min"] = a[in + "_max"] = std::to_string(layout.voltages[i].offset_mv);
        a[in + "_alarm"] = "0";
    }
    for (size_t i = 1; i <= layout.temperatures.size(); i++) {
        const std::string temp = "temp" + std::to_string(i);
        a[temp + "_max"] = a[temp + "_max_hyst"] = a[temp + "_alarm"] = "0";
        if (layout.temperatures[i - 1].has_warn)
            a[temp + "_warn"] = a[temp + "_warn_hyst"] = "0";
    }
    for (size_t i = 1; i <= layout.fans.size(); i++)
        a["fan" + std::to_string(i) + "_min"] = a["fan" + std::to_string(i) + "_alarm"] = "0";
    a["intrusion0_alarm"] = "0";
    for (const auto &[name, value] : changes)
        a[name] = value;
    for (const std::string &name : absent) {
        a.erase(name);
        if (name.starts_with("fan") && name.ends_with("_input")) {
            const std::string fan = name.substr(0, name.size() - 6);
            a.erase(fan + "_min");
            a.erase(fan + "_alarm");
        }
    }
    return a;
}

std::vector<std::string> fans(int first, int last, bool divisors) {
    std::vector<std::string> names;
    for (int i = first; i <= last; i++) {
        names.push_back("fan" + std::to_string(i) + "_input");
        if (divisors)
            names.push_back("fan" + std::to_string(i) + "_div");
    }
    return names;
}

struct chip_case {
    const char *name;
    const chip_layout &layout;
    attributes published;
    registers want;
};

const chip_case chip_cases[] = {
    {"w83793",
     w83793g_layout,
     all_of(w83793g_layout,
            {{"in0_input", "392"},      {"in1_input", "802"},      {"in2_input", "1612"},
             {"in3_input", "3600"},     {"in4_input", "832"},      {"in5_input", "1936"},
             {"in6_input", "736"},      {"in7_input", "3630"},     {"in8_input", "246"},
             {"in9_input", "656"},      {"temp1_input", "-16000"}, {"temp2_input", "-127750"},
             {"temp3_input", "-39250"}, {"temp4_input", "-4500"},  {"temp5_input", "-112000"},
             {"temp6_input", "127000"}, {"fan1_input", "0"},       {"fan4_input", "1350000"},
             {"fan6_input", "1146"},    {"fan12_input", "1131"}},
            fans(7, 11, false)),
     // 0x1B: the low bits of in0-in2 (0, 1, 2); the driver's 0x1B had 0xe4, whose top two
     // bits belong to no voltage input. A fan count comes back as the largest count of the
     // same reading (1177 reads 1146 RPM, as 1178 does). fan7-fan11 are off: not published.
     {{0x10, 0x31}, {0x11, 0x64}, {0x12, 0xc9}, {0x1B, 0x24}, {0x14, 0xe1}, {0x15, 0x34},
      {0x16, 0x79}, {0x17, 0x5c}, {0x18, 0x91}, {0x19, 0x04}, {0x1A, 0x29}, {0x1C, 0xf0},
      {0x1D, 0x81}, {0x1E, 0xd9}, {0x1F, 0xfc}, {0x20, 0x90}, {0x21, 0x7f}, {0x29, 0x00},
      {0x2A, 0x01}, {0x2D, 0x04}, {0x2E, 0x9a}, {0x39, 0x04}, {0x3A, 0xa9}}},
    {"w83793, quarter degrees", // 0x10 +0, 0x7f +3/4, 0x00 +1/4, 0x80 +2/4
     w83793g_layout,
     all_of(w83793g_layout, {{"temp1_input", "16000"},
                             {"temp2_input", "127750"},
                             {"temp3_input", "-250"},
                             {"temp4_input", "-128500"}}),
     {{0x1C, 0x10}, {0x1D, 0x7f}, {0x1F, 0x80}}},
    {"w83793, only the fans with pins of their own",
     w83793g_layout,
     all_of(w83793g_layout, {{"fan5_input", "1350000"}}, fans(6, 12, false)),
     {{0x2C, 0x01}}},
    {"w83792d",
     w83792d_layout,
     all_of(w83792d_layout,
            {{"in0_input", "424"},       {"in1_input", "1028"},     {"in2_input", "2256"},
             {"in3_input", "3720"},      {"in4_input", "1620"},     {"in5_input", "3332"},
             {"in6_input", "4536"},      {"in7_input", "906"},      {"in8_input", "256"},
             {"temp1_input", "-112000"}, {"temp2_input", "-15500"}, {"temp3_input", "-122500"},
             {"fan1_div", "32"},         {"fan2_div", "128"},       {"fan3_div", "1"},
             {"fan4_div", "16"},         {"fan5_div", "32"},        {"fan6_div", "16"},
             {"fan7_div", "8"},          {"fan1_input", "0"},       {"fan2_input", "-1"},
             {"fan3_input", "5696"},     {"fan4_input", "675"},     {"fan5_input", "351"},
             {"fan6_input", "992"},      {"fan7_input", "1757"}}),
     // The driver's 0x5B had 0xc0: its fan4 code 0xc reads as 4, as the readers take it.
     {{0x20, 0x35}, {0x21, 0x80}, {0x22, 0x8d}, {0x23, 0xe8}, {0x24, 0x65}, {0x25, 0xd0},
      {0x26, 0xbd}, {0x3E, 0x88}, {0x3F, 0xc5}, {0xB0, 0x25}, {0xB1, 0x10}, {0x27, 0x90},
      {0xC0, 0xf0}, {0xC8, 0x85}, {0x47, 0x75}, {0x5B, 0x40}, {0x5C, 0x45}, {0x9E, 0x03},
      {0x2A, 0xed}, {0xB8, 0x7d}, {0xB9, 0x78}, {0xBA, 0x55}, {0xBE, 0x60}}},
    {"w83792d, only the fans with pins of their own",
     w83792d_layout,
     all_of(w83792d_layout, {{"fan3_div", "2"}, {"fan3_input", "6750"}}, fans(4, 7, true)),
     {{0x5B, 0x01}, {0x2A, 0x64}}},
};

class Attributes : public ::testing::Test {
  protected:
    fs::path root;
    std::string sys;
    fs::path client;

    void SetUp() override {
        char tmpl[] = "/tmp/vantorel-hwmon-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        sys = (root / "sys").string();
        client = fs::path(sys) / "bus/i2c/devices/0-002f";
    }
    void TearDown() override {
        fs::remove_all(root);
    }

    // The client 0-002f bound to DRIVER, publishing ATTRS in SUBDIR of its directory ("" for
    // the client's own); its hwmon device is hwmon/hwmon3 either way.
    void publish(const char *driver, const attributes &attrs, const std::string &subdir = "") {
        fs::remove_all(root);
        fs::create_directories(client / "hwmon/hwmon3");
        fs::create_directory_symlink(std::string("../../../bus/i2c/drivers/") + driver,
                                     client / "driver");
        for (const auto &[name, value] : attrs)
            std::ofstream(client / subdir / name) << value << "\n";
    }

    int read(const chip_layout &layout, register_image &regs,
             chip_reading what = chip_reading::readings) {
        return hwmon_read_registers(sys.c_str(), 0, 0x2f, layout, what, regs);
    }
};

void expect_registers(const register_image &regs, const registers &want, const char *name) {
    for (int reg = 0; reg < 256; reg++) {
        auto it = want.find(reg);
        EXPECT_EQ(regs[static_cast<size_t>(reg)], it == want.end() ? 0 : it->second)
            << name << ": register 0x" << std::hex << reg;
    }
}

TEST_F(Attributes, RecoversTheRegistersFromTheClientsOwnDirectoryOrItsHwmonDirectory) {
    for (const char *subdir : {"", "hwmon/hwmon3"}) {
        for (const chip_case &c : chip_cases) {
            publish(c.layout.driver, c.published, subdir);
            register_image regs;
            regs.fill(0xee);
            std::string err = capture_stderr(
                [&] { ASSERT_EQ(read(c.layout, regs), 0) << c.name << " in '" << subdir << "'"; });
            EXPECT_EQ(err, "") << c.name;
            expect_registers(regs, c.want, c.name);
        }
    }
}

// The limit and status attributes, as the drivers published them for the register images
// given (the readings all 0), recovered into the limit and status registers; a run that does
// not read the limits leaves the same tree's limit registers at 0.
struct limits_case {
    const char *name;
    const chip_layout &layout;
    attributes published;
    registers want;
};

const limits_case limits_cases[] = {
    {"w83793",
     w83793g_layout,
     with_limits(w83793g_layout,
                 {{"in0_max", "1444"},
                  {"in0_min", "1122"},
                  {"in1_max", "134"},
                  {"in3_max", "2048"},
                  {"in3_min", "1024"},
                  {"in7_max", "5286"},
                  {"temp1_max", "90000"},
                  {"temp1_max_hyst", "85000"},
                  {"temp1_warn", "80000"},
                  {"temp1_warn_hyst", "75000"},
                  {"temp2_max", "-123000"},
                  {"fan1_min", "2000"},
                  {"fan12_min", "329"},
                  {"in0_alarm", "1"},
                  {"in3_alarm", "1"},
                  {"temp1_alarm", "1"},
                  {"fan1_alarm", "1"},
                  {"fan12_alarm", "1"},
                  {"intrusion0_alarm", "1"}},
                 fans(7, 11, false)),
     // in0 and in1 limits with their low bits in 0x68 (high) and 0x69 (low); fan7-fan11 off,
     // their minimums and status bits not published.
     {{0x60, 0xB4}, {0x61, 0x8C}, {0x62, 0x10}, {0x68, 0x0E}, {0x69, 0x01}, {0x6A, 0x80},
      {0x6B, 0x40}, {0x72, 0xD6}, {0x78, 0x5A}, {0x79, 0x55}, {0x7A, 0x50}, {0x7B, 0x4B},
      {0x7C, 0x85}, {0x90, 0x02}, {0x91, 0xA3}, {0xA6, 0x0F}, {0xA7, 0xFE}, {0x4B, 0x11},
      {0x4C, 0x10}, {0x4D, 0x04}, {0x4E, 0x60}}},
    {"w83792d",
     w83792d_layout,
     with_limits(w83792d_layout,
                 {{"in0_max", "1440"},         {"in0_min", "1120"},    {"in4_max", "3200"},
                  {"in4_min", "1600"},         {"in7_max", "5136"},    {"in7_min", "4656"},
                  {"in8_max", "3200"},         {"in8_min", "2560"},    {"temp1_max", "80000"},
                  {"temp1_max_hyst", "75000"}, {"temp2_max", "85500"}, {"temp2_max_hyst", "-15500"},
                  {"temp3_max", "127000"},     {"fan1_div", "2"},      {"fan1_min", "4500"},
                  {"fan2_min", "0"},           {"fan3_min", "-1"},     {"in0_alarm", "1"},
                  {"fan1_alarm", "1"},         {"in6_alarm", "1"},     {"fan7_alarm", "1"},
                  {"in7_alarm", "1"},          {"fan4_alarm", "1"},    {"intrusion0_alarm", "1"}}),
     // temp2's limits come back with their half degrees (bit 7 of 0xC6 and 0xC4): 85.5 is
     // 0x55 and the bit, -15.5 is 0xF0 (-16) and the bit, as the driver adds it upward.
     // fan2's minimum 0xFF and fan3's 0 are both no minimum, recovered as 0.
     {{0x2B, 0xB4}, {0x2C, 0x8C}, {0x33, 0xC8}, {0x34, 0x64}, {0xB4, 0xD6}, {0xB5, 0xC2},
      {0xB6, 0xC8}, {0xB7, 0xA0}, {0x39, 0x50}, {0x3A, 0x4B}, {0xC5, 0x55}, {0xC6, 0x80},
      {0xC3, 0xF0}, {0xC4, 0x80}, {0xCD, 0x7F}, {0x47, 0x01}, {0x3B, 0x96}, {0xA9, 0x21},
      {0xAA, 0x90}, {0xAB, 0x28}, {0x42, 0x20}}},
};

TEST_F(Attributes, RecoversTheLimitAndStatusRegistersOnlyForARunThatReadsThem) {
    for (const limits_case &c : limits_cases) {
        publish(c.layout.driver, c.published, "hwmon/hwmon3");
        register_image regs;
        std::string err = capture_stderr(
            [&] { ASSERT_EQ(read(c.layout, regs, chip_reading::with_limits), 0) << c.name; });
        EXPECT_EQ(err, "") << c.name;
        expect_registers(regs, c.want, c.name);

        // The divisor is a reading's register: it stays; no limit or status register is read.
        err = capture_stderr([&] { ASSERT_EQ(read(c.layout, regs), 0) << c.name; });
        EXPECT_EQ(err, "") << c.name;
        registers readings_only;
        if (c.want.contains(0x47))
            readings_only[0x47] = c.want.at(0x47);
        expect_registers(regs, readings_only, c.name);
    }
}

// A limit or status attribute that a run with limits cannot read fails the chip as a
// reading's does; a run without limits never opens one.
struct limit_failure_case {
    const char *what;
    const chip_layout &layout;
    attributes changes;
    std::vector<std::string> absent;
    int error;
    const char *says;
};

const limit_failure_case limit_failure_cases[] = {
    {"a voltage limit missing",
     w83793g_layout,
     {},
     {"in9_min"},
     ENOENT,
     "/in9_min: No such file or directory"},
    {"the warning level missing",
     w83793g_layout,
     {},
     {"temp6_warn_hyst"},
     ENOENT,
     "/temp6_warn_hyst: No such file or directory"},
    {"a status bit missing",
     w83792d_layout,
     {},
     {"temp3_alarm"},
     ENOENT,
     "/temp3_alarm: No such file or directory"},
    {"the case-open bit missing",
     w83792d_layout,
     {},
     {"intrusion0_alarm"},
     ENOENT,
     "/intrusion0_alarm: No such file or directory"},
    {"a fan minimum missing",
     w83793g_layout,
     {},
     {"fan2_min"},
     ENOENT,
     "/fan2_min: No such file or directory"},
    {"a status bit of 2",
     w83793g_layout,
     {{"fan1_alarm", "2"}},
     {},
     EINVAL,
     "/fan1_alarm: 2 is out of range for the chip"},
    {"a limit that is no number",
     w83792d_layout,
     {{"in2_max", "high"}},
     {},
     EINVAL,
     "/in2_max: \"high\" is not a number"},
    {"an 8-bit limit above its range",
     w83792d_layout,
     {{"in0_max", "2048"}},
     {},
     EINVAL,
     "/in0_max: 2048 is out of range for the chip"},
    {"a fan minimum slower than the largest count",
     w83793g_layout,
     {{"fan3_min", "328"}},
     {},
     EINVAL,
     "/fan3_min: 328 is out of range for the chip"},
};

TEST_F(Attributes, ALimitOrStatusAttributeThatCannotBeReadFailsTheChipWithLimitsOnly) {
    for (const limit_failure_case &c : limit_failure_cases) {
        publish(c.layout.driver, with_limits(c.layout, c.changes, c.absent));
        register_image regs;
        int error = 0;
        std::string err =
            capture_stderr([&] { error = read(c.layout, regs, chip_reading::with_limits); });
        EXPECT_EQ(error, c.error) << c.what;
        std::string says = std::string(": reading through the ") + c.layout.driver +
                           " driver: " + client.string() + c.says + "\n";
        EXPECT_TRUE(err.ends_with(says) && err.find('\n') == err.size() - 1)
            << c.what << ": stderr '" << err << "', want it to end '" << says << "'";
        err = capture_stderr([&] { error = read(c.layout, regs); });
        EXPECT_EQ(error, 0) << c.what << ": " << err;
    }
}

// Whatever keeps a register from being recovered fails the chip, with one line on standard
// error that names the file or directory and what is wrong with it.
struct failure_case {
    const char *what;
    const chip_layout &layout;
    attributes changes;              // over every attribute published with content 0
    std::vector<std::string> absent; // attributes not published
    int error;
    const char *says; // after "reading through the DRIVER driver: CLIENT"
    std::function<void(const fs::path &client)> damage = {};
};

// clang-format off
const failure_case failure_cases[] = {
    {"client directory missing", w83793g_layout, {}, {}, ENOENT,
     ": No such file or directory",
     [](const fs::path &c) { fs::remove_all(c); }},
    {"hwmon directory missing", w83793g_layout, {}, {}, ENOENT,
     "/hwmon: No such file or directory",
     [](const fs::path &c) { fs::remove_all(c / "hwmon"); }},
    {"hwmon no directory", w83792d_layout, {}, {}, ENOTDIR,
     "/hwmon: Not a directory",
     [](const fs::path &c) {
         fs::remove_all(c / "hwmon");
         std::ofstream(c / "hwmon") << "\n";
     }},
    {"in0 missing", w83793g_layout, {}, {"in0_input"}, ENOENT,
     "/in0_input: No such file or directory"},
    {"temp1 missing", w83792d_layout, {}, {"temp1_input"}, ENOENT,
     "/temp1_input: No such file or directory"},
    {"fan1 missing", w83793g_layout, {}, {"fan1_input"}, ENOENT,
     "/fan1_input: No such file or directory"},
    {"a temperature missing", w83793g_layout, {}, {"temp6_input"}, ENOENT,
     "/temp6_input: No such file or directory"},
    {"a fan with a pin of its own missing", w83793g_layout, {}, {"fan5_input"}, ENOENT,
     "/fan5_input: No such file or directory"},
    {"the divisor of such a fan missing", w83792d_layout, {}, {"fan3_div"}, ENOENT,
     "/fan3_div: No such file or directory"},
    {"the divisor of a fan that may be off missing", w83792d_layout, {}, {"fan5_div"}, ENOENT,
     "/fan5_div: No such file or directory"},
    {"an attribute that is a directory", w83793g_layout, {}, {"fan1_input"}, EISDIR,
     "/fan1_input: Is a directory",
     [](const fs::path &c) { fs::create_directory(c / "fan1_input"); }},
    {"empty", w83793g_layout, {{"temp1_input", ""}}, {}, EINVAL,
     "/temp1_input: \"\" is not a number"},
    {"trailing letters", w83793g_layout, {{"temp1_input", "12x"}}, {}, EINVAL,
     "/temp1_input: \"12x\" is not a number"},
    {"a word", w83792d_layout, {{"fan2_input", "fast"}}, {}, EINVAL,
     "/fan2_input: \"fast\" is not a number"},
    {"leading blank", w83793g_layout, {{"in3_input", " 12"}}, {}, EINVAL,
     "/in3_input: \" 12\" is not a number"},
    {"hexadecimal", w83793g_layout, {{"in3_input", "0x10"}}, {}, EINVAL,
     "/in3_input: \"0x10\" is not a number"},
    {"control bytes", w83793g_layout, {{"in3_input", "1\x01\x7f"}}, {}, EINVAL,
     "/in3_input: \"1??\" is not a number"},
    {"beyond a long", w83793g_layout, {{"temp1_input", "99999999999999999999999"}}, {}, EINVAL,
     "/temp1_input: \"99999999999999999999999\" is not a number"},
    {"too long to be a number", w83793g_layout,
     {{"in3_input", "0000000000000000000000000000000000000392"}}, {}, EINVAL,
     "/in3_input: \"0000000000000000000000000000000\" is not a number"},
    {"a voltage above the chip's range", w83793g_layout, {{"in0_input", "2048"}}, {}, EINVAL,
     "/in0_input: 2048 is out of range for the chip"},
    {"a voltage below its offset", w83793g_layout, {{"in7_input", "149"}}, {}, EINVAL,
     "/in7_input: 149 is out of range for the chip"},
    {"the lowest long as a voltage", w83793g_layout,
     {{"in8_input", "-9223372036854775808"}}, {}, EINVAL,
     "/in8_input: -9223372036854775808 is out of range for the chip"},
    {"a temperature above the chip's range", w83793g_layout, {{"temp1_input", "128000"}}, {},
     EINVAL,
     "/temp1_input: 128000 is out of range for the chip"},
    {"a temperature below it", w83792d_layout, {{"temp3_input", "-128500"}}, {}, EINVAL,
     "/temp3_input: -128500 is out of range for the chip"},
    {"a fan slower than the largest count", w83793g_layout, {{"fan2_input", "328"}}, {}, EINVAL,
     "/fan2_input: 328 is out of range for the chip"},
    {"the highest long as a divided fan", w83792d_layout,
     {{"fan7_div", "128"}, {"fan7_input", "9223372036854775807"}}, {}, EINVAL,
     "/fan7_input: 9223372036854775807 is out of range for the chip"},
    {"a negative fan speed", w83793g_layout, {{"fan1_input", "-2"}}, {}, EINVAL,
     "/fan1_input: -2 is out of range for the chip"},
    {"a divisor no code gives", w83792d_layout, {{"fan1_div", "3"}}, {}, EINVAL,
     "/fan1_div: 3 is out of range for the chip"},
    {"driver link gone", w83793g_layout, {}, {}, ENODEV,
     "/driver: the driver let go of the chip during the read",
     [](const fs::path &c) { fs::remove(c / "driver"); }},
    {"another driver bound", w83793g_layout, {}, {}, ENODEV,
     "/driver: the driver let go of the chip during the read",
     [](const fs::path &c) {
         fs::remove(c / "driver");
         fs::create_directory_symlink("../../../bus/i2c/drivers/w83792d", c / "driver");
     }},
};
// clang-format on

TEST_F(Attributes, WhatKeepsARegisterFromBeingRecoveredFailsTheChipNamingTheFile) {
    for (const failure_case &c : failure_cases) {
        publish(c.layout.driver, all_of(c.layout, c.changes, c.absent));
        if (c.damage)
            c.damage(client);
        register_image regs;
        int error = 0;
        std::string err = capture_stderr([&] { error = read(c.layout, regs); });
        EXPECT_EQ(error, c.error) << c.what;
        std::string says = std::string(": reading through the ") + c.layout.driver +
                           " driver: " + client.string() + c.says + "\n";
        EXPECT_TRUE(err.size() > says.size() && err.ends_with(says) &&
                    err.find('\n') == err.size() - 1)
            << c.what << ": stderr '" << err << "', want it to end '" << says << "'";
    }
}

// The edges of each kind's range: the outermost values that the chip's registers give, and
// the first beyond them on either side.
struct range_case {
    const chip_layout &layout;
    hwmon_kind kind;
    int index;
    long value;
    bool recovered;
};

const range_case range_cases[] = {
    {w83793g_layout, hwmon_kind::in, 0, 0, true},        // 0
    {w83793g_layout, hwmon_kind::in, 0, 2047, true},     // 1023 and a half steps
    {w83793g_layout, hwmon_kind::in, 0, 2048, false},    // 1024
    {w83793g_layout, hwmon_kind::in, 0, -1, false},      // below 0
    {w83793g_layout, hwmon_kind::in, 8, 150, true},      // 0x19 = 0: 150 mV
    {w83793g_layout, hwmon_kind::in, 8, 149, false},     // below the offset
    {w83793g_layout, hwmon_kind::in, 8, 6270, true},     // 0xff: 150 + 255 * 24
    {w83793g_layout, hwmon_kind::in, 8, 6294, false},    // 256 steps
    {w83793g_layout, hwmon_kind::in, 10, 0, false},      // no in10
    {w83793g_layout, hwmon_kind::temp, 1, 127750, true}, // 0x7f and three quarters
    {w83793g_layout, hwmon_kind::temp, 1, 128000, false},
    {w83793g_layout, hwmon_kind::temp, 1, -128750, true}, // 0x80 and three quarters
    {w83793g_layout, hwmon_kind::temp, 1, -129000, false},
    {w83793g_layout, hwmon_kind::temp, 0, 0, false}, // no temp0
    {w83792d_layout, hwmon_kind::temp, 3, 127500, true},
    {w83792d_layout, hwmon_kind::temp, 3, 128000, false},
    {w83792d_layout, hwmon_kind::temp, 3, -128000, true},
    {w83792d_layout, hwmon_kind::temp, 3, -128001, false},
    {w83793g_layout, hwmon_kind::fan, 1, 329, true}, // count 0x0ffe
    {w83793g_layout, hwmon_kind::fan, 1, 328, false},
    {w83793g_layout, hwmon_kind::fan, 1, 1350000, true}, // count 1
    {w83793g_layout, hwmon_kind::fan, 1, 1350001, false},
    {w83793g_layout, hwmon_kind::fan, 1, 0, true},
    {w83793g_layout, hwmon_kind::fan, 1, -2, false},
    {w83793g_layout, hwmon_kind::fan, 13, 0, false},     // no fan13
    {w83792d_layout, hwmon_kind::fan, 1, -1, true},      // count 0
    {w83792d_layout, hwmon_kind::fan, 1, 5314, true},    // count 0xfe, divisor 1
    {w83792d_layout, hwmon_kind::fan, 1, 5313, false},   // count 0xfe gives 5314
    {w83792d_layout, hwmon_kind::fan_div, 1, 128, true}, // code 7
    {w83792d_layout, hwmon_kind::fan_div, 1, 0, false},
    {w83792d_layout, hwmon_kind::fan_div, 1, 256, false},
    {w83792d_layout, hwmon_kind::fan_div, 1, 96, false},
    {w83793g_layout, hwmon_kind::fan_div, 1, 1, false}, // the W83793G divides no fan
    // Limits: 10-bit on the W83793G's in0-in2, 8-bit four steps a unit on the W83792D's 10-bit
    // inputs, 8-bit otherwise.
    {w83793g_layout, hwmon_kind::in_max, 0, 2046, true},  // 1023
    {w83793g_layout, hwmon_kind::in_max, 0, 2048, false}, // 1024
    {w83793g_layout, hwmon_kind::in_min, 3, 4080, true},  // 0xff * 16
    {w83793g_layout, hwmon_kind::in_min, 3, 4096, false},
    {w83793g_layout, hwmon_kind::in_min, 7, 149, false}, // below the offset
    {w83793g_layout, hwmon_kind::in_min, 7, 6270, true},
    {w83792d_layout, hwmon_kind::in_max, 0, 2040, true}, // 0xff * 4 * 2
    {w83792d_layout, hwmon_kind::in_max, 0, 2048, false},
    {w83792d_layout, hwmon_kind::in_max, 8, 4080, true}, // 0xff * 16
    {w83792d_layout, hwmon_kind::in_max, 8, 4096, false},
    {w83792d_layout, hwmon_kind::in_min, 9, 0, false}, // no in9
    {w83793g_layout, hwmon_kind::temp_warn_hyst, 6, -128000, true},
    {w83793g_layout, hwmon_kind::temp_warn, 6, 128000, false},
    {w83792d_layout, hwmon_kind::temp_warn, 1, 0, false}, // no warning level
    {w83792d_layout, hwmon_kind::temp_max_hyst, 2, -128000, true},
    {w83793g_layout, hwmon_kind::fan_min, 12, 329, true},
    {w83793g_layout, hwmon_kind::fan_min, 12, 328, false},
    {w83792d_layout, hwmon_kind::fan_min, 7, -1, true},
    {w83793g_layout, hwmon_kind::in_alarm, 9, 1, true},
    {w83793g_layout, hwmon_kind::in_alarm, 9, 2, false},
    {w83792d_layout, hwmon_kind::fan_alarm, 7, -1, false},
    {w83792d_layout, hwmon_kind::intrusion, 0, 1, true},
    {w83792d_layout, hwmon_kind::intrusion, 1, 1, false}, // intrusion0 only
};

TEST(Recovery, TakesTheValuesInTheRangeOfTheChipsRegistersOnly) {
    for (const range_case &c : range_cases) {
        register_image regs{};
        regs.fill(0x58); // divisor code 0 at the W83792D's fan1
        const register_image before = regs;
        bool recovered = hwmon_recover(c.layout, c.kind, c.index, c.value, regs);
        EXPECT_EQ(recovered, c.recovered) << c.layout.driver << " kind " << static_cast<int>(c.kind)
                                          << c.index << " = " << c.value;
        if (!recovered) {
            EXPECT_EQ(regs, before) << c.layout.driver << " " << c.index << " = " << c.value;
        }
    }
}

// Every count the chip can hold, turned into the driver's RPM as the driver computes it
// (1350000 / (count * divisor), rounded down, 0 for no reading), recovered and converted by
// the reader again: the same RPM.
TEST(FanRecovery, EveryW83793CountReadsBackTheDriversRpm) {
    for (unsigned count = 0; count <= 0x0fff; count++) {
        long rpm = count == 0 || count == 0x0fff ? 0 : 1350000 / count;
        register_image regs{};
        ASSERT_TRUE(hwmon_recover(w83793g_layout, hwmon_kind::fan, 7, rpm, regs));
        uint16_t back = static_cast<uint16_t>(regs[0x2F] << 8 | regs[0x30]);
        ASSERT_EQ(w83793g_rpmconv(back), static_cast<uint32_t>(rpm)) << "count " << count;
    }
}

TEST(FanRecovery, EveryW83792DCountAndDivisorReadsBackTheDriversRpm) {
    for (long code = 0; code < 8; code++) {
        for (unsigned count = 0; count <= 0xff; count++) {
            long div = 1L << code;
            long rpm = count == 0 ? -1 : count == 0xff ? 0 : 1350000 / (count * div);
            register_image regs{};
            // fan7: count 0xBE, divisor code in 0x9E bits 0-2.
            ASSERT_TRUE(hwmon_recover(w83792d_layout, hwmon_kind::fan_div, 7, div, regs));
            ASSERT_TRUE(hwmon_recover(w83792d_layout, hwmon_kind::fan, 7, rpm, regs));
            ASSERT_EQ(regs[0x9E], code);
            uint32_t want = rpm < 0 ? 0 : static_cast<uint32_t>(rpm);
            ASSERT_EQ(w83792d_rpmconv(regs[0xBE], w83792d_divisor(regs[0x9E] & 7)), want)
                << "count " << count << ", divisor " << div;
        }
    }
}

// Every limit register value of every voltage input, published as each driver computes it
// (the W83793G's scale times the limit's value, plus 150 mV on in7 and in8; the W83792D's
// scale times the 8-bit limit times four), comes back as the same register bytes.
TEST(LimitRecovery, EveryVoltageLimitComesBackAsItsRegisters) {
    const long w83793_scale[] = {2, 2, 2, 16, 16, 16, 8, 24, 24, 16};
    const long w83793_add[] = {0, 0, 0, 0, 0, 0, 0, 150, 150, 0};
    const long w83792d_scale[] = {2, 2, 4, 4, 4, 4, 6, 6, 4};
    for (int i = 0; i < 10; i++) {
        const voltage_input &in = w83793g_layout.voltages[static_cast<size_t>(i)];
        for (long value = 0; value <= (i < 3 ? 1023 : 255); value++) {
            register_image regs{};
            const long mv = value * w83793_scale[i] + w83793_add[i];
            ASSERT_TRUE(hwmon_recover(w83793g_layout, hwmon_kind::in_min, i, mv, regs));
            ASSERT_EQ(in.low_limit.value(regs), value) << "in" << i;
        }
    }
    for (int i = 0; i < 9; i++) {
        const voltage_input &in = w83792d_layout.voltages[static_cast<size_t>(i)];
        for (long reg = 0; reg <= 255; reg++) {
            register_image regs{};
            ASSERT_TRUE(hwmon_recover(w83792d_layout, hwmon_kind::in_max, i,
                                      reg * w83792d_scale[i] * 4, regs));
            ASSERT_EQ(regs[in.high_limit.reg], reg) << "in" << i;
        }
    }
}

// Every W83792D minimum count under every divisor: the driver's fanN_min recovered and
// converted as a limit gives the driver's value, and no minimum (0xff, and 0) none.
TEST(LimitRecovery, EveryW83792DFanMinimumReadsBackTheDriversRpm) {
    for (long code = 0; code < 8; code++)
        for (unsigned count = 0; count <= 0xff; count++) {
            const long div = 1L << code;
            const long rpm = count == 0 ? -1 : count == 0xff ? 0 : 1350000 / (count * div);
            register_image regs{};
            ASSERT_TRUE(hwmon_recover(w83792d_layout, hwmon_kind::fan_div, 2, div, regs));
            ASSERT_TRUE(hwmon_recover(w83792d_layout, hwmon_kind::fan_min, 2, rpm, regs));
            chip_limits l{};
            convert_limits(w83792d_cells, regs, l);
            EXPECT_EQ(l.fans[1].min.present, rpm > 0) << count << "/" << div;
            EXPECT_EQ(l.fans[1].min.value, rpm > 0 ? static_cast<uint32_t>(rpm) : 0u);
        }
}

} // namespace
