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
#include "registers/chip_layout.h"
#include "registers/registers.h"

// voltages[CELL] from input INPUT of the chip's layout (its inN): the input's value times
// FACTOR, that product times GAIN where the board divides the rail before the input (the
// negative and 12 V rails), then OFFSET added. The steps are taken one by one, in this order,
// and only those that the cell has: (x * 0.032) * -12.0 is not x * 0.384 in doubles, and
// adding 0.0 would turn a negative zero positive. A HIGH_BYTE_ONLY cell takes the high byte
// of the input's fields alone (register_field::high_byte), even where the input has low bits.
struct voltage_cell {
    uint8_t cell;
    uint8_t input;
    double factor;
    double gain = 1.0;
    double offset = 0.0;
    bool high_byte_only = false;
};

// How the table, CSV and JSON forms show a temperature register: its unsigned value (0 to
// 255 degrees), or two's complement with nothing below 1 degree shown (w83793g_tempadj). The
// other forms, the verdicts and the limits take every register signed, as the chip does.
enum class temperature_reading { plain, positive_signed };

// temps[CELL] and celsius[CELL] from whole-degree register INPUT of the chip's layout (its
// tempN+1).
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
// rail (a zero register then gives negative zero); temps[CELL] and celsius[CELL] its value in
// degrees, its encoding not known.
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

// Which of a voltage input's values: its reading, or one of its two limits.
enum class voltage_value { reading, high_limit, low_limit };

// Where the value WHICH of CELL's input lives, as the cell takes it.
constexpr register_field field_of(const chip_layout &layout, const voltage_cell &cell,
                                  voltage_value which) {
    const voltage_input &in = layout.voltages[cell.input];
    const register_field &f = which == voltage_value::reading      ? in.reading
                              : which == voltage_value::high_limit ? in.high_limit
                                                                   : in.low_limit;
    return cell.high_byte_only ? f.high_byte() : f;
}

// Fills the cells of TABLE from IMAGE, a snapshot of the chip: voltages, then temperatures,
// then fans, each in table order (the order of the conversions' trace lines).
void convert_cells(const chip_cells &table, const register_image &image, readings &s);
void convert_cells(const plain_cells &table, const register_image &image, readings &s);

// --- limits and status bits ---

// Fills the limits of the cells of TABLE, and the case-open bit, from IMAGE, a snapshot of
// the chip that holds its limit and status registers beside those of the readings. Each limit
// converts through its reading's cell: what the board would report if the reading sat exactly
// at the limit, but for a temperature, whose limits are the chip's signed degrees with any
// half degree they have. A voltage's min is its converted low limit and its max its high
// limit, swapped on a cell with a negative gain (which turns the high limit into the lower
// value), and never sorted: a window that the chip holds inverted (its high register under
// its low one) has its max under its min, and equal registers give equal limits. A fan's
// minimum count of 0, or the chip's no-reading count or above, is no minimum. Voltages, then
// temperatures, then fans, in table order, as convert_cells.
void convert_limits(const chip_cells &table, const register_image &image, chip_limits &l);

// --- the registers a table needs, worked out at compile time ---

// Every register that the cells of TABLE convert from.
constexpr register_set registers_of(const chip_cells &table) {
    register_set set{};
    for (const voltage_cell &c : table.voltages)
        field_of(table.layout, c, voltage_value::reading).add_to(set);
    for (const temperature_cell &c : table.temperatures)
        table.layout.temperatures[c.input].reading.add_to(set);
    for (const fan_cell &c : table.fans) {
        const fan_input &f = table.layout.fans[c.input];
        f.count.add_to(set);
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
        field_of(table.layout, c, voltage_value::high_limit).add_to(set);
        field_of(table.layout, c, voltage_value::low_limit).add_to(set);
        table.layout.voltages[c.input].alarm.add_to(set);
    }
    for (const temperature_cell &c : table.temperatures) {
        const temperature_input &t = table.layout.temperatures[c.input];
        t.max.add_to(set);
        t.max_hyst.add_to(set);
        if (t.has_warn) {
            t.warn.add_to(set);
            t.warn_hyst.add_to(set);
        }
        t.alarm.add_to(set);
    }
    for (const fan_cell &c : table.fans) {
        const fan_input &f = table.layout.fans[c.input];
        f.min.add_to(set);
        f.alarm.add_to(set);
    }
    table.layout.intrusion.add_to(set);
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
