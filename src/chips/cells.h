// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Cell tables: for each cell of the readings that a chip handling fills, the chip's input that
// feeds it and how the input's value converts. A table is plain data, read by the chip's
// reader for its readings; a conversion is a pure function of one cell and one value, so a
// register that holds a value on an input's scale (a limit) converts through the same cell as
// the reading itself. The registers that a reader snapshots are worked out from its table.
#pragma once

#include <array>
#include <span>
#include <stddef.h>
#include <stdint.h>

#include "boards/boards.h"
#include "platform/chip_layout.h"

// A snapshot of a chip's registers, indexed by register number; registers not read are 0.
using register_image = std::array<uint8_t, 256>;

// The value of voltage input IN in IMAGE: its reading register, times four plus its two low
// bits for a 10-bit input.
inline unsigned input_value(const register_image &image, const voltage_input &in) {
    if (!in.ten_bit)
        return image[in.reg];
    return image[in.reg] * 4u + ((image[in.low_reg] >> in.low_shift) & 3u);
}

// voltages[CELL] from input INPUT of the chip's layout (its inN): the input's value times
// FACTOR, that product times GAIN where the board divides the rail before the input (the
// negative and 12 V rails), then OFFSET added. The steps are taken one by one, in this order,
// and only those that the cell has: (x * 0.032) * -12.0 is not x * 0.384 in doubles, and
// adding 0.0 would turn a negative zero positive. A HIGH_BYTE_ONLY cell takes the input's
// reading register alone, its upper eight bits, even where the input has low bits.
struct voltage_cell {
    uint8_t cell;
    uint8_t input;
    double factor;
    double gain = 1.0;
    double offset = 0.0;
    bool high_byte_only = false;
};

// How a temperature register reads: its unsigned value (0 to 255 degrees), or two's
// complement with nothing below 1 degree shown (w83793g_tempadj).
enum class temperature_reading { plain, positive_signed };

// temps[CELL] from whole-degree register INPUT of the chip's layout (its tempN+1).
struct temperature_cell {
    uint8_t cell;
    uint8_t input;
    temperature_reading reading = temperature_reading::plain;
};

// fans[CELL] from fan input INPUT of the chip's layout (its fanN+1), whose fan_input says how
// its count converts.
struct fan_cell {
    uint8_t cell;
    uint8_t input;
};

// The cells of a chip that the kernel's driver knows by LAYOUT.
struct chip_cells {
    const chip_layout &layout;
    std::span<const voltage_cell> voltages;
    std::span<const temperature_cell> temperatures;
    std::span<const fan_cell> fans;
};

// A chip that stores its readings as plain register values, without scale (the X6DVA's chip
// at 0x2c): voltages[CELL] is register REG's unsigned value in volts, negated for a NEGATED
// rail (a zero register then gives negative zero); temps[CELL] its value in degrees.
struct plain_voltage_cell {
    uint8_t cell;
    uint8_t reg;
    bool negated = false;
};
struct plain_temperature_cell {
    uint8_t cell;
    uint8_t reg;
};
struct plain_cells {
    std::span<const plain_voltage_cell> voltages;
    std::span<const plain_temperature_cell> temperatures;
};

// The conversions, one per kind of cell: what the board reports when the cell's input holds
// VALUE (RAW for a one-register cell).
double convert(const voltage_cell &cell, unsigned value);
uint64_t convert(const temperature_cell &cell, uint8_t raw);
double convert(const plain_voltage_cell &cell, uint8_t raw);
uint64_t convert(const plain_temperature_cell &cell, uint8_t raw);
// The speed of fan input FAN at COUNT: an 8-bit count and its 3-bit DIVISOR_CODE for a
// divided input (w83792d_divisor, then w83792d_rpmconv), a 16-bit count otherwise
// (w83793g_rpmconv; DIVISOR_CODE unused).
uint32_t convert(const fan_input &fan, unsigned count, unsigned divisor_code);

// The value that CELL converts in IMAGE.
inline unsigned cell_value(const register_image &image, const chip_layout &layout,
                           const voltage_cell &cell) {
    const voltage_input &in = layout.voltages[cell.input];
    return cell.high_byte_only ? image[in.reg] : input_value(image, in);
}
// The count of fan input FAN in IMAGE: 16 bits high byte first, or its one count register.
inline unsigned fan_count(const register_image &image, const fan_input &fan) {
    return fan.sixteen_bit ? image[fan.count_reg] * 256u + image[fan.count_low_reg]
                           : image[fan.count_reg];
}
// The 3-bit divisor code of fan input FAN in IMAGE; 0 for a fan without divisor.
inline unsigned divisor_code(const register_image &image, const fan_input &fan) {
    return fan.divided ? (image[fan.divisor_reg] >> fan.divisor_shift) & 7u : 0u;
}

// Fills the cells of TABLE from IMAGE, a snapshot of the chip: voltages, then temperatures,
// then fans, each in table order (the order of the conversions' trace lines).
void convert_cells(const chip_cells &table, const register_image &image, readings &s);
void convert_cells(const plain_cells &table, const register_image &image, readings &s);

// --- limits and status bits ---

// Which of a voltage input's two limit registers.
enum class voltage_limit { high, low };

// The value of limit WHICH of voltage input IN in IMAGE, on the scale of the input's value: a
// 10-bit limit with its two low bits; an 8-bit limit of a 10-bit input as the 10-bit value
// with low bits 0; an 8-bit limit of an 8-bit input as it is.
inline unsigned limit_value(const register_image &image, const voltage_input &in,
                            voltage_limit which) {
    const bool high = which == voltage_limit::high;
    const uint8_t reg = high ? in.high_limit_reg : in.low_limit_reg;
    if (in.ten_bit_limits)
        return image[reg] * 4u +
               ((image[high ? in.high_bits_reg : in.low_bits_reg] >> in.low_shift) & 3u);
    return in.ten_bit ? image[reg] * 4u : image[reg];
}
// The value that CELL converts for limit WHICH of its input: a HIGH_BYTE_ONLY cell, which
// takes the input's reading register alone, takes the limit register alone as well.
inline unsigned cell_limit_value(const register_image &image, const chip_layout &layout,
                                 const voltage_cell &cell, voltage_limit which) {
    const voltage_input &in = layout.voltages[cell.input];
    if (cell.high_byte_only)
        return image[which == voltage_limit::high ? in.high_limit_reg : in.low_limit_reg];
    return limit_value(image, in, which);
}
// The minimum count of fan input FAN in IMAGE, of the width of its reading's count.
inline unsigned fan_min_count(const register_image &image, const fan_input &fan) {
    return fan.sixteen_bit ? image[fan.min_reg] * 256u + image[fan.min_low_reg]
                           : image[fan.min_reg];
}
inline alarm_bit alarm_of(const register_image &image, status_bit bit) {
    return (image[bit.reg] >> bit.bit) & 1u ? alarm_bit::set : alarm_bit::clear;
}

// Fills the limits of the cells of TABLE, and the case-open bit, from IMAGE, a snapshot of
// the chip that holds its limit and status registers beside those of the readings. Each limit
// converts through its reading's cell: what the board would report if the reading sat exactly
// at the limit. A voltage's min and max are the smaller and the larger of its two converted
// limits (a cell with a negative gain turns the high limit into the lower value). A fan's
// minimum count of 0, or the chip's no-reading count or above, is no minimum. Voltages, then
// temperatures, then fans, in table order, as convert_cells.
void convert_limits(const chip_cells &table, const register_image &image, chip_limits &l);

// --- the registers a table needs, worked out at compile time ---

// A set of register numbers.
using register_set = std::array<bool, 256>;

// Every register that the cells of TABLE convert from.
constexpr register_set registers_of(const chip_cells &table) {
    register_set set{};
    for (const voltage_cell &c : table.voltages) {
        const voltage_input &in = table.layout.voltages[c.input];
        set[in.reg] = true;
        if (in.ten_bit && !c.high_byte_only)
            set[in.low_reg] = true;
    }
    for (const temperature_cell &c : table.temperatures)
        set[table.layout.temperatures[c.input].reg] = true;
    for (const fan_cell &c : table.fans) {
        const fan_input &f = table.layout.fans[c.input];
        set[f.count_reg] = true;
        if (f.sixteen_bit)
            set[f.count_low_reg] = true;
        if (f.divided)
            set[f.divisor_reg] = true;
    }
    return set;
}

// Every limit and status register of the inputs that feed the cells of TABLE, and the
// case-open bit's register: what convert_limits takes beside the readings' registers (a
// divided fan's minimum also takes the divisor code of its reading).
constexpr register_set limit_registers_of(const chip_cells &table) {
    register_set set{};
    for (const voltage_cell &c : table.voltages) {
        const voltage_input &in = table.layout.voltages[c.input];
        set[in.high_limit_reg] = set[in.low_limit_reg] = true;
        if (in.ten_bit_limits && !c.high_byte_only)
            set[in.high_bits_reg] = set[in.low_bits_reg] = true;
        set[in.alarm.reg] = true;
    }
    for (const temperature_cell &c : table.temperatures) {
        const temperature_input &t = table.layout.temperatures[c.input];
        set[t.max_reg] = set[t.max_hyst_reg] = true;
        if (t.has_warn)
            set[t.warn_reg] = set[t.warn_hyst_reg] = true;
        set[t.alarm.reg] = true;
    }
    for (const fan_cell &c : table.fans) {
        const fan_input &f = table.layout.fans[c.input];
        set[f.min_reg] = true;
        if (f.sixteen_bit)
            set[f.min_low_reg] = true;
        set[f.alarm.reg] = true;
    }
    set[table.layout.intrusion.reg] = true;
    return set;
}

constexpr register_set registers_of(const plain_cells &table) {
    register_set set{};
    for (const plain_voltage_cell &c : table.voltages)
        set[c.reg] = true;
    for (const plain_temperature_cell &c : table.temperatures)
        set[c.reg] = true;
    return set;
}

// SET and the registers of MORE.
constexpr register_set with(register_set set, std::span<const uint8_t> more) {
    for (uint8_t r : more)
        set[r] = true;
    return set;
}

// The registers of SET that are not in READ.
constexpr register_set without(register_set set, const register_set &read) {
    for (size_t r = 0; r < set.size(); r++)
        set[r] = set[r] && !read[r];
    return set;
}

// Every register from the lowest of SET to its highest: a block read whole.
constexpr register_set block_of(register_set set) {
    unsigned low = 256, high = 0;
    for (unsigned r = 0; r < set.size(); r++)
        if (set[r]) {
            low = r < low ? r : low;
            high = r;
        }
    for (unsigned r = low; r <= high && r < set.size(); r++)
        set[r] = true;
    return set;
}

constexpr size_t size_of(const register_set &set) {
    size_t n = 0;
    for (bool in : set)
        n += in;
    return n;
}

// The registers of SET in ascending order, the order in which a reader snapshots them; N is
// size_of(SET).
template <size_t N> constexpr std::array<uint8_t, N> in_register_order(const register_set &set) {
    std::array<uint8_t, N> list{};
    size_t at = 0;
    for (unsigned r = 0; r < set.size(); r++)
        if (set[r])
            list[at++] = static_cast<uint8_t>(r);
    return list;
}
