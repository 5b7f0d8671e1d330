// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The board catalogue's records: what a run reads (readings), how a supported board is
// recognised and which readings it shows under which names (board, sensor_label), and the
// lookup and listing over the table of supported boards (board_table.h).
#pragma once

#include <array>
#include <span>
#include <stdint.h>

// The readings of one run. A chip reader fills the cells its chip provides, at positions
// fixed per chip handling; a formatter prints the cells that the board's label lists name.
struct readings {
    std::array<double, 15> voltages; // volts
    std::array<uint64_t, 6> temps;   // whole degrees Celsius
    std::array<uint32_t, 12> fans;   // revolutions per minute
};

// One entry of a label list: which cell to print, and under which name.
struct sensor_label {
    unsigned index;
    const char *label;
};

using label_list = std::span<const sensor_label>;

// The chip handlings, with the numeric values the board table gives them.
enum class chip_kind : uint64_t {
    x6dva = 0,   // two chips at fixed addresses 0x2c and 0x2f
    w83792d = 1, // Winbond W83792D
    w83793g = 2, // Winbond W83793G
};

// The slave value of a row whose reader addresses fixed chips of its own.
inline constexpr int32_t SLAVE_CUSTOM = -1;

// One supported board.
struct board {
    const char *maker;   // SMBIOS baseboard manufacturer, exactly as the firmware reports it
    const char *product; // SMBIOS baseboard product name
    chip_kind chip;
    int32_t slave; // 7-bit SMBus address of the monitoring chip, or SLAVE_CUSTOM
    label_list voltages;
    label_list temps;
    label_list fans;
};

// Display name of a chip kind; "Unknown" for anything but the three handlings.
const char *chip_name(chip_kind kind);

// The first row of the board table whose maker and product equal the two strings (each
// compared over at most 128 characters), or nullptr.
const board *board_lookup(const char *maker, const char *product);

// Prints the rows of BOARDS as the -l listing.
void list_models(std::span<const board> boards);
