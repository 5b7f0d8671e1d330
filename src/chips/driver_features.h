// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// What the kernel's hardware-monitoring driver of a board's chip shows of the board's
// readings: which of the driver's features (in0, temp1, fan1 ...) feeds each cell, and how the
// board's value follows from the driver's. Worked out from the cell tables and the layouts
// (the driver's steps and offsets), never from numbers of its own, into the record that the
// libsensors configuration is written from (boards/board_features.h).
#pragma once

#include <optional>
#include <span>
#include <stddef.h>
#include <stdint.h>

#include "boards/boards.h"
#include "boards/board_features.h"
#include "boards/readings_walk.h"
#include "chips/cells.h"

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

// The chips of a board: the one a kernel driver serves, and the one of the X6DVA family that
// none does. Every chip handling has one of the first kind.
struct board_chips {
    driven_chip driven;
    std::optional<driverless_chip> driverless;
};

// The chips of board B, by its chip kind and, for the Winbond boards, its row's address; none
// for a row whose kind has no chips or whose address is no 7-bit one. The dispatch over the
// chip kinds (chips.cpp) defines it.
std::optional<board_chips> chips_of(const board &b);

// The features a driver publishes beside its inputs that no board shows, by the name
// libsensors gives them (the w83793 driver's CPU voltage identification codes).
std::span<const char *const> other_features(const chip_layout &layout);

// The record of what the drivers show of CHIPS.
board_features features_of(const board_chips &chips);
