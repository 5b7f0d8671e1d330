// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The conversions of the cell tables, and the loops that fill the readings and the limits of
// a chip's cells from an image of its registers.
#include "chips/cells.h"
#include "chips/conversions.h"

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

// The whole degrees of a temperature field in IMAGE, its byte as the chip encodes it; the
// cells leave out any bits below a degree.
static uint8_t degrees(const register_field &field, const register_image &image) {
    return static_cast<uint8_t>(field.value(image) >> field.low_bits);
}

void convert_cells(const chip_cells &table, const register_image &image, readings &s) {
    const chip_layout &layout = table.layout;
    for (const voltage_cell &c : table.voltages)
        s.voltages[c.cell] = convert(c, field_of(layout, c, voltage_value::reading).value(image));
    for (const temperature_cell &c : table.temperatures) {
        const register_field &f = layout.temperatures[c.input].reading;
        s.temps[c.cell] = convert(c, degrees(f, image));
        s.celsius[c.cell] = temperature_steps(f, image) >> f.low_bits;
    }
    for (const fan_cell &c : table.fans) {
        const fan_input &f = layout.fans[c.input];
        s.fans[c.cell] = convert(f, f.count.value(image), divisor_code(image, f));
    }
}

// A limit of VALUE, present.
template <typename T> static limit<T> at(T value) {
    return {true, value};
}

static alarm_bit alarm_of(const register_image &image, status_bit bit) {
    return bit.value(image) ? alarm_bit::set : alarm_bit::clear;
}

void convert_limits(const chip_cells &table, const register_image &image, chip_limits &l) {
    const chip_layout &layout = table.layout;
    for (const voltage_cell &c : table.voltages) {
        // The chip flags the input over its high register and under its low one. A cell that
        // turns the scale around (a negative rail) turns the high register into the lower
        // value: the limit it is the min of. The two keep their roles, never their order, so
        // that a window whose high register lies under its low one stays inverted, max under
        // min, as the chip compares it.
        const double high = convert(c, field_of(layout, c, voltage_value::high_limit).value(image));
        const double low = convert(c, field_of(layout, c, voltage_value::low_limit).value(image));
        const bool turned = (c.factor < 0) != (c.gain < 0);
        voltage_limits &v = l.voltages[c.cell];
        v.min = at(turned ? high : low);
        v.max = at(turned ? low : high);
        v.alarm = alarm_of(image, layout.voltages[c.input].alarm);
    }
    for (const temperature_cell &c : table.temperatures) {
        const temperature_input &in = layout.temperatures[c.input];
        temperature_limits &t = l.temps[c.cell];
        t.max = at(temperature_degrees(in.max, image));
        t.max_hyst = at(temperature_degrees(in.max_hyst, image));
        if (in.has_warn) {
            t.warn = at(temperature_degrees(in.warn, image));
            t.warn_hyst = at(temperature_degrees(in.warn_hyst, image));
        }
        t.alarm = alarm_of(image, in.alarm);
    }
    for (const fan_cell &c : table.fans) {
        const fan_input &f = layout.fans[c.input];
        fan_limits &fl = l.fans[c.cell];
        const unsigned count = f.min.value(image);
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
    for (const plain_temperature_cell &c : table.temperatures) {
        s.temps[c.cell] = convert(c, image[c.reg]);
        s.celsius[c.cell] = static_cast<double>(s.temps[c.cell]);
    }
}
