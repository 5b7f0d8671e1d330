// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Where a monitoring chip keeps its readings, and how the kernel's hardware-monitoring driver
// for that chip publishes them: plain data that a reader hands to the platform before it reads
// (platform_describe_chip). A platform that reads a chip through the kernel's driver turns the
// driver's attributes back into these registers; the others ignore it.
#pragma once

#include <stdint.h>

#include <span>

// What a run reads of a chip: its readings alone, or its limits and status bits as well.
enum class chip_reading : uint8_t { readings, with_limits };

// One bit of a chip's status registers: the chip sets it while a reading is outside its
// limits (the case-open bit: once the case has been opened, until cleared).
struct status_bit {
    uint8_t reg;
    uint8_t bit;
};

// A voltage input, the driver's inN: its reading register, and for a 10-bit input the
// register and position of its two low bits. The driver publishes the value times STEP_MV
// plus OFFSET_MV, in mV.
//
// Its limits: the high and the low limit register, and its status bit. The limits of a
// 10-bit input are 8-bit, its value with the low bits 0, unless TEN_BIT_LIMITS puts their two
// low bits in HIGH_BITS_REG and LOW_BITS_REG at LOW_SHIFT, as the reading's are. The driver
// publishes a limit (inN_max, inN_min) as it publishes the reading at that value.
struct voltage_input {
    uint8_t reg;
    bool ten_bit = false;
    uint8_t low_reg = 0;
    uint8_t low_shift = 0;
    int16_t step_mv;
    int16_t offset_mv = 0;
    uint8_t high_limit_reg;
    uint8_t low_limit_reg;
    bool ten_bit_limits = false;
    uint8_t high_bits_reg = 0;
    uint8_t low_bits_reg = 0;
    status_bit alarm;
};

// A temperature input, the driver's tempN: its whole-degree register, and its limits, whole
// degrees in the reading's encoding: the limit (tempN_max; the W83793G's critical level) and
// its hysteresis, and where the chip has one (HAS_WARN), a second, warning level and its
// hysteresis (tempN_warn, tempN_warn_hyst). Its status bit follows the first limit.
struct temperature_input {
    uint8_t reg;
    uint8_t max_reg;
    uint8_t max_hyst_reg;
    bool has_warn = false;
    uint8_t warn_reg = 0;
    uint8_t warn_hyst_reg = 0;
    status_bit alarm;
};

// A fan input, the driver's fanN: its count register (the high byte of a 16-bit count, whose
// low byte is in COUNT_LOW_REG), and, on a chip with fan divisors, where its 3-bit divisor
// code sits. The fan turns at FAN_CLOCK / (count * 2^code) revolutions per minute. A fan
// input whose pin the chip's configuration can give to another function MAY_BE_OFF: the
// driver then does not publish it.
//
// Its minimum: a count limit of the count's width (MIN_LOW_REG the low byte of a 16-bit one),
// under the same divisor as the reading; the chip sets the fan's status bit while the count
// is above it, the fan slower. The driver publishes it (fanN_min) as it publishes the reading
// at that count.
struct fan_input {
    uint8_t count_reg;
    bool sixteen_bit = false;
    uint8_t count_low_reg = 0;
    bool divided = false;
    uint8_t divisor_reg = 0;
    uint8_t divisor_shift = 0;
    bool may_be_off = false;
    uint8_t min_reg;
    uint8_t min_low_reg = 0;
    status_bit alarm;
};

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
