// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// What the kernel's hardware-monitoring driver of a board's chip shows of the board's
// readings: which of the driver's features (in0, temp1, fan1 ...) feeds each cell, and how the
// board's value follows from the driver's. Worked out from the cell tables and the layouts
// (the driver's steps and offsets), never from numbers of its own; the libsensors
// configuration of a board is written from it. Cells only, by position: which cells a board
// shows and under which names is the board row's business.
#pragma once

#include <optional>
#include <span>
#include <stddef.h>
#include <stdint.h>

#include "boards/boards.h"
#include "boards/readings_walk.h"
#include "chips/cells.h"

// A driver names its features of each kind of reading inN (voltages, counted from in0), tempN
// and fanN (counted from 1).

// The prefix of the driver's features of KIND: "in", "temp", "fan".
const char *feature_prefix(reading_kind kind);
// The number of the first feature of KIND: 0 for voltages, 1 for temperatures and fans.
unsigned first_feature(reading_kind kind);
// How many features of KIND the driver of LAYOUT has, from the first on.
size_t feature_count(const chip_layout &layout, reading_kind kind);

// The board's value as a function of the driver's value X of the feature, both in the
// driver's units (volts, degrees, RPM): (X - DRIVER_OFFSET) * SCALE + BOARD_OFFSET. For a
// voltage, (X - DRIVER_OFFSET) / step is the input's value, which the cell converts; SCALE is
// the cell's factor and gain over the driver's step.
struct feature_compute {
    double scale = 1.0;
    double driver_offset = 0.0;
    double board_offset = 0.0;
};

// Whether the compute gives back the driver's value unchanged (scale 1, equal offsets).
bool is_identity(const feature_compute &c);

// Where the board's value is not the compute of the driver's value: what the cell's conversion
// does that no expression of sums, products, quotients, exponentials and logarithms can.
enum class feature_deviation {
    none,
    // The cell takes the upper eight bits of a 10-bit input: its value is rounded down to
    // four of the driver's steps.
    low_bits_dropped,
    // Whole degrees, and 0 for anything below 1 degree (w83793g_tempadj): the driver shows a
    // fraction of a degree and temperatures below 0.
    clamped_whole_degrees,
    // The register's whole degrees as 0 to 255: the driver shows a fraction of a degree where
    // the chip has one, and a register of 128 or more as a temperature below 0.
    unsigned_whole_degrees,
};

// The driver feature that feeds one cell of the readings.
struct cell_feature {
    reading_kind kind;
    unsigned cell;   // index into the readings' array of the kind
    unsigned number; // the driver's feature number (in3, temp1, fan12)
    feature_compute compute;
    feature_deviation deviation;
};

// The feature of KIND that feeds CELL in the chip of CELLS, if any of its cells is CELL.
std::optional<cell_feature> feature_of_cell(const chip_cells &cells, reading_kind kind,
                                            unsigned cell);

// A chip of a board that a kernel driver serves: the chip at ADDRESS (7-bit), whose cells
// are CELLS and whose layout names the driver.
struct driven_chip {
    const chip_cells *cells;
    uint8_t address;
};

// A chip of a board that no kernel driver serves, read by vantorel alone.
struct driverless_chip {
    const plain_cells *cells;
    uint8_t address;
};

// The chips of a board of chip handling KIND whose chip answers at SLAVE (the board row's
// slave, which the Winbond boards use): the one a kernel driver serves, and the one of the
// X6DVA family that none does. Every chip handling has one of the first kind.
struct board_chips {
    driven_chip driven;
    std::optional<driverless_chip> driverless;
};
std::optional<board_chips> chips_of(chip_kind kind, int32_t slave);

// The features a driver publishes beside its inputs that no board shows, by the name
// libsensors gives them (the w83793 driver's CPU voltage identification codes).
std::span<const char *const> other_features(const chip_layout &layout);
