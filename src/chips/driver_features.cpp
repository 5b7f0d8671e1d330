// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The driver's view of the cells, from the cell tables and the layouts.
#include "chips/driver_features.h"
#include "chips/chip_tables.h"
#include "registers/driver_numbering.h"

#include <iterator>
#include <stdio.h>
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

unsigned first_feature(reading_kind kind) {
    return numbering_of(input_of(kind)).first;
}

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

std::span<const char *const> other_features(const chip_layout &layout) {
    // The w83793 driver publishes the two CPUs' voltage identification codes where the chip
    // has its VID inputs enabled.
    static constexpr const char *w83793_vid[] = {"cpu0_vid", "cpu1_vid"};
    if (strcmp(layout.driver, w83793g_layout.driver) == 0)
        return w83793_vid;
    return {};
}

namespace {

// The feature of input INPUT of KIND: named by the driver's numbering, and what it feeds
// where a cell of CELLS takes the input. A cell table takes each input at most once.
driver_feature input_feature(const chip_cells &cells, reading_kind kind, unsigned input) {
    driver_feature f;
    f.kind = kind;
    f.number = first_feature(kind) + input;
    snprintf(f.name, sizeof f.name, "%s%u", numbering_of(input_of(kind)).prefix, f.number);
    std::optional<cell_feature> fed;
    switch (kind) {
    case reading_kind::voltage:
        for (const voltage_cell &c : cells.voltages)
            if (c.input == input)
                fed = voltage_feature(cells.layout, c);
        break;
    case reading_kind::temperature:
        for (const temperature_cell &c : cells.temperatures)
            if (c.input == input)
                fed = temperature_feature(c);
        break;
    case reading_kind::fan:
        for (const fan_cell &c : cells.fans)
            if (c.input == input)
                fed = fan_feature(c);
        break;
    }
    if (fed) {
        f.feeds = true;
        f.cell = fed->cell;
        f.compute = fed->compute;
        f.deviation = fed->deviation;
    }
    return f;
}

} // namespace

static_assert(std::size(w83793g_inputs) + w83793g_temperatures.size() + w83793g_fans.size() + 2 <=
                      max_driver_features &&
                  std::size(w83792d_inputs) + std::size(w83792d_temperatures) +
                          w83792d_fans.size() <=
                      max_driver_features,
              "the record holds every feature of each driver");
static_assert(x6dva_first_cells.voltages.size() + x6dva_first_cells.temperatures.size() <=
                  max_driverless_cells,
              "the record holds every cell of the chip without a driver");

board_features features_of(const board_chips &chips) {
    board_features f;
    const chip_cells &cells = *chips.driven.cells;
    f.driven.driver = cells.layout.driver;
    f.driven.address = chips.driven.address;
    for (reading_kind kind : {reading_kind::voltage, reading_kind::temperature, reading_kind::fan})
        for (size_t i = 0; i < inputs_of(cells.layout, input_of(kind)); i++)
            f.driven.features.add(input_feature(cells, kind, static_cast<unsigned>(i)));
    for (const char *other : other_features(cells.layout)) {
        driver_feature o;
        snprintf(o.name, sizeof o.name, "%s", other);
        f.driven.features.add(o);
    }
    if (chips.driverless) {
        f.driverless.present = true;
        f.driverless.address = chips.driverless->address;
        for (const plain_voltage_cell &c : chips.driverless->cells->voltages)
            f.driverless.cells.add({reading_kind::voltage, c.cell});
        for (const plain_temperature_cell &c : chips.driverless->cells->temperatures)
            f.driverless.cells.add({reading_kind::temperature, c.cell});
    }
    return f;
}
