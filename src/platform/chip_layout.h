// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Where a monitoring chip keeps its readings, and how the kernel's hardware-monitoring driver
// for that chip publishes them: plain data that a reader hands to the platform before it reads
// (platform_describe_chip). A platform that reads a chip through the kernel's driver turns the
// driver's attributes back into these registers; the others ignore it.
#pragma once

#include <stdint.h>

#include <span>

// A voltage input, the driver's inN: its reading register, and for a 10-bit input the
// register and position of its two low bits. The driver publishes the value times STEP_MV
// plus OFFSET_MV, in mV.
struct voltage_input {
    uint8_t reg;
    bool ten_bit = false;
    uint8_t low_reg = 0;
    uint8_t low_shift = 0;
    int16_t step_mv;
    int16_t offset_mv = 0;
};

// A fan input, the driver's fanN: its count register (the high byte of a 16-bit count, whose
// low byte is in COUNT_LOW_REG), and, on a chip with fan divisors, where its 3-bit divisor
// code sits. The fan turns at FAN_CLOCK / (count * 2^code) revolutions per minute. A fan
// input whose pin the chip's configuration can give to another function MAY_BE_OFF: the
// driver then does not publish it.
struct fan_input {
    uint8_t count_reg;
    bool sixteen_bit = false;
    uint8_t count_low_reg = 0;
    bool divided = false;
    uint8_t divisor_reg = 0;
    uint8_t divisor_shift = 0;
    bool may_be_off = false;
};

// The clock that both chips' fan counters count during one revolution, in Hz.
inline constexpr uint32_t fan_clock = 1350000;

// How the driver adds the fraction bits below a whole-degree temperature register (two's
// complement) to its millidegrees: away from zero, or upward (toward plus infinity).
enum class temperature_fraction { away_from_zero, upward };

struct chip_layout {
    const char *driver;                      // the name of the kernel's driver for the chip
    std::span<const voltage_input> voltages; // in0, in1, ...
    std::span<const uint8_t> temperatures;   // temp1, temp2, ...: whole-degree registers
    temperature_fraction fraction;
    std::span<const fan_input> fans; // fan1, fan2, ...
    // The count that means "no reading": all of the count bits that the driver reads set.
    uint16_t no_reading_count;
};
