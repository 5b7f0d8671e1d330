// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// What the kernel's hardware-monitoring driver of a board's chip shows, as a record beside
// the readings: every feature of the driver (in0, temp1, fan1 ... and those that feed no
// reading), which cell of the readings each feeds, and how the board's value follows from
// the driver's; and the chip that no driver serves, with the cells it feeds. The readers fill
// it from their cell tables; the libsensors configuration (-S) is written from it. Cells only,
// by position: which cells a board shows and under which names is the board row's business.
#pragma once

#include "boards/readings_walk.h"

#include <array>
#include <span>
#include <stddef.h>
#include <stdint.h>

// The board's value as a function of the driver's value X of the feature, both in the
// driver's units (volts, degrees, RPM): (X - DRIVER_OFFSET) * SCALE + BOARD_OFFSET. For a
// voltage, (X - DRIVER_OFFSET) / step is the input's value, which the cell converts; SCALE is
// the cell's factor and gain over the driver's step.
struct feature_compute {
    double scale = 1.0;
    double driver_offset = 0.0;
    double board_offset = 0.0;
};

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

// One feature of a driver, by the name libsensors gives it ("in3", "temp1", "cpu0_vid").
// A feature that FEEDS a cell gives the reading of KIND at CELL, as COMPUTE and DEVIATION say;
// an input's feature carries its NUMBER (3 for in3).
struct driver_feature {
    char name[16];
    bool feeds = false;
    reading_kind kind = reading_kind::voltage;
    unsigned number = 0;
    unsigned cell = 0;
    feature_compute compute;
    feature_deviation deviation = feature_deviation::none;
};

// A list of at most N items, in the order added.
template <typename T, size_t N> class bounded_list {
  public:
    // Adds ITEM at the end; false, the list unchanged, when it is full.
    bool add(const T &item) {
        if (count_ == items_.size())
            return false;
        items_[count_++] = item;
        return true;
    }
    std::span<const T> list() const {
        return {items_.data(), count_};
    }

  private:
    std::array<T, N> items_{};
    size_t count_ = 0;
};

// Room for every feature of a driver: the w83793 driver's 28 inputs and its two VID codes.
inline constexpr size_t max_driver_features = 32;

// A chip of a board that a kernel driver serves: the chip at ADDRESS (7-bit), served by the
// driver named DRIVER, and the driver's features in its order (voltages, temperatures, fans,
// then the others).
struct driven_chip_features {
    const char *driver = nullptr;
    uint8_t address = 0;
    bounded_list<driver_feature, max_driver_features> features;
};

// A cell of the readings.
struct reading_cell {
    reading_kind kind;
    unsigned cell;
};

// Room for the cells of a chip that no driver serves: the X6DVA's at 0x2c feeds seven.
inline constexpr size_t max_driverless_cells = 16;

// A chip of a board that no kernel driver serves, read by vantorel alone (PRESENT), at
// ADDRESS, and the cells it feeds.
struct driverless_chip_features {
    bool present = false;
    uint8_t address = 0;
    bounded_list<reading_cell, max_driverless_cells> cells;
};

// What the drivers show of one board's chips: every chip handling has one chip that a kernel
// driver serves; the X6DVA family has one beside it that none does.
struct board_features {
    driven_chip_features driven;
    driverless_chip_features driverless;
};
