// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The three chip readers over the simulated bus: the conversions, the cell tables, the exact
// transactions, which cells each writes, and what a bus failure leaves behind.
#include "capture.h"
#include "chip_facts.h"
#include "chips/cells.h"
#include "chips/chip_tables.h"
#include "chips/chips.h"
#include "chips/readers.h"
#include "chips/conversions.h"
#include "registers/registers.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <span>
#include <tuple>
#include <string>
#include <sysexits.h>
#include <vector>

namespace {

// --- conversions ---

TEST(W83792dDivisor, IsTwoToTheCodeAndTwoBeyondThreeBits) {
    const unsigned expected[] = {1, 2, 4, 8, 16, 32, 64, 128, 2, 2};
    for (unsigned code = 0; code < 10; code++)
        EXPECT_EQ(w83792d_divisor(static_cast<uint8_t>(code)), expected[code]) << code;
}

struct rpm792 {
    uint8_t count;
    uint32_t div;
    uint32_t rpm;
};

TEST(W83792dRpm, Cases) {
    const rpm792 cases[] = {
        {0x96, 2, 4500}, {1, 1, 1350000}, {0xfe, 128, 41}, {0, 4, 0},
        {0xff, 1, 0},    {0xff, 128, 0},  {0x80, 0, 0},    {0xfe, 1, 5314},
    };
    for (const rpm792 &c : cases)
        EXPECT_EQ(w83792d_rpmconv(c.count, c.div), c.rpm) << int(c.count) << "/" << c.div;
}

TEST(W83793gTempadj, NonPositiveSignedReadingsShowAsZero) {
    const std::pair<uint8_t, uint8_t> cases[] = {{0x00, 0}, {0x01, 1}, {0x26, 38}, {0x7f, 127},
                                                 {0x80, 0}, {0x85, 0}, {0xff, 0}};
    for (auto [raw, t] : cases)
        EXPECT_EQ(w83793g_tempadj(raw), t) << int(raw);
}

TEST(W83793gRpm, OnlyZeroAndFfffHexFourBitsMeanNoReading) {
    const std::pair<uint16_t, uint32_t> cases[] = {{0, 0},        {1, 1350000},   {0x01c2, 3000},
                                                   {0x0ffe, 329}, {0x0fff, 0},    {0x1000, 329},
                                                   {0xffff, 20},  {0x00ff, 5294}, {0x0100, 5273}};
    for (auto [count, rpm] : cases)
        EXPECT_EQ(w83793g_rpmconv(count), rpm) << count;
}

TEST(ConversionTrace, ShowsArgumentsAndResultsInTheirWidths) {
    EXPECT_EQ(capture_traced(true,
                             [] {
                                 w83792d_rpmconv(0x96, w83792d_divisor(1));
                                 w83792d_divisor(7);
                                 w83792d_rpmconv(0x10, 128);
                             }),
              "==> w83792d_divisor(raw = 0x01)\n"
              "==> w83792d_divisor() returning 0x02\n"
              "==> w83792d_rpmconv(count = 0x96, div = 2)\n"
              "==> w83792d_rpmconv() returning 0x00001194\n"
              "==> w83792d_divisor(raw = 0x07)\n"
              "==> w83792d_divisor() returning 0x80\n"
              "==> w83792d_rpmconv(count = 0x10, div = 128)\n"
              "==> w83792d_rpmconv() returning 0x00000293\n");
    EXPECT_EQ(capture_traced(true,
                             [] {
                                 w83793g_tempadj(0x26);
                                 w83793g_tempadj(0x85);
                                 w83793g_rpmconv(0x01c2);
                                 w83793g_rpmconv(0x0fff);
                             }),
              "==> w83793g_tempadj(raw = 0x26)\n"
              "==> w83793g_tempadj() returning 0x26\n"
              "==> w83793g_tempadj(raw = 0x85)\n"
              "==> w83793g_tempadj() returning 0x00\n"
              "==> w83793g_rpmconv(count = 0x01c2)\n"
              "==> w83793g_rpmconv() returning 0x00000bb8\n"
              "==> w83793g_rpmconv(count = 0x0fff)\n"
              "==> w83793g_rpmconv() returning 0x00000000\n");
}

// --- readers over the simulated bus ---

constexpr double sentinel = 777.0;

readings sentinel_filled() {
    readings s;
    for (double &v : s.voltages)
        v = sentinel;
    for (uint64_t &t : s.temps)
        t = 777;
    for (uint32_t &f : s.fans)
        f = 777;
    return s;
}

struct cells {
    std::set<unsigned> volts, temps, fans;
    bool operator==(const cells &) const = default;
};

cells filled_by(chip_kind kind) {
    const chip_facts &f = facts_of(kind);
    return {f.volts, f.temps, f.fans};
}

cells changed(const readings &s) {
    cells c;
    for (unsigned i = 0; i < 15; i++)
        if (s.voltages[i] != sentinel)
            c.volts.insert(i);
    for (unsigned i = 0; i < 6; i++)
        if (s.temps[i] != 777)
            c.temps.insert(i);
    for (unsigned i = 0; i < 12; i++)
        if (s.fans[i] != 777)
            c.fans.insert(i);
    return c;
}

std::vector<std::pair<int, int>> reads() {
    std::vector<std::pair<int, int>> r;
    for (size_t i = 0; i < sim_log_size(); i++) {
        EXPECT_FALSE(sim_log_entry(i).write);
        r.emplace_back(sim_log_entry(i).addr, sim_log_entry(i).reg);
    }
    return r;
}

void fill_chip(int addr, uint8_t value) {
    for (int r = 0; r < 256; r++)
        sim_set_reg(addr, static_cast<uint8_t>(r), value);
}

// Runs the reader of KIND, its chip at 0x2f where it takes an address.
int read_kind(chip_kind kind, bus_handle &bus, readings &s,
              chip_reading what = chip_reading::readings) {
    switch (kind) {
    case chip_kind::w83793g:
        return read_winbond(bus, 0x2f, w83793g_chip, s, what);
    case chip_kind::w83792d:
        return read_winbond(bus, 0x2f, w83792d_chip, s, what);
    case chip_kind::x6dva:
        break;
    }
    return read_x6dva(bus, s, what);
}

class Reader : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
    }
    bus_handle bus{3};
};

TEST_F(Reader, W83793gReadsTheBlockOnceInOrderAndWritesItsCells) {
    sim_add_chip(0x2f);
    readings s = sentinel_filled();
    EXPECT_EQ(read_winbond(bus, 0x2f, w83793g_chip, s, chip_reading::readings), 0);
    EXPECT_EQ(reads(), facts_of(chip_kind::w83793g).reads);
    EXPECT_EQ(changed(s), filled_by(chip_kind::w83793g));
}

std::string fixed3(double v) {
    char buf[32];
    snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

// A chip that answers the same byte for every register, cell by cell as the reports print
// it: the fixed offsets, the negative zero of a negated zero, the signed and unsigned
// temperatures, the no-reading counts. Cells that the reader does not fill stay 0.
struct uniform_case {
    const char *name;
    chip_kind kind;
    uint8_t fill;
    std::vector<std::pair<unsigned, const char *>> volts;
    std::vector<uint64_t> temps; // temps[0], temps[1], ...
    std::vector<uint32_t> fans;  // fans[0], fans[1], ...
};

TEST_F(Reader, UniformChips) {
    const uniform_case cases[] = {
        {"W83793G all zero",
         chip_kind::w83793g,
         0x00,
         {{0, "0.000"},
          {1, "0.000"},
          {2, "0.000"},
          {3, "-0.000"},
          {4, "0.000"},
          {5, "0.000"},
          {6, "0.000"},
          {7, "0.150"},
          {9, "0.150"},
          {10, "0.000"}},
         {0, 0, 0, 0, 0, 0},
         std::vector<uint32_t>(12, 0)},
        {"W83793G all ones",
         chip_kind::w83793g,
         0xff,
         {{0, "2.046"},
          {1, "2.046"},
          {2, "2.046"},
          {3, "-97.920"},
          {4, "4.080"},
          {5, "4.080"},
          {6, "24.480"},
          {7, "6.270"},
          {9, "6.270"},
          {10, "4.080"},
          {8, "0.000"},
          {11, "0.000"}},
         {0, 0, 0, 0, 255, 255},
         std::vector<uint32_t>(12, 20)},
        {"W83792D all zero",
         chip_kind::w83792d,
         0x00,
         {{0, "0.000"}, {7, "0.000"}, {13, "-0.000"}, {14, "0.000"}},
         {0, 0, 0},
         std::vector<uint32_t>(7, 0)},
        {"W83792D all ones",
         chip_kind::w83792d,
         0xff,
         {{0, "2.046"},
          {1, "2.046"},
          {7, "6.120"},
          {8, "6.138"},
          {10, "4.080"},
          {11, "4.092"},
          {12, "4.092"},
          {13, "-98.208"},
          {14, "16.368"},
          {2, "0.000"}},
         {255, 255, 255, 0},
         std::vector<uint32_t>(7, 0)}, // 0xff counts are no reading
        {"X6DVA all ones",
         chip_kind::x6dva,
         0xff,
         {{11, "255.000"},
          {12, "255.000"},
          {13, "255.000"},
          {14, "255.000"},
          {6, "255.000"},
          {3, "-255.000"},
          {0, "2.046"},
          {1, "2.046"}},
         {255, 255, 255, 0},
         {0, 0, 0, 0, 0, 0, 0}},
    };
    for (const uniform_case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_reset();
        fill_chip(0x2c, c.fill);
        fill_chip(0x2f, c.fill);
        readings s{};
        EXPECT_EQ(read_kind(c.kind, bus, s), 0);
        for (auto [i, text] : c.volts)
            EXPECT_EQ(fixed3(s.voltages[i]), text) << "voltages[" << i << "]";
        for (size_t i = 0; i < c.temps.size(); i++)
            EXPECT_EQ(s.temps[i], c.temps[i]) << "temps[" << i << "]";
        for (size_t i = 0; i < c.fans.size(); i++)
            EXPECT_EQ(s.fans[i], c.fans[i]) << "fans[" << i << "]";
    }
}

TEST_F(Reader, W83793gTakesLowBitsFromOneRegisterAndPairsFanBytesHighFirst) {
    sim_set_reg(0x2f, 0x10, 0x96);
    sim_set_reg(0x2f, 0x11, 0x96);
    sim_set_reg(0x2f, 0x1b, 0x01);
    sim_set_reg(0x2f, 0x18, 0xcd); // feeds voltages[9]
    sim_set_reg(0x2f, 0x19, 0xc8); // feeds voltages[7]
    sim_set_reg(0x2f, 0x1c, 0x26);
    sim_set_reg(0x2f, 0x1d, 0x85);
    sim_set_reg(0x2f, 0x20, 0x90); // unadjusted: 144
    sim_set_reg(0x2f, 0x23, 0x01);
    sim_set_reg(0x2f, 0x24, 0xc2);
    sim_set_reg(0x2f, 0x25, 0x0f);
    sim_set_reg(0x2f, 0x26, 0xff);
    sim_set_reg(0x2f, 0x39, 0x02);
    sim_set_reg(0x2f, 0x3a, 0x1c);
    readings s{};
    read_winbond(bus, 0x2f, w83793g_chip, s, chip_reading::readings);
    EXPECT_EQ(fixed3(s.voltages[0]), "1.202");
    EXPECT_EQ(fixed3(s.voltages[1]), "1.200");
    EXPECT_EQ(fixed3(s.voltages[7]), "4.950");
    EXPECT_EQ(fixed3(s.voltages[9]), "5.070");
    EXPECT_EQ(s.temps[0], 38u);
    EXPECT_EQ(s.temps[1], 0u);
    EXPECT_EQ(s.temps[4], 144u);
    EXPECT_EQ(s.fans[0], 3000u);
    EXPECT_EQ(s.fans[1], 0u);
    EXPECT_EQ(s.fans[11], 2500u); // 0x021c = 540

    sim_set_reg(0x2f, 0x1b, 0x04); // the low bits move from voltages[0] to voltages[1]
    read_winbond(bus, 0x2f, w83793g_chip, s, chip_reading::readings);
    EXPECT_EQ(fixed3(s.voltages[0]), "1.200");
    EXPECT_EQ(fixed3(s.voltages[1]), "1.202");
}

TEST_F(Reader, W83793gTraceOrder) {
    sim_set_reg(0x2f, 0x1c, 0x26);
    readings s{};
    std::string out = capture_traced(
        true, [&] { read_winbond(bus, 0x2f, w83793g_chip, s, chip_reading::readings); });
    char head[96];
    snprintf(head, sizeof head,
             "==> w83793g_main(fd = 3, slave = 0x2f, s = %p)\n"
             "==> read_byte(fd = 3, slave = 0x2f, idxreg = 0x10)\n",
             static_cast<void *>(&s));
    EXPECT_TRUE(out.starts_with(head)) << out;
    // 43 reads, then four tempadj pairs, then twelve rpmconv pairs, then the return.
    EXPECT_NE(out.find("idxreg = 0x3a)\n==> read_byte() returning 0x00\n"
                       "==> w83793g_tempadj(raw = 0x26)\n==> w83793g_tempadj() returning 0x26\n"),
              std::string::npos);
    EXPECT_TRUE(out.ends_with("==> w83793g_rpmconv(count = 0x0000)\n"
                              "==> w83793g_rpmconv() returning 0x00000000\n"
                              "==> w83793g_main() returning\n"));
    size_t lines = 0;
    for (char c : out)
        lines += c == '\n';
    EXPECT_EQ(lines, 1 + 2 * facts_of(chip_kind::w83793g).reads.size() + 2 * 4 + 2 * 12 + 1u);
}

TEST_F(Reader, W83792dReadsItsRegisterListAndWritesItsCells) {
    sim_add_chip(0x2f);
    readings s = sentinel_filled();
    EXPECT_EQ(read_winbond(bus, 0x2f, w83792d_chip, s, chip_reading::readings), 0);
    EXPECT_EQ(reads(), facts_of(chip_kind::w83792d).reads);
    EXPECT_EQ(changed(s), filled_by(chip_kind::w83792d));
    EXPECT_TRUE(std::signbit(s.voltages[13]));
}

TEST_F(Reader, W83792dPacksLowBitsAndPicksEachFansDivisor) {
    sim_set_reg(0x2f, 0x20, 0x96); // voltages[0]: 0x96*4 + 3 = 603
    sim_set_reg(0x2f, 0x3e, 0b00011011);
    sim_set_reg(0x2f, 0x25, 0xbc); // voltages[14]: 0xbc*4 + 2 = 754
    sim_set_reg(0x2f, 0x3f, 0b00001000);
    sim_set_reg(0x2f, 0x28, 0x96); // fan 0, code 1
    sim_set_reg(0x2f, 0x29, 0x96); // fan 1, code 3
    sim_set_reg(0x2f, 0x47, 0x31);
    sim_set_reg(0x2f, 0xba, 0x87); // fan 5, code 2 from 0x5C bits 6-4
    sim_set_reg(0x2f, 0x5c, 0x20);
    sim_set_reg(0x2f, 0xbe, 0x87); // fan 6, code 0 from 0x9E
    sim_set_reg(0x2f, 0x27, 0x90);
    readings s{};
    read_winbond(bus, 0x2f, w83792d_chip, s, chip_reading::readings);
    EXPECT_EQ(fixed3(s.voltages[0]), "1.206");
    EXPECT_EQ(fixed3(s.voltages[1]), "0.004");  // 0x21 = 0, bits 3-2 of 0x3E = 2
    EXPECT_EQ(fixed3(s.voltages[11]), "0.004"); // bits 5-4 = 1
    EXPECT_EQ(fixed3(s.voltages[14]), "12.064");
    EXPECT_EQ(s.fans[0], 4500u);
    EXPECT_EQ(s.fans[1], 1125u);
    EXPECT_EQ(s.fans[5], 2500u);
    EXPECT_EQ(s.fans[6], 10000u);
    EXPECT_EQ(s.temps[0], 144u);
}

TEST_F(Reader, X6dvaReadsBothChipsAtFixedAddressesAndWritesItsCells) {
    sim_add_chip(0x2c);
    sim_add_chip(0x2f);
    readings s = sentinel_filled();
    EXPECT_EQ(read_x6dva(bus, s, chip_reading::readings), 0);
    EXPECT_EQ(reads(), facts_of(chip_kind::x6dva).reads);
    EXPECT_EQ(changed(s), filled_by(chip_kind::x6dva));
    EXPECT_TRUE(std::signbit(s.voltages[3]));
}

TEST_F(Reader, X6dvaStoresFirstChipValuesUnscaled) {
    const std::pair<int, int> first[] = {{0x20, 15}, {0x21, 33},  {0x22, 34}, {0x23, 50},
                                         {0x24, 93}, {0x25, 120}, {0x27, 31}};
    for (auto [r, v] : first)
        sim_set_reg(0x2c, static_cast<uint8_t>(r), static_cast<uint8_t>(v));
    sim_set_reg(0x2f, 0x20, 0x96);
    sim_set_reg(0x2f, 0x3e, 0x01);
    sim_set_reg(0x2f, 0xc0, 0x2a);
    sim_set_reg(0x2f, 0xb9, 0x96); // fan 4, code 1 from 0x5C
    sim_set_reg(0x2f, 0x5c, 0x01);
    readings s{};
    read_x6dva(bus, s, chip_reading::readings);
    EXPECT_EQ(s.voltages[11], 15.0);
    EXPECT_EQ(s.voltages[12], 33.0);
    EXPECT_EQ(s.voltages[13], 34.0);
    EXPECT_EQ(s.voltages[14], 50.0);
    EXPECT_EQ(s.voltages[6], 93.0);
    EXPECT_EQ(s.voltages[3], -120.0);
    EXPECT_EQ(s.temps[0], 31u);
    EXPECT_EQ(fixed3(s.voltages[0]), "1.202");
    EXPECT_EQ(s.temps[1], 42u);
    EXPECT_EQ(s.fans[4], 4500u);
}

// --- the cell tables ---

// A register that holds a value on a cell's scale converts through the cell as the reading
// does: with only the cells' reading registers set (low bits and divisor codes 0), every
// cell the reader fills equals the cell's conversion of that register's value.
TEST_F(Reader, EachCellConvertsItsRegisterAsTheReaderDoes) {
    struct table_case {
        const char *name;
        chip_kind kind;
        const chip_cells &cells;
        int addr;
    };
    const table_case tables[] = {{"W83792D", chip_kind::w83792d, w83792d_cells, 0x2f},
                                 {"W83793G", chip_kind::w83793g, w83793g_cells, 0x2f},
                                 {"X6DVA at 0x2f", chip_kind::x6dva, x6dva_second_cells, 0x2f}};
    for (const table_case &t : tables)
        for (int v : {0x00, 0x01, 0x5d, 0x80, 0xff}) {
            SCOPED_TRACE(::testing::Message() << t.name << ", registers at " << v);
            const uint8_t raw = static_cast<uint8_t>(v);
            const chip_layout &layout = t.cells.layout;
            sim_reset();
            sim_add_chip(0x2c);
            for (const voltage_cell &c : t.cells.voltages)
                sim_set_reg(t.addr, layout.voltages[c.input].reading.reg, raw);
            for (const temperature_cell &c : t.cells.temperatures)
                sim_set_reg(t.addr, layout.temperatures[c.input].reading.reg, raw);
            for (const fan_cell &c : t.cells.fans)
                sim_set_reg(t.addr, layout.fans[c.input].count.reg, raw);
            readings s{};
            ASSERT_EQ(read_kind(t.kind, bus, s), 0);
            for (const voltage_cell &c : t.cells.voltages) {
                // A 10-bit input's value is its register times four, the low bits being 0;
                // the cell that takes the register alone, the register's value.
                const unsigned low_bits =
                    c.high_byte_only ? 0u : layout.voltages[c.input].reading.low_bits;
                const double want = convert(c, raw << low_bits);
                EXPECT_EQ(memcmp(&s.voltages[c.cell], &want, sizeof want), 0)
                    << "voltages[" << int{c.cell} << "] " << s.voltages[c.cell] << " " << want;
            }
            for (const temperature_cell &c : t.cells.temperatures)
                EXPECT_EQ(s.temps[c.cell], convert(c, raw)) << "temps[" << int{c.cell} << "]";
            for (const fan_cell &c : t.cells.fans) {
                const fan_input &f = layout.fans[c.input];
                EXPECT_EQ(s.fans[c.cell], convert(f, raw << f.count.low_bits, 0))
                    << "fans[" << int{c.cell} << "]";
            }
        }
}

// The conversions on their own, at values whose results the chips' boards fix: the order of
// a cell's steps (bit for bit), the offset, the sign of a negated zero, the clamped signed
// temperature, both kinds of fan count.
TEST(CellConversion, GivesWhatTheBoardReportsAtThatValue) {
    const voltage_cell &minus12 = w83793g_voltage_cells[3], &five_vsb = w83793g_voltage_cells[7];
    EXPECT_EQ(convert(minus12, 9), (9 * 0.032) * -12.0);
    EXPECT_NE(convert(minus12, 9), 9 * (0.032 * -12.0)) << "two steps, not one";
    EXPECT_TRUE(std::signbit(convert(minus12, 0)));
    EXPECT_EQ(convert(five_vsb, 0), 0.15);
    EXPECT_EQ(fixed3(convert(five_vsb, 200)), "4.950");
    EXPECT_EQ(fixed3(convert(w83792d_voltage_cells[0], 603)), "1.206");
    EXPECT_TRUE(std::signbit(convert(x6dva_first_voltage_cells[5], 0)));
    EXPECT_EQ(convert(x6dva_first_voltage_cells[5], 120), -120.0);
    EXPECT_EQ(convert(x6dva_first_voltage_cells[0], 93), 93.0);

    EXPECT_EQ(convert(w83793g_temperature_cells[0], 0x85), 0u);
    EXPECT_EQ(convert(w83793g_temperature_cells[0], 0x26), 38u);
    EXPECT_EQ(convert(w83793g_temperature_cells[4], 0x85), 0x85u);

    EXPECT_EQ(convert(w83792d_layout.fans[0], 0x96, 1), 4500u);
    EXPECT_EQ(convert(w83792d_layout.fans[0], 0xff, 1), 0u);
    EXPECT_EQ(convert(w83793g_layout.fans[0], 0x01c2, 0), 3000u);
    EXPECT_EQ(convert(w83793g_layout.fans[0], 0x0fff, 0), 0u);
}

// --- limits and status bits ---

// Each cell's limits are its reading at the limit registers' values: for any content of the
// limit registers, a limit equals what convert_cells gives for a chip whose reading registers
// hold the limit's bytes (a 10-bit limit's low bits in the reading's low bits; an 8-bit
// limit of a 10-bit input with low bits 0; a fan's minimum count under the reading's divisor).
// A voltage's min is the reading at its low limit and its max the one at its high limit,
// swapped on a rail whose conversion turns the scale around (negative gain); never sorted, so
// that the window is meant (max above min) exactly where the chip's high register lies above
// its low one.
TEST(CellLimits, EachLimitIsTheReadingItsCellGivesForTheLimitsRegisters) {
    struct table_case {
        const char *name;
        const chip_cells &cells;
    };
    const table_case tables[] = {{"W83792D", w83792d_cells},
                                 {"W83793G", w83793g_cells},
                                 {"X6DVA at 0x2f", x6dva_second_cells}};
    // Register contents: uniform bytes, and a spread that gives high and low limits apart.
    std::vector<register_image> images;
    for (int v : {0x00, 0x01, 0x5d, 0x80, 0xfe, 0xff}) {
        register_image image;
        image.fill(static_cast<uint8_t>(v));
        images.push_back(image);
    }
    register_image spread;
    for (size_t r = 0; r < spread.size(); r++)
        spread[r] = static_cast<uint8_t>(r * 37 + 11);
    images.push_back(spread);

    // The spread's limits the other way round: every window inverted that was not.
    register_image swapped = spread;
    for (const table_case &t : tables)
        for (const voltage_cell &c : t.cells.voltages) {
            const register_field high = field_of(t.cells.layout, c, voltage_value::high_limit);
            const register_field low = field_of(t.cells.layout, c, voltage_value::low_limit);
            const unsigned h = high.value(spread), l = low.value(spread);
            EXPECT_TRUE(high.store(l, swapped) && low.store(h, swapped));
        }
    images.push_back(swapped);

    for (const table_case &t : tables)
        for (const register_image &image : images) {
            SCOPED_TRACE(::testing::Message()
                         << t.name << ", register 0x60 at " << int{image[0x60]});
            const chip_layout &layout = t.cells.layout;
            chip_limits got{};
            convert_limits(t.cells, image, got);

            // The readings that a chip would give whose reading registers held the high
            // (HIGH) or low voltage limits, temperature limit LEVEL (max, max_hyst, warn,
            // warn_hyst) and the fans' minimums.
            auto reading_at = [&](bool high, int level) {
                register_image r = image;
                for (const voltage_cell &c : t.cells.voltages) {
                    const voltage_input &in = layout.voltages[c.input];
                    const register_field &limit = high ? in.high_limit : in.low_limit;
                    EXPECT_TRUE(in.reading.store(limit.value(image), r));
                }
                for (const temperature_cell &c : t.cells.temperatures) {
                    const temperature_input &in = layout.temperatures[c.input];
                    const register_field levels[] = {in.max, in.max_hyst, in.warn, in.warn_hyst};
                    EXPECT_TRUE(in.reading.store(levels[level].high_byte().value(image), r));
                }
                for (const fan_cell &c : t.cells.fans) {
                    const fan_input &f = layout.fans[c.input];
                    EXPECT_TRUE(f.count.store(f.min.value(image), r));
                }
                readings s{};
                convert_cells(t.cells, r, s);
                return s;
            };
            const readings high = reading_at(true, 0), low = reading_at(false, 0);
            for (const voltage_cell &c : t.cells.voltages) {
                SCOPED_TRACE(::testing::Message() << "voltages[" << int{c.cell} << "]");
                const voltage_limits &v = got.voltages[c.cell];
                const double a = high.voltages[c.cell], b = low.voltages[c.cell];
                const bool turned = c.gain < 0;
                ASSERT_TRUE(v.min.present && v.max.present);
                EXPECT_EQ(v.min.value, turned ? a : b);
                EXPECT_EQ(v.max.value, turned ? b : a);
                const unsigned high_reg =
                    field_of(layout, c, voltage_value::high_limit).value(image);
                const unsigned low_reg = field_of(layout, c, voltage_value::low_limit).value(image);
                EXPECT_EQ(v.max.value > v.min.value, high_reg > low_reg);
            }
            for (int level = 0; level < 4; level++) {
                const readings at = reading_at(true, level);
                for (const temperature_cell &c : t.cells.temperatures) {
                    const temperature_limits &tl = got.temps[c.cell];
                    const limit<double> levels[] = {tl.max, tl.max_hyst, tl.warn, tl.warn_hyst};
                    const temperature_input &in = layout.temperatures[c.input];
                    const register_field fields[] = {in.max, in.max_hyst, in.warn, in.warn_hyst};
                    const register_field &f = fields[level];
                    // The signed reading of the limit's whole-degree register, and its half
                    // degree where it has one.
                    const double half =
                        f.low_bits == 1 ? 0.5 * ((image[f.low_reg] >> f.low_shift) & 1) : 0.0;
                    const bool has = level < 2 || in.has_warn;
                    EXPECT_EQ(levels[level].present, has);
                    EXPECT_EQ(levels[level].value, has ? at.celsius[c.cell] + half : 0.0)
                        << "temps[" << int{c.cell} << "] level " << level;
                }
            }
            for (const fan_cell &c : t.cells.fans) {
                const unsigned count = layout.fans[c.input].min.value(image);
                const bool none = count == 0 || count >= layout.no_reading_count;
                EXPECT_EQ(got.fans[c.cell].min.present, !none) << "fans[" << int{c.cell} << "]";
                EXPECT_EQ(got.fans[c.cell].min.value, none ? 0u : high.fans[c.cell]);
            }
        }
}

// What keeps a window's order the registers' order: every voltage cell converts each value
// its limit registers can hold to a value of its own, in the registers' order (or against it,
// on a rail whose gain is negative), so no two register values meet in one limit.
TEST(CellLimits, EveryVoltageCellConvertsInTheRegistersOrder) {
    const chip_cells tables[] = {w83792d_cells, w83793g_cells, x6dva_second_cells};
    for (const chip_cells &t : tables)
        for (const voltage_cell &c : t.voltages)
            for (voltage_value which : {voltage_value::high_limit, voltage_value::low_limit}) {
                const register_field f = field_of(t.layout, c, which);
                const unsigned step = f.low_zero ? 1u << f.low_bits : 1u;
                for (unsigned v = step; v <= f.max(); v += step) {
                    const double before = convert(c, v - step), now = convert(c, v);
                    if (c.gain < 0 ? !(now < before) : !(now > before)) {
                        ADD_FAILURE() << "cell " << int{c.cell} << " at " << v;
                        break;
                    }
                }
            }
}

// A window that the chip holds inverted (its high register under its low one) stays inverted,
// max under min, on a positive rail and on a negative one; equal registers give equal
// limits. The chip flags every value of such a rail, and shows what it compares with.
TEST(CellLimits, AnInvertedWindowIsKeptAsTheChipHoldsIt) {
    register_image image{};
    image[0x60] = 0x50; // W83793G in0 (Vcore) high 0x50 * 4: 0.640 V
    image[0x61] = 0x70; // low 0x70 * 4: 0.896 V
    image[0x6A] = 0x1C; // in3 (the -12V cell) high 0x1C: -10.752 V
    image[0x6B] = 0x22; // low 0x22: -13.056 V
    image[0x6C] = 0x40; // in4 high and low both 0x40
    image[0x6D] = 0x40;
    chip_limits l{};
    convert_limits(w83793g_cells, image, l);
    EXPECT_EQ(fixed3(l.voltages[0].min.value), "0.896");
    EXPECT_EQ(fixed3(l.voltages[0].max.value), "0.640");
    EXPECT_EQ(fixed3(l.voltages[3].min.value), "-10.752");
    EXPECT_EQ(fixed3(l.voltages[3].max.value), "-13.056");
    EXPECT_EQ(l.voltages[4].min.value, l.voltages[4].max.value);

    image = {};
    image[0x33] = 0x64; // W83792D in4 (the -12V cell) high 0x64 under low 0xC8
    image[0x34] = 0xC8;
    convert_limits(w83792d_cells, image, l = {});
    EXPECT_EQ(fixed3(l.voltages[13].min.value), "-38.400");
    EXPECT_EQ(fixed3(l.voltages[13].max.value), "-76.800");
}

// The facts behind the rule above, one by one: the rails whose gain is negative swap their
// limits, the W83793G's 10-bit limits take their low bits, the W83792D's in7 cell (the upper
// eight bits of its input) takes the limit as it is, and the counts that mean "no minimum".
TEST(CellLimits, NegativeRailsSwapAndNoMinimumCountsGiveNone) {
    register_image image{};
    image[0x6A] = 0x80; // W83793G in3 high: 128 * 0.032 * -12
    image[0x6B] = 0x40; // low: 64
    image[0x60] = 0xB4; // in0 high 0xB4 * 4 + 2
    image[0x68] = 0x02;
    image[0x61] = 0x8C; // in0 low 0x8C * 4 + 1
    image[0x69] = 0x01;
    image[0x90] = 0x0F; // fan1 minimum 0x0FFF: no reading, no minimum
    image[0x91] = 0xFF;
    image[0x92] = 0xFF; // fan2 0xFFFF: beyond the 12 bits the chip counts
    image[0x93] = 0xFF;
    image[0x96] = 0x02; // fan4 0x02A3 = 675: 2000 RPM
    image[0x97] = 0xA3;
    chip_limits l{};
    convert_limits(w83793g_cells, image, l);
    EXPECT_EQ(fixed3(l.voltages[3].min.value), "-49.152");
    EXPECT_EQ(fixed3(l.voltages[3].max.value), "-24.576");
    EXPECT_EQ(fixed3(l.voltages[0].min.value), "1.122");
    EXPECT_EQ(fixed3(l.voltages[0].max.value), "1.444");
    EXPECT_FALSE(l.fans[0].min.present);
    EXPECT_FALSE(l.fans[1].min.present);
    EXPECT_FALSE(l.fans[2].min.present); // count 0
    EXPECT_EQ(l.fans[3].min.value, 2000u);

    image = {};
    image[0x33] = 0xC8; // W83792D in4 (the -12V cell) high: 0xC8 * 4 * 0.008 * -12
    image[0x34] = 0x64;
    image[0xB4] = 0xD6; // in7 high, taken as it is by the upper-eight-bits cell
    image[0xB5] = 0xC2;
    image[0x3B] = 0xFF; // fan1: no minimum
    image[0x3C] = 0x96; // fan2 at divisor 2 (code 1, 0x47 bits 6-4): 4500 RPM
    image[0x47] = 0x10;
    convert_limits(w83792d_cells, image, l = {});
    EXPECT_EQ(fixed3(l.voltages[13].min.value), "-76.800");
    EXPECT_EQ(fixed3(l.voltages[13].max.value), "-38.400");
    EXPECT_EQ(fixed3(l.voltages[7].min.value), "4.656");
    EXPECT_EQ(fixed3(l.voltages[7].max.value), "5.136");
    EXPECT_FALSE(l.fans[0].min.present);
    EXPECT_EQ(l.fans[1].min.value, 4500u);
    EXPECT_FALSE(l.fans[2].min.present); // count 0
}

// A run that reads the limits checks the chip's identity first, then makes the readings'
// transactions exactly as a run that does not, then one read of each limit and status
// register; the trace shows every one.
TEST_F(Reader, WithLimitsReadsTheLimitRegistersAfterTheSnapshot) {
    for (chip_kind kind : {chip_kind::w83793g, chip_kind::w83792d, chip_kind::x6dva}) {
        SCOPED_TRACE(chip_name(kind));
        sim_reset();
        sim_add_chip(0x2c);
        sim_add_chip(0x2f);
        readings s{};
        std::string trace;
        trace = capture_traced(
            true, [&] { EXPECT_EQ(read_kind(kind, bus, s, chip_reading::with_limits), 0); });
        // The identity of the chip a driver would check first, then the readings' snapshot,
        // then the limits.
        std::vector<std::pair<int, int>> want = facts_of(kind).identity_reads;
        want.insert(want.end(), facts_of(kind).reads.begin(), facts_of(kind).reads.end());
        want.insert(want.end(), facts_of(kind).limit_reads.begin(),
                    facts_of(kind).limit_reads.end());
        EXPECT_EQ(reads(), want);
        size_t traced = 0;
        for (size_t at = 0; (at = trace.find("==> read_byte(fd = ", at)) != std::string::npos; at++)
            traced++;
        EXPECT_EQ(traced, want.size());
    }
}

// Each status bit of the chips' facts, set alone, raises the alarm of the one cell its input
// feeds (or the case-open bit) and no other; every cell of the chip has its alarm, clear or
// set, and the cells of other chips (the X6DVA's first) none.
TEST_F(Reader, EachStatusBitRaisesTheAlarmOfItsCell) {
    enum class what { volt, temp, fan, intrusion };
    struct bit_case {
        int reg, bit;
        what kind;
        unsigned cell;
    };
    const bit_case w83793g_bits[] = {
        {0x4B, 0, what::volt, 0},  {0x4B, 1, what::volt, 1},     {0x4B, 2, what::volt, 2},
        {0x4B, 4, what::volt, 3},  {0x4B, 5, what::volt, 4},     {0x4B, 6, what::volt, 5},
        {0x4B, 7, what::volt, 6},  {0x4C, 0, what::volt, 9},     {0x4C, 1, what::volt, 7},
        {0x4C, 2, what::volt, 10}, {0x4C, 4, what::temp, 0},     {0x4C, 5, what::temp, 1},
        {0x4C, 6, what::temp, 2},  {0x4C, 7, what::temp, 3},     {0x4D, 0, what::temp, 4},
        {0x4D, 1, what::temp, 5},  {0x4D, 2, what::fan, 0},      {0x4D, 3, what::fan, 1},
        {0x4D, 4, what::fan, 2},   {0x4D, 5, what::fan, 3},      {0x4D, 6, what::fan, 4},
        {0x4D, 7, what::fan, 5},   {0x4E, 0, what::fan, 6},      {0x4E, 1, what::fan, 7},
        {0x4E, 2, what::fan, 8},   {0x4E, 3, what::fan, 9},      {0x4E, 4, what::fan, 10},
        {0x4E, 5, what::fan, 11},  {0x4E, 6, what::intrusion, 0}};
    const bit_case w83792d_bits[] = {
        {0xA9, 0, what::volt, 0},  {0xA9, 1, what::volt, 1},     {0xA9, 2, what::temp, 0},
        {0xA9, 3, what::temp, 1},  {0xA9, 4, what::temp, 2},     {0xA9, 5, what::fan, 0},
        {0xA9, 6, what::fan, 1},   {0xA9, 7, what::fan, 2},      {0xAA, 0, what::volt, 11},
        {0xAA, 1, what::volt, 12}, {0xAA, 2, what::volt, 13},    {0xAA, 3, what::volt, 14},
        {0xAA, 4, what::volt, 8},  {0xAA, 7, what::fan, 6},      {0xAB, 3, what::volt, 7},
        {0xAB, 4, what::volt, 10}, {0xAB, 5, what::fan, 3},      {0xAB, 6, what::fan, 4},
        {0xAB, 7, what::fan, 5},   {0x42, 5, what::intrusion, 0}};
    const bit_case x6dva_bits[] = {
        {0xA9, 0, what::volt, 0}, {0xA9, 1, what::volt, 1},     {0xA9, 3, what::temp, 1},
        {0xA9, 4, what::temp, 2}, {0xA9, 5, what::fan, 0},      {0xA9, 6, what::fan, 1},
        {0xA9, 7, what::fan, 2},  {0xAB, 5, what::fan, 3},      {0xAB, 6, what::fan, 4},
        {0xAB, 7, what::fan, 5},  {0x42, 5, what::intrusion, 0}};
    struct chip_case {
        chip_kind kind;
        std::span<const bit_case> bits;
    };
    const chip_case chips[] = {{chip_kind::w83793g, w83793g_bits},
                               {chip_kind::w83792d, w83792d_bits},
                               {chip_kind::x6dva, x6dva_bits}};
    for (const chip_case &c : chips)
        for (const bit_case &b : c.bits) {
            SCOPED_TRACE(::testing::Message() << chip_name(c.kind) << ", register 0x" << std::hex
                                              << b.reg << " bit " << b.bit);
            sim_reset();
            fill_chip(0x2c, 0xff); // the first chip's registers say nothing of limits
            sim_add_chip(0x2f);
            sim_set_reg(0x2f, static_cast<uint8_t>(b.reg), static_cast<uint8_t>(1u << b.bit));
            readings s{};
            ASSERT_EQ(read_kind(c.kind, bus, s, chip_reading::with_limits), 0);
            const chip_facts &f = facts_of(c.kind);
            auto want = [&](what k, unsigned cell, const std::set<unsigned> &filled) {
                if (!filled.contains(cell) ||
                    (c.kind == chip_kind::x6dva && k == what::volt && cell != 0 && cell != 1) ||
                    (c.kind == chip_kind::x6dva && k == what::temp && cell == 0))
                    return alarm_bit::absent;
                return b.kind == k && b.cell == cell ? alarm_bit::set : alarm_bit::clear;
            };
            for (unsigned i = 0; i < 15; i++)
                EXPECT_EQ(s.limits.voltages[i].alarm, want(what::volt, i, f.volts)) << "volt " << i;
            for (unsigned i = 0; i < 6; i++)
                EXPECT_EQ(s.limits.temps[i].alarm, want(what::temp, i, f.temps)) << "temp " << i;
            for (unsigned i = 0; i < 12; i++)
                EXPECT_EQ(s.limits.fans[i].alarm, want(what::fan, i, f.fans)) << "fan " << i;
            EXPECT_EQ(s.limits.intrusion,
                      b.kind == what::intrusion ? alarm_bit::set : alarm_bit::clear);
        }
}

// A board's chip as its firmware left it, limits and status bits set: the record, cell by
// cell, with the values worked out from the chips' register maps by hand. Cells that no
// input of the chip feeds have nothing.
TEST_F(Reader, TheLimitsRecordOfAChipAsItsFirmwareLeftIt) {
    // W83793G: in0 limits with their low bits, the -12V and +12V rails, 5VSB above its
    // offset; temp1's two levels, a negative critical limit of a CPU temperature and an
    // unset (0xFF, -1) warning level of temp5, signed as the chip keeps them; fan minimums;
    // the status of in0, temp1, fan1 and case open.
    const std::pair<int, int> w83793g[] = {
        {0x60, 0xB4}, {0x61, 0x8C}, {0x68, 0x02}, {0x69, 0x01}, {0x6A, 0x80},
        {0x6B, 0x40}, {0x70, 0x87}, {0x71, 0x73}, {0x74, 0xD6}, {0x75, 0xC2},
        {0x78, 0x5A}, {0x79, 0x55}, {0x7A, 0x50}, {0x7B, 0x4B}, {0x7C, 0x85},
        {0x88, 0x64}, {0x8A, 0xFF}, {0x90, 0x02}, {0x91, 0xA3}, {0x92, 0x0F},
        {0x93, 0xFF}, {0x4B, 0x01}, {0x4C, 0x10}, {0x4D, 0x04}, {0x4E, 0x40}};
    for (auto [r, v] : w83793g)
        sim_set_reg(0x2f, static_cast<uint8_t>(r), static_cast<uint8_t>(v));
    readings s{};
    ASSERT_EQ(read_kind(chip_kind::w83793g, bus, s, chip_reading::with_limits), 0);
    const chip_limits &l = s.limits;
    const std::tuple<unsigned, const char *, const char *> volts[] = {
        {0, "1.122", "1.444"}, {3, "-49.152", "-24.576"}, {6, "11.040", "12.960"},
        {7, "4.806", "5.286"}, {9, "0.150", "0.150"},     {10, "0.000", "0.000"}};
    for (auto [cell, min, max] : volts) {
        EXPECT_EQ(fixed3(l.voltages[cell].min.value), min) << cell;
        EXPECT_EQ(fixed3(l.voltages[cell].max.value), max) << cell;
    }
    for (unsigned cell : {8u, 11u, 12u, 13u, 14u})
        EXPECT_FALSE(l.voltages[cell].min.present || l.voltages[cell].max.present) << cell;
    EXPECT_EQ(l.temps[0].max.value, 90);
    EXPECT_EQ(l.temps[0].max_hyst.value, 85);
    EXPECT_EQ(l.temps[0].warn.value, 80);
    EXPECT_EQ(l.temps[0].warn_hyst.value, 75);
    EXPECT_EQ(l.temps[1].max.value, -123);
    EXPECT_EQ(l.temps[4].max.value, 100);
    EXPECT_EQ(l.temps[4].warn.value, -1);
    EXPECT_EQ(l.fans[0].min.value, 2000u);
    EXPECT_FALSE(l.fans[1].min.present);
    EXPECT_EQ(l.voltages[0].alarm, alarm_bit::set);
    EXPECT_EQ(l.temps[0].alarm, alarm_bit::set);
    EXPECT_EQ(l.fans[0].alarm, alarm_bit::set);
    EXPECT_EQ(l.fans[1].alarm, alarm_bit::clear);
    EXPECT_EQ(l.intrusion, alarm_bit::set);

    // W83792D: in0, the upper-eight-bits in7 cell, the 8-bit in8, the -12V rail; temp2's
    // limit with its half-degree bit (0xC6 bit 7) and its hysteresis without; temp3's
    // limit below zero; fan minimums under their divisors.
    sim_reset();
    const std::pair<int, int> w83792d[] = {
        {0x2B, 0xB4}, {0x2C, 0x8C}, {0xB4, 0xD6}, {0xB5, 0xC2}, {0xB6, 0xC8}, {0xB7, 0xA0},
        {0x33, 0xC8}, {0x34, 0x64}, {0x39, 0x50}, {0x3A, 0x4B}, {0xC5, 0x55}, {0xC6, 0x80},
        {0xC3, 0x50}, {0xCD, 0xF0}, {0x3B, 0x96}, {0x47, 0x01}, {0x3C, 0xFF}, {0xBF, 0x87},
        {0xA9, 0x21}, {0xAA, 0x90}, {0xAB, 0x08}, {0x42, 0x20}};
    for (auto [r, v] : w83792d)
        sim_set_reg(0x2f, static_cast<uint8_t>(r), static_cast<uint8_t>(v));
    s = {};
    ASSERT_EQ(read_kind(chip_kind::w83792d, bus, s, chip_reading::with_limits), 0);
    const std::tuple<unsigned, const char *, const char *> volts2[] = {{0, "1.120", "1.440"},
                                                                       {7, "4.656", "5.136"},
                                                                       {10, "2.560", "3.200"},
                                                                       {13, "-76.800", "-38.400"},
                                                                       {14, "0.000", "0.000"}};
    for (auto [cell, min, max] : volts2) {
        EXPECT_EQ(fixed3(l.voltages[cell].min.value), min) << cell;
        EXPECT_EQ(fixed3(l.voltages[cell].max.value), max) << cell;
    }
    EXPECT_EQ(l.temps[0].max.value, 80);
    EXPECT_EQ(l.temps[0].max_hyst.value, 75);
    EXPECT_EQ(l.temps[1].max.value, 85.5);
    EXPECT_EQ(l.temps[1].max_hyst.value, 80);
    EXPECT_EQ(l.temps[2].max.value, -16);
    EXPECT_FALSE(l.temps[0].warn.present || l.temps[0].warn_hyst.present);
    EXPECT_EQ(l.fans[0].min.value, 4500u);
    EXPECT_FALSE(l.fans[1].min.present);
    EXPECT_EQ(l.fans[6].min.value, 10000u);
    EXPECT_EQ(l.voltages[0].alarm, alarm_bit::set);
    EXPECT_EQ(l.voltages[8].alarm, alarm_bit::set);
    EXPECT_EQ(l.voltages[7].alarm, alarm_bit::set);
    EXPECT_EQ(l.voltages[13].alarm, alarm_bit::clear);
    EXPECT_EQ(l.fans[0].alarm, alarm_bit::set);
    EXPECT_EQ(l.fans[6].alarm, alarm_bit::set);
    EXPECT_EQ(l.intrusion, alarm_bit::set);
}

// A run that does not read the limits leaves the record's limits as they were: nothing.
TEST_F(Reader, WithoutLimitsTheRecordHoldsNone) {
    for (chip_kind kind : {chip_kind::w83793g, chip_kind::w83792d, chip_kind::x6dva}) {
        sim_reset();
        fill_chip(0x2c, 0xff);
        fill_chip(0x2f, 0x5d);
        readings s{};
        ASSERT_EQ(read_kind(kind, bus, s), 0);
        const chip_limits none{};
        EXPECT_EQ(memcmp(&s.limits, &none, sizeof none), 0) << chip_name(kind);
    }
}

// --- bus failures: the reader stops at the failed transaction and returns it ---

// The transaction that fails, the first, one in the middle and the last of each chip kind's
// snapshot: nothing after it is asked of the bus, no cell of the chip that failed is written
// (the X6DVA's first chip has its cells once its reads are done), and the trace ends with the
// failed read's entry line.
TEST_F(Reader, AFailedTransactionEndsTheReadBeforeAnyCellOfItsChip) {
    struct failure_case {
        chip_kind kind;
        size_t fail_at; // counted from 1
        cells written;
    };
    const cells first_chip = {{3, 6, 11, 12, 13, 14}, {0}, {}};
    const failure_case cases[] = {
        {chip_kind::w83793g, 1, {}},       {chip_kind::w83793g, 22, {}},
        {chip_kind::w83793g, 43, {}},      {chip_kind::w83792d, 1, {}},
        {chip_kind::w83792d, 15, {}},      {chip_kind::w83792d, 29, {}},
        {chip_kind::x6dva, 1, {}},         {chip_kind::x6dva, 7, {}},
        {chip_kind::x6dva, 8, first_chip}, {chip_kind::x6dva, 21, first_chip},
    };
    for (const failure_case &c : cases) {
        SCOPED_TRACE(::testing::Message() << chip_name(c.kind) << ", transaction " << c.fail_at);
        sim_reset();
        sim_add_chip(0x2c);
        sim_add_chip(0x2f);
        sim_fail_at(c.fail_at, EIO);
        readings s = sentinel_filled();
        int status = -1;
        std::string trace;
        std::string err = capture_stderr(
            [&] { trace = capture_traced(true, [&] { status = read_kind(c.kind, bus, s); }); });
        EXPECT_EQ(status, EX_IOERR);
        EXPECT_EQ(sim_log_size(), c.fail_at);
        EXPECT_EQ(changed(s), c.written);
        const auto [addr, reg] = facts_of(c.kind).reads[c.fail_at - 1];
        char last[80];
        snprintf(last, sizeof last, "==> read_byte(fd = 3, slave = 0x%02x, idxreg = 0x%02x)\n",
                 addr, reg);
        EXPECT_TRUE(trace.ends_with(std::string("returning 0x00\n") + last) ||
                    (c.fail_at == 1 && trace.ends_with(std::string(")\n") + last)))
            << trace;
        EXPECT_EQ(err, std::string(program_invocation_short_name) +
                           ": ioctl(SMB_READB) failed: Input/output error\n");
    }
}

// A row whose chip kind no reader handles is the program's own fault, reported as such, and
// asks nothing of the bus.
TEST(ReadChip, AnUnknownChipKindIsAnInternalError) {
    sim_reset();
    sim_add_chip(0x2f);
    const board unknown = {"Supermicro", "TEST", static_cast<chip_kind>(3), 0x2f, {}, {}, {}};
    readings s{};
    bus_handle bus{3};
    int status = -1;
    EXPECT_EQ(capture_traced(
                  true, [&] { status = read_chip(unknown, bus, s, chip_reading::with_limits); }),
              "Internal vantorel coding error.  Please report this bug\n"
              "to the vantorel author.\n");
    EXPECT_EQ(status, EX_SOFTWARE);
    EXPECT_EQ(sim_log_size(), 0u);
}

} // namespace
