// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The board catalogue's records: what a run reads (readings), how a supported board is
// recognised and which readings it shows under which names (board, sensor_label), and the
// lookup and listing over the table of supported boards (board_table.h).
#pragma once

#include <array>
#include <span>
#include <stddef.h>
#include <stdint.h>

// A chip's status bit for one reading, or its case-open bit: absent where the chip has none,
// else clear or set. Zero is absent, so a zero-filled record holds no alarm.
enum class alarm_bit : uint8_t { absent = 0, clear, set };

// A limit that a chip holds for a reading, converted as the reading is: what the board would
// report if the reading sat exactly at the limit. Not present where the chip has no such
// limit or its register means "no limit".
template <typename T> struct limit {
    bool present;
    T value;
};

struct voltage_limits {
    // The limit the chip flags the reading under, and the one it flags it over. Kept as the
    // chip holds them: where the firmware never set a window, max may be equal to or under min.
    limit<double> min, max;
    alarm_bit alarm;
};

// Temperature limits are degrees Celsius as the chip keeps them and the kernel's driver reads
// them: signed, a half degree where the chip has one (the W83792D's temp2 and temp3).
struct temperature_limits {
    limit<double> max, max_hyst;   // the chip's (critical) limit and its hysteresis
    limit<double> warn, warn_hyst; // a second, warning level (the W83793G)
    alarm_bit alarm;
};

struct fan_limits {
    limit<uint32_t> min;
    alarm_bit alarm;
};

// The name under which every form shows the case-open bit, and libsensors is told to show it.
inline constexpr const char *intrusion_label = "Chassis intrusion";

// What the board's chips hold beside its readings, cell by cell as the readings: their limits
// and status bits, and the case-open (chassis intrusion) bit. Read only when a report shows
// them; zero-filled (nothing present, no alarm) otherwise.
struct chip_limits {
    std::array<voltage_limits, 15> voltages;
    std::array<temperature_limits, 6> temps;
    std::array<fan_limits, 12> fans;
    alarm_bit intrusion;
};

// What a voltage cell holds: volts, or a register value that the board's chip stores as it is,
// without a scale (the X6DVA's chip at 0x2c).
enum class voltage_unit : uint8_t { volts = 0, register_value };

// The readings of one run. A chip reader fills the cells its chip provides, at positions
// fixed per chip handling; a formatter prints the cells that the board's label lists name.
struct readings {
    std::array<double, 15> voltages; // volts, or as voltage_units says
    // Whole degrees Celsius as the table, CSV and JSON forms show them: a register's plain
    // byte (0xF6 shows 246), or 0 below 1 degree (the W83793G's CPU temperatures).
    std::array<uint64_t, 6> temps;
    // The same temperatures as the chip keeps them and the kernel's driver reads them, in
    // degrees Celsius: signed (0xF6 is -10), whole degrees. A plain register value where the
    // chip's encoding is not known (the X6DVA's chip at 0x2c).
    std::array<double, 6> celsius;
    std::array<uint32_t, 12> fans; // revolutions per minute
    std::array<voltage_unit, 15> voltage_units;
    chip_limits limits;
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

// The size of the buffers that the board's SMBIOS strings are read into, their terminator
// included; no more of them takes part in a comparison.
inline constexpr size_t board_string_size = 128;

// The first row of the board table whose maker and product equal the two strings (each
// compared over at most board_string_size characters), or nullptr.
const board *board_lookup(const char *maker, const char *product);

// Prints the rows of BOARDS as the -l listing.
void list_models(std::span<const board> boards);
