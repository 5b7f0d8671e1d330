// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The conversions of the cell tables, and the loops that fill a reader's cells from its
// snapshot.
#include "chips/cells.h"
#include "chips/chips.h"

double convert(const voltage_cell &cell, unsigned value) {
    double volts = value * cell.factor;
    if (cell.gain != 1.0)
        volts *= cell.gain;
    if (cell.offset != 0.0) // 0.0 added to -0.0 would give +0.0
        volts += cell.offset;
    return volts;
}

uint64_t convert(const temperature_cell &cell, uint8_t raw) {
    switch (cell.reading) {
    case temperature_reading::plain:
        break;
    case temperature_reading::positive_signed:
        return w83793g_tempadj(raw);
    }
    return raw;
}

double convert(const plain_voltage_cell &cell, uint8_t raw) {
    return cell.negated ? -static_cast<double>(raw) : raw;
}

uint64_t convert(const plain_temperature_cell &, uint8_t raw) {
    return raw;
}

uint32_t convert(const fan_input &fan, unsigned count, unsigned divisor_code) {
    if (fan.divided)
        return w83792d_rpmconv(static_cast<uint8_t>(count),
                               w83792d_divisor(static_cast<uint8_t>(divisor_code)));
    return w83793g_rpmconv(static_cast<uint16_t>(count));
}

void convert_cells(const chip_cells &table, const register_image &image, readings &s) {
    const chip_layout &layout = table.layout;
    for (const voltage_cell &c : table.voltages)
        s.voltages[c.cell] = convert(c, cell_value(image, layout, c));
    for (const temperature_cell &c : table.temperatures)
        s.temps[c.cell] = convert(c, image[layout.temperatures[c.input].reg]);
    for (const fan_cell &c : table.fans) {
        const fan_input &f = layout.fans[c.input];
        s.fans[c.cell] = convert(f, fan_count(image, f), divisor_code(image, f));
    }
}

// A limit of VALUE, present.
template <typename T> static limit<T> at(T value) {
    return {true, value};
}

void convert_limits(const chip_cells &table, const register_image &image, chip_limits &l) {
    const chip_layout &layout = table.layout;
    for (const voltage_cell &c : table.voltages) {
        const double high = convert(c, cell_limit_value(image, layout, c, voltage_limit::high));
        const double low = convert(c, cell_limit_value(image, layout, c, voltage_limit::low));
        voltage_limits &v = l.voltages[c.cell];
        v.min = at(low < high ? low : high);
        v.max = at(low < high ? high : low);
        v.alarm = alarm_of(image, layout.voltages[c.input].alarm);
    }
    for (const temperature_cell &c : table.temperatures) {
        const temperature_input &in = layout.temperatures[c.input];
        temperature_limits &t = l.temps[c.cell];
        t.max = at(convert(c, image[in.max_reg]));
        t.max_hyst = at(convert(c, image[in.max_hyst_reg]));
        if (in.has_warn) {
            t.warn = at(convert(c, image[in.warn_reg]));
            t.warn_hyst = at(convert(c, image[in.warn_hyst_reg]));
        }
        t.alarm = alarm_of(image, in.alarm);
    }
    for (const fan_cell &c : table.fans) {
        const fan_input &f = layout.fans[c.input];
        fan_limits &fl = l.fans[c.cell];
        const unsigned count = fan_min_count(image, f);
        if (count != 0 && count < layout.no_reading_count)
            fl.min = at(convert(f, count, divisor_code(image, f)));
        fl.alarm = alarm_of(image, f.alarm);
    }
    l.intrusion = alarm_of(image, layout.intrusion);
}

void convert_cells(const plain_cells &table, const register_image &image, readings &s) {
    for (const plain_voltage_cell &c : table.voltages) {
        s.voltages[c.cell] = convert(c, image[c.reg]);
        s.voltage_units[c.cell] = voltage_unit::register_value;
    }
    for (const plain_temperature_cell &c : table.temperatures)
        s.temps[c.cell] = convert(c, image[c.reg]);
}
