// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Where a monitoring chip keeps its readings, and how the kernel's hardware-monitoring driver
// for that chip publishes them: plain data that a reader hands to the platform before it reads
// (platform_describe_chip). A platform that reads a chip through the kernel's driver turns the
// driver's attributes back into these registers; the others ignore it.
#pragma once

#include <stdint.h>

#include <span>

#include "registers/registers.h"

// What a run reads of a chip: its readings alone, or its limits and status bits as well.
enum class chip_reading : uint8_t { readings, with_limits };

// A voltage input, the driver's inN: where its reading lives (a 10-bit input's two low bits
// below it). The driver publishes the value times STEP_MV plus OFFSET_MV, in mV.
//
// Its limits: the high and the low limit, on the reading's scale (the 8-bit limit of a 10-bit
// input is its value with the low bits 0, unless the chip keeps their low bits too), and its
// status bit. The driver publishes a limit (inN_max, inN_min) as it publishes the reading at
// that value.
struct voltage_input {
    register_field reading;
    int16_t step_mv;
    int16_t offset_mv = 0;
    register_field high_limit;
    register_field low_limit;
    status_bit alarm;
};

// A temperature input, the driver's tempN: its whole-degree register, and its limits in the
// reading's encoding: the limit (tempN_max; the W83793G's critical level) and its hysteresis,
// and where the chip has one (HAS_WARN), a second, warning level and its hysteresis
// (tempN_warn, tempN_warn_hyst). Its status bit follows the first limit.
//
// Every field is two's complement: its register holds signed whole degrees (0x80 is -128,
// 0xF6 is -10, 0x7F the ceiling of 127), and a field with low bits (the W83792D's half-degree
// bit below temp2's and temp3's limits) counts in steps of 2^-low_bits degrees, the whole
// field a signed number of them.
struct temperature_input {
    register_field reading;
    register_field max;
    register_field max_hyst;
    bool has_warn = false;
    register_field warn = {};
    register_field warn_hyst = {};
    status_bit alarm;
};

// A fan input, the driver's fanN: its count (8 bits, or 16 with a low byte), and, on a chip
// with fan divisors, where its 3-bit divisor code sits. The fan turns at FAN_CLOCK / (count *
// 2^code) revolutions per minute. A fan input whose pin the chip's configuration can give to
// another function MAY_BE_OFF: the driver then does not publish it.
//
// Its minimum: a count limit of the count's width, under the same divisor as the reading;
// the chip sets the fan's status bit while the count is above it, the fan slower. The driver
// publishes it (fanN_min) as it publishes the reading at that count.
struct fan_input {
    register_field count;
    bool divided = false;
    uint8_t divisor_reg = 0;
    uint8_t divisor_shift = 0;
    bool may_be_off = false;
    register_field min;
    status_bit alarm;
};

// The signed value of temperature field F in IMAGE, in steps of 2^-low_bits degrees.
constexpr int temperature_steps(const register_field &f, const register_image &image) {
    const int v = static_cast<int>(f.value(image));
    const int sign = 1 << (7 + f.low_bits);
    return v & sign ? v - 2 * sign : v;
}

// The degrees Celsius of temperature field F in IMAGE, as the kernel's driver reads them.
constexpr double temperature_degrees(const register_field &f, const register_image &image) {
    return static_cast<double>(temperature_steps(f, image)) / (1 << f.low_bits);
}

// Stores STEPS, a signed number of 2^-low_bits degrees, into temperature field F of IMAGE as
// the chip encodes it. False, IMAGE untouched, for a value the field cannot hold.
constexpr bool store_temperature_steps(const register_field &f, long steps, register_image &image) {
    const long sign = 1L << (7 + f.low_bits);
    if (steps < -sign || steps >= sign)
        return false;
    return f.store(steps < 0 ? steps + 2 * sign : steps, image);
}

// The 3-bit divisor code of fan input FAN in IMAGE; 0 for a fan without divisor.
constexpr unsigned divisor_code(const register_image &image, const fan_input &fan) {
    return fan.divided ? (image[fan.divisor_reg] >> fan.divisor_shift) & 7u : 0u;
}

// The clock that both chips' fan counters count during one revolution, in Hz.
inline constexpr uint32_t fan_clock = 1350000;

// How the driver adds the fraction bits below a whole-degree temperature register (two's
// complement) to its millidegrees: away from zero, or upward (toward plus infinity).
enum class temperature_fraction { away_from_zero, upward };

struct chip_layout {
    const char *driver;                              // the name of the kernel's driver for the chip
    std::span<const voltage_input> voltages;         // in0, in1, ...
    std::span<const temperature_input> temperatures; // temp1, temp2, ...
    temperature_fraction fraction;
    std::span<const fan_input> fans; // fan1, fan2, ...
    // The count that means "no reading": all of the count bits that the driver reads set.
    uint16_t no_reading_count;
    // The case-open bit (the driver's intrusion0_alarm). Reading it clears nothing.
    status_bit intrusion;
};
