// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The chips' named conversions: pure functions of one register value, each tracing its
// argument and its result.
#pragma once

#include <stdint.h>

// The fan counts that mean "no reading": every count bit that each chip's driver reads set.
inline constexpr uint16_t w83792d_no_reading_count = 0xff;
inline constexpr uint16_t w83793g_no_reading_count = 0x0fff;

// W83792D fan divisor of a 3-bit divisor code: 2 to the power of the code (2 for codes
// above 7).
uint8_t w83792d_divisor(uint8_t raw);
// W83792D fan speed in RPM of an 8-bit count at a divisor; 0 for the no-reading counts 0 and
// 0xff.
uint32_t w83792d_rpmconv(uint8_t count, uint32_t div);

// A W83793G CPU temperature register read as signed: below 1 degree shows as 0.
uint8_t w83793g_tempadj(uint8_t raw);
// W83793G fan speed in RPM of a 16-bit count; 0 for the no-reading counts 0 and 0x0fff.
uint32_t w83793g_rpmconv(uint16_t count);
