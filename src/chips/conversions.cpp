// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The chips' named conversions.
#include "chips/conversions.h"
#include "registers/chip_layout.h"
#include "trace/trace.h"

uint8_t w83792d_divisor(uint8_t raw) {
    debug_print("w83792d_divisor(raw = 0x%02x)\n", raw);
    uint8_t div = raw < 8 ? static_cast<uint8_t>(1u << raw) : 2;
    debug_print("w83792d_divisor() returning 0x%02x\n", div);
    return div;
}

uint32_t w83792d_rpmconv(uint8_t count, uint32_t div) {
    debug_print("w83792d_rpmconv(count = 0x%02x, div = %u)\n", count, div);
    uint32_t rpm = 0;
    if (count != 0 && count != w83792d_no_reading_count && div != 0)
        rpm = fan_clock / (count * div);
    debug_print("w83792d_rpmconv() returning 0x%08x\n", rpm);
    return rpm;
}

uint8_t w83793g_tempadj(uint8_t raw) {
    debug_print("w83793g_tempadj(raw = 0x%02x)\n", raw);
    // The CPU temperature registers are two's complement; nothing below 1 degree is shown.
    uint8_t t = static_cast<int8_t>(raw) > 0 ? raw : 0;
    debug_print("w83793g_tempadj() returning 0x%02x\n", t);
    return t;
}

uint32_t w83793g_rpmconv(uint16_t count) {
    debug_print("w83793g_rpmconv(count = 0x%04x)\n", count);
    // 0x0fff is the chip's "no reading" count; 0xffff is an ordinary (very slow) one.
    uint32_t rpm = count == 0 || count == w83793g_no_reading_count ? 0 : fan_clock / count;
    debug_print("w83793g_rpmconv() returning 0x%08x\n", rpm);
    return rpm;
}
