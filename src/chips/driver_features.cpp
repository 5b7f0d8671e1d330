// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The driver's view of the cells, from the cell tables and the layouts.
#include "chips/driver_features.h"
#include "chips/chip_tables.h"
#include "registers/driver_numbering.h"

#include <math.h>
#include <string.h>

namespace {

// The driver's numbering of the inputs that feed readings of KIND.
constexpr driver_input input_of(reading_kind kind) {
    switch (kind) {
    case reading_kind::voltage:
        return driver_input::voltage;
    case reading_kind::temperature:
        return driver_input::temperature;
    case reading_kind::fan:
        break;
    }
    return driver_input::fan;
}

} // namespace

const char *feature_prefix(reading_kind kind) {
    return numbering_of(input_of(kind)).prefix;
}

unsigned first_feature(reading_kind kind) {
    return numbering_of(input_of(kind)).first;
}

size_t feature_count(const chip_layout &layout, reading_kind kind) {
    return inputs_of(layout, input_of(kind));
}

bool is_identity(const feature_compute &c) {
    // The scales come out of a quotient of decimal constants: 0.024 / 0.024 may miss 1 by an
    // ulp, which is no scale at all.
    return fabs(c.scale - 1.0) < 1e-12 && fabs(c.driver_offset - c.board_offset) < 1e-12;
}

namespace {

// A voltage cell: the driver publishes the reading's value * step + offset in mV, the cell
// converts the value as its field takes it (the upper eight bits alone: the value over 2^low
// bits) by factor, gain and offset.
cell_feature voltage_feature(const chip_layout &layout, const voltage_cell &c) {
    const voltage_input &in = layout.voltages[c.input];
    const unsigned dropped =
        in.reading.low_bits - field_of(layout, c, voltage_value::reading).low_bits;
    const double step = in.step_mv / 1000.0;
    const double scale = c.factor * c.gain / step / static_cast<double>(1u << dropped);
    return {reading_kind::voltage,
            c.cell,
            first_feature(reading_kind::voltage) + c.input,
            {scale, in.offset_mv / 1000.0, c.offset},
            dropped != 0 ? feature_deviation::low_bits_dropped : feature_deviation::none};
}

// A temperature cell shows whole degrees of the driver's degrees.
cell_feature temperature_feature(const temperature_cell &c) {
    feature_deviation deviation = feature_deviation::unsigned_whole_degrees;
    switch (c.reading) {
    case temperature_reading::plain:
        break;
    case temperature_reading::positive_signed:
        deviation = feature_deviation::clamped_whole_degrees;
        break;
    }
    return {reading_kind::temperature,
            c.cell,
            first_feature(reading_kind::temperature) + c.input,
            {},
            deviation};
}

// A fan cell shows the driver's RPM: both compute the clock over the count and divisor.
cell_feature fan_feature(const fan_cell &c) {
    return {reading_kind::fan,
            c.cell,
            first_feature(reading_kind::fan) + c.input,
            {},
            feature_deviation::none};
}

} // namespace

std::optional<cell_feature> feature_of_cell(const chip_cells &cells, reading_kind kind,
                                            unsigned cell) {
    switch (kind) {
    case reading_kind::voltage:
        for (const voltage_cell &c : cells.voltages)
            if (c.cell == cell)
                return voltage_feature(cells.layout, c);
        break;
    case reading_kind::temperature:
        for (const temperature_cell &c : cells.temperatures)
            if (c.cell == cell)
                return temperature_feature(c);
        break;
    case reading_kind::fan:
        for (const fan_cell &c : cells.fans)
            if (c.cell == cell)
                return fan_feature(c);
        break;
    }
    return std::nullopt;
}

std::optional<board_chips> chips_of(chip_kind kind, int32_t slave) {
    // A Winbond board's chip answers at its row's address, a 7-bit one.
    const bool addressed = slave >= 0 && slave <= 0x7f;
    const auto address = static_cast<uint8_t>(slave);
    switch (kind) {
    case chip_kind::w83793g:
        if (!addressed)
            break;
        return board_chips{{&w83793g_cells, address}, std::nullopt};
    case chip_kind::w83792d:
        if (!addressed)
            break;
        return board_chips{{&w83792d_cells, address}, std::nullopt};
    case chip_kind::x6dva:
        return board_chips{{&x6dva_second_cells, x6dva_second_address},
                           driverless_chip{&x6dva_first_cells, x6dva_first_address}};
    }
    return std::nullopt;
}

std::span<const char *const> other_features(const chip_layout &layout) {
    // The w83793 driver publishes the two CPUs' voltage identification codes where the chip
    // has its VID inputs enabled.
    static constexpr const char *w83793_vid[] = {"cpu0_vid", "cpu1_vid"};
    if (strcmp(layout.driver, w83793g_layout.driver) == 0)
        return w83793_vid;
    return {};
}
