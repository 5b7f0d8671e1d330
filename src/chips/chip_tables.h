// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Each chip handling's facts, written once: where the chip keeps its readings (its layout, as
// the kernel's driver for it publishes them) and which input feeds which cell of the readings
// (its cell table). The readers, the snapshots they take and the Linux recovery of registers
// from a driver's attributes all work from these.
#pragma once

#include "chips/cells.h"
#include "chips/conversions.h"
#include "registers/chip_layout.h"
#include "registers/registers.h"

// --- Winbond W83792D ---
//
// Voltage inputs are 10-bit: the reading register holds the upper eight bits and the two low
// bits of eight inputs are packed into 0x3E and 0x3F. Fans report 8-bit counts that are scaled
// by a per-fan divisor of 2^code.

// in0-in8. in0-in7 are 10-bit; in8 is read as its 8-bit register. The kernel's w83792d
// driver publishes in0 and in1 in 2 mV steps, in2-in5 in 4 mV, in6 and in7 in 6 mV and in8
// in 16 mV. Every limit is 8-bit: a 10-bit input's the upper eight bits of its value, whose
// low bits the chip does not keep. The status bits of the three registers 0xA9-0xAB, counted
// as one 24-bit word: in0, in1 bits 0-1; in2-in6 bits 8-12; in7, in8 bits 19-20.
// clang-format off
inline constexpr voltage_input w83792d_inputs[] = {
    {.reading = with_low_bits(0x20, 2, 0x3E, 0), .step_mv = 2,
     .high_limit = with_low_bits_zero(0x2B, 2), .low_limit = with_low_bits_zero(0x2C, 2),
     .alarm = {0xA9, 0}},
    {.reading = with_low_bits(0x21, 2, 0x3E, 2), .step_mv = 2,
     .high_limit = with_low_bits_zero(0x2D, 2), .low_limit = with_low_bits_zero(0x2E, 2),
     .alarm = {0xA9, 1}},
    {.reading = with_low_bits(0x22, 2, 0x3E, 4), .step_mv = 4,
     .high_limit = with_low_bits_zero(0x2F, 2), .low_limit = with_low_bits_zero(0x30, 2),
     .alarm = {0xAA, 0}},
    {.reading = with_low_bits(0x23, 2, 0x3E, 6), .step_mv = 4,
     .high_limit = with_low_bits_zero(0x31, 2), .low_limit = with_low_bits_zero(0x32, 2),
     .alarm = {0xAA, 1}},
    {.reading = with_low_bits(0x24, 2, 0x3F, 0), .step_mv = 4,
     .high_limit = with_low_bits_zero(0x33, 2), .low_limit = with_low_bits_zero(0x34, 2),
     .alarm = {0xAA, 2}},
    {.reading = with_low_bits(0x25, 2, 0x3F, 2), .step_mv = 4,
     .high_limit = with_low_bits_zero(0x35, 2), .low_limit = with_low_bits_zero(0x36, 2),
     .alarm = {0xAA, 3}},
    {.reading = with_low_bits(0x26, 2, 0x3F, 4), .step_mv = 6,
     .high_limit = with_low_bits_zero(0x37, 2), .low_limit = with_low_bits_zero(0x38, 2),
     .alarm = {0xAA, 4}},
    {.reading = with_low_bits(0xB0, 2, 0x3F, 6), .step_mv = 6,
     .high_limit = with_low_bits_zero(0xB4, 2), .low_limit = with_low_bits_zero(0xB5, 2),
     .alarm = {0xAB, 3}},
    {.reading = {0xB1}, .step_mv = 16, .high_limit = {0xB6}, .low_limit = {0xB7},
     .alarm = {0xAB, 4}},
};
// clang-format on

// temp1-temp3: the whole-degree registers; a half-degree bit sits below each reading, which
// the driver adds upward and the cells, whole degrees, leave out. temp1's limits are whole
// degrees; those of temp2 and temp3 have a half-degree bit too, bit 7 of the register after
// each, which the limits keep (the driver's TEMP_ADD registers: 0xC5/0xC6 and 0xC3/0xC4 for
// temp2's limit and hysteresis, 0xCD/0xCE and 0xCB/0xCC for temp3's). Status bits 2-4.
inline constexpr temperature_input w83792d_temperatures[] = {
    {.reading = {0x27}, .max = {0x39}, .max_hyst = {0x3A}, .alarm = {0xA9, 2}},
    {.reading = {0xC0},
     .max = with_low_bits(0xC5, 1, 0xC6, 7),
     .max_hyst = with_low_bits(0xC3, 1, 0xC4, 7),
     .alarm = {0xA9, 3}},
    {.reading = {0xC8},
     .max = with_low_bits(0xCD, 1, 0xCE, 7),
     .max_hyst = with_low_bits(0xCB, 1, 0xCC, 7),
     .alarm = {0xA9, 4}},
};

// fan1-fan7: the 8-bit count register and where the divisor code sits. fan1-fan3 have pins
// of their own; fan4-fan7 share theirs with other functions (0x1A, 0x4B choose). The minimum
// counts are 8-bit; status bits 5-7 (fan1-fan3), 21-23 (fan4-fan6) and 15 (fan7).
inline constexpr auto w83792d_fans = [] {
    // clang-format off
    std::array<fan_input, 7> list = {{
        {.count = {0x28}, .divided = true, .divisor_reg = 0x47, .divisor_shift = 0, .min = {0x3B},
         .alarm = {0xA9, 5}},
        {.count = {0x29}, .divided = true, .divisor_reg = 0x47, .divisor_shift = 4, .min = {0x3C},
         .alarm = {0xA9, 6}},
        {.count = {0x2A}, .divided = true, .divisor_reg = 0x5B, .divisor_shift = 0, .min = {0x3D},
         .alarm = {0xA9, 7}},
        {.count = {0xB8}, .divided = true, .divisor_reg = 0x5B, .divisor_shift = 4, .min = {0xBB},
         .alarm = {0xAB, 5}},
        {.count = {0xB9}, .divided = true, .divisor_reg = 0x5C, .divisor_shift = 0, .min = {0xBC},
         .alarm = {0xAB, 6}},
        {.count = {0xBA}, .divided = true, .divisor_reg = 0x5C, .divisor_shift = 4, .min = {0xBD},
         .alarm = {0xAB, 7}},
        {.count = {0xBE}, .divided = true, .divisor_reg = 0x9E, .divisor_shift = 0, .min = {0xBF},
         .alarm = {0xAA, 7}},
    }};
    // clang-format on
    for (unsigned i = 3; i < list.size(); i++)
        list[i].may_be_off = true;
    return list;
}();

inline constexpr chip_layout w83792d_layout = {.driver = "w83792d",
                                               .voltages = w83792d_inputs,
                                               .temperatures = w83792d_temperatures,
                                               .fraction = temperature_fraction::upward,
                                               .fans = w83792d_fans,
                                               .no_reading_count = w83792d_no_reading_count,
                                               .intrusion = {0x42, 5}};

// The W83792D boards' cells. The voltage factors are the boards' scales, not the driver's
// steps: the -12V cell (13) scales in4 twice, and in7 counts in its upper eight bits only.
inline constexpr voltage_cell w83792d_voltage_cells[] = {
    {.cell = 0, .input = 0, .factor = 0.002},
    {.cell = 1, .input = 1, .factor = 0.002},
    {.cell = 7, .input = 7, .factor = 0.024, .high_byte_only = true},
    {.cell = 8, .input = 6, .factor = 0.006},
    {.cell = 10, .input = 8, .factor = 0.016},
    {.cell = 11, .input = 2, .factor = 0.004},
    {.cell = 12, .input = 3, .factor = 0.004},
    {.cell = 13, .input = 4, .factor = 0.008, .gain = -12.0},
    {.cell = 14, .input = 5, .factor = 0.016},
};
inline constexpr temperature_cell w83792d_temperature_cells[] = {
    {.cell = 0, .input = 0}, {.cell = 1, .input = 1}, {.cell = 2, .input = 2}};
inline constexpr fan_cell w83792d_fan_cells[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3},
                                                 {4, 4}, {5, 5}, {6, 6}};

inline constexpr chip_cells w83792d_cells = {w83792d_layout, w83792d_voltage_cells,
                                             w83792d_temperature_cells, w83792d_fan_cells};

// Registers that the W83792D boards' snapshot reads although no cell converts them: 0x49 and
// 0x58-0x5A, configuration beside the fan divisors.
inline constexpr uint8_t w83792d_unconverted[] = {0x49, 0x58, 0x59, 0x5A};

// --- Winbond W83793G ---
//
// Everything the boards show sits in one contiguous register block, 0x10-0x3A: voltage inputs
// (three of them 10-bit, their low bits packed into 0x1B), six temperatures and twelve 16-bit
// fan counts stored high byte first.

// in0-in9. in0-in2 are 10-bit, their low bits packed into 0x1B; 0x13 is no input. The
// kernel's w83793 driver publishes in0-in2 in 2 mV steps, in3-in5 and in9 in 16 mV, in6 in
// 8 mV, and in7 and in8 in 24 mV steps above 150 mV. The limits of in0-in2 are 10-bit as
// their readings are, the low bits of the high limits packed into 0x68 and those of the low
// ones into 0x69; the others are 8-bit. The status bits of the four registers 0x4B-0x4E,
// counted as one 32-bit word: in0-in2 bits 0-2, in3-in9 bits 4-10.
// clang-format off
inline constexpr voltage_input w83793g_inputs[] = {
    {.reading = with_low_bits(0x10, 2, 0x1B, 0), .step_mv = 2,
     .high_limit = with_low_bits(0x60, 2, 0x68, 0), .low_limit = with_low_bits(0x61, 2, 0x69, 0),
     .alarm = {0x4B, 0}},
    {.reading = with_low_bits(0x11, 2, 0x1B, 2), .step_mv = 2,
     .high_limit = with_low_bits(0x62, 2, 0x68, 2), .low_limit = with_low_bits(0x63, 2, 0x69, 2),
     .alarm = {0x4B, 1}},
    {.reading = with_low_bits(0x12, 2, 0x1B, 4), .step_mv = 2,
     .high_limit = with_low_bits(0x64, 2, 0x68, 4), .low_limit = with_low_bits(0x65, 2, 0x69, 4),
     .alarm = {0x4B, 2}},
    {.reading = {0x14}, .step_mv = 16, .high_limit = {0x6A}, .low_limit = {0x6B}, .alarm = {0x4B, 4}},
    {.reading = {0x15}, .step_mv = 16, .high_limit = {0x6C}, .low_limit = {0x6D}, .alarm = {0x4B, 5}},
    {.reading = {0x16}, .step_mv = 16, .high_limit = {0x6E}, .low_limit = {0x6F}, .alarm = {0x4B, 6}},
    {.reading = {0x17}, .step_mv = 8,  .high_limit = {0x70}, .low_limit = {0x71}, .alarm = {0x4B, 7}},
    {.reading = {0x18}, .step_mv = 24, .offset_mv = 150,
     .high_limit = {0x72}, .low_limit = {0x73}, .alarm = {0x4C, 0}},
    {.reading = {0x19}, .step_mv = 24, .offset_mv = 150,
     .high_limit = {0x74}, .low_limit = {0x75}, .alarm = {0x4C, 1}},
    {.reading = {0x1A}, .step_mv = 16, .high_limit = {0x76}, .low_limit = {0x77}, .alarm = {0x4C, 2}},
};
// clang-format on

// temp1-temp6 at 0x1C-0x21, two's complement whole degrees. temp1-temp4 have quarter
// degrees in 0x22, which the driver adds away from zero. Each has two levels of limits,
// signed whole degrees at 0x78 + 4i on: critical (the driver's tempN_max), its hysteresis,
// warning, its hysteresis. Status bits 12-17, set against the critical level.
inline constexpr auto w83793g_temperatures = [] {
    std::array<temperature_input, 6> list{};
    for (unsigned i = 0; i < list.size(); i++) {
        const auto limits = static_cast<uint8_t>(0x78 + 4 * i);
        const unsigned bit = 12 + i;
        list[i] = {.reading = {static_cast<uint8_t>(0x1C + i)},
                   .max = {limits},
                   .max_hyst = {static_cast<uint8_t>(limits + 1)},
                   .has_warn = true,
                   .warn = {static_cast<uint8_t>(limits + 2)},
                   .warn_hyst = {static_cast<uint8_t>(limits + 3)},
                   .alarm = {static_cast<uint8_t>(0x4B + bit / 8), static_cast<uint8_t>(bit % 8)}};
    }
    return list;
}();

// fan1-fan12: 16-bit counts at 0x23-0x3A, high byte first. The driver reads 12 bits of them.
// fan1-fan5 have pins of their own; fan6-fan12 share theirs with other functions (0x58,
// 0x5C choose). The minimum counts are 16-bit too, at 0x90-0xA7, high byte first; status
// bits 18-29.
inline constexpr auto w83793g_fans = [] {
    std::array<fan_input, 12> list{};
    for (unsigned i = 0; i < list.size(); i++) {
        const unsigned bit = 18 + i;
        list[i] = {.count = with_low_byte(static_cast<uint8_t>(0x23 + 2 * i),
                                          static_cast<uint8_t>(0x24 + 2 * i)),
                   .may_be_off = i >= 5,
                   .min = with_low_byte(static_cast<uint8_t>(0x90 + 2 * i),
                                        static_cast<uint8_t>(0x91 + 2 * i)),
                   .alarm = {static_cast<uint8_t>(0x4B + bit / 8), static_cast<uint8_t>(bit % 8)}};
    }
    return list;
}();

inline constexpr chip_layout w83793g_layout = {.driver = "w83793",
                                               .voltages = w83793g_inputs,
                                               .temperatures = w83793g_temperatures,
                                               .fraction = temperature_fraction::away_from_zero,
                                               .fans = w83793g_fans,
                                               .no_reading_count = w83793g_no_reading_count,
                                               .intrusion = {0x4E, 6}};

// The W83793G boards' cells. The -12V (3) and +12V (6) cells scale their inputs twice; in8,
// the higher register, feeds the lower cell.
inline constexpr voltage_cell w83793g_voltage_cells[] = {
    {.cell = 0, .input = 0, .factor = 0.002},
    {.cell = 1, .input = 1, .factor = 0.002},
    {.cell = 2, .input = 2, .factor = 0.002},
    {.cell = 3, .input = 3, .factor = 0.032, .gain = -12.0},
    {.cell = 4, .input = 4, .factor = 0.016},
    {.cell = 5, .input = 5, .factor = 0.016},
    {.cell = 6, .input = 6, .factor = 0.008, .gain = 12.0},
    {.cell = 7, .input = 8, .factor = 0.024, .offset = 0.15},
    {.cell = 9, .input = 7, .factor = 0.024, .offset = 0.15},
    {.cell = 10, .input = 9, .factor = 0.016},
};
// All six are signed on the chip. The table, CSV and JSON forms show the CPU temperatures
// (temp1-temp4) with anything below 1 degree as 0 and the two others as their plain bytes.
inline constexpr temperature_cell w83793g_temperature_cells[] = {
    {.cell = 0, .input = 0, .reading = temperature_reading::positive_signed},
    {.cell = 1, .input = 1, .reading = temperature_reading::positive_signed},
    {.cell = 2, .input = 2, .reading = temperature_reading::positive_signed},
    {.cell = 3, .input = 3, .reading = temperature_reading::positive_signed},
    {.cell = 4, .input = 4},
    {.cell = 5, .input = 5},
};
inline constexpr auto w83793g_fan_cells = [] {
    std::array<fan_cell, 12> list{};
    for (unsigned i = 0; i < list.size(); i++)
        list[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
    return list;
}();

inline constexpr chip_cells w83793g_cells = {w83793g_layout, w83793g_voltage_cells,
                                             w83793g_temperature_cells, w83793g_fan_cells};

// --- the X6DVA family's two chips ---

// The two chips' fixed 7-bit addresses.
inline constexpr uint8_t x6dva_first_address = 0x2c;
inline constexpr uint8_t x6dva_second_address = 0x2f;

// At 0x2c, a chip whose readings are stored as plain register values.
inline constexpr plain_voltage_cell x6dva_first_voltage_cells[] = {
    {.cell = 11, .reg = 0x20}, {.cell = 12, .reg = 0x21}, {.cell = 13, .reg = 0x22},
    {.cell = 14, .reg = 0x23}, {.cell = 6, .reg = 0x24},  {.cell = 3, .reg = 0x25, .negated = true},
};
inline constexpr plain_temperature_cell x6dva_first_temperature_cells[] = {
    {.cell = 0, .reg = 0x27}};
inline constexpr plain_cells x6dva_first_cells = {x6dva_first_voltage_cells,
                                                  x6dva_first_temperature_cells};

// At 0x2f, a W83792D-layout chip converted as on the W83792D boards; it has no seventh fan.
inline constexpr voltage_cell x6dva_second_voltage_cells[] = {
    {.cell = 0, .input = 0, .factor = 0.002},
    {.cell = 1, .input = 1, .factor = 0.002},
};
inline constexpr temperature_cell x6dva_second_temperature_cells[] = {{.cell = 1, .input = 1},
                                                                      {.cell = 2, .input = 2}};
inline constexpr fan_cell x6dva_second_fan_cells[] = {{0, 0}, {1, 1}, {2, 2},
                                                      {3, 3}, {4, 4}, {5, 5}};
inline constexpr chip_cells x6dva_second_cells = {w83792d_layout, x6dva_second_voltage_cells,
                                                  x6dva_second_temperature_cells,
                                                  x6dva_second_fan_cells};
