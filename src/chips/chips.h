// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// SMBus byte access and the chip readers. A reader snapshots its chip's registers first and
// converts afterwards, filling the cells of the readings that its chip handling provides; it
// never looks at labels.
#pragma once

#include <array>
#include <span>
#include <stdint.h>

#include "boards/boards.h"

// One SMBus read-byte-data transaction with register IDXREG of the chip at 7-bit address
// SLAVE. A failed transaction ends the process with EX_IOERR; the call returns only on success.
uint8_t read_byte(int fd, int32_t slave, uint8_t idxreg);

// One SMBus write-byte-data transaction; a failure ends the process like read_byte's.
void write_byte(int fd, int32_t slave, uint8_t idxreg, uint8_t value);

// What a failed transaction does between its message and the end of the process: it calls
// HOOK(CONTEXT) once armed, and nothing after on_bus_failure(nullptr, nullptr). The run
// sequence arms it for the report of a failed run; the message and the status stay the same.
void on_bus_failure(void (*hook)(void *context), void *context);

// A snapshot of a chip's registers, indexed by register number; registers not read are 0.
using register_image = std::array<uint8_t, 256>;

// Reads the registers of LIST from the chip at SLAVE, one read_byte each in list order, into
// a fresh image.
register_image read_registers(int fd, int32_t slave, std::span<const uint8_t> list);

// Winbond W83792D: voltages 0, 1, 7, 8, 10-14; temps 0-2; fans 0-6. Returns 0.
int w83792d_main(int fd, int32_t slave, readings &s);
// Fan divisor of a 3-bit divisor code: 2 to the power of the code (2 for codes above 7).
uint8_t w83792d_divisor(uint8_t raw);
// Fan speed in RPM of an 8-bit count at a divisor; 0 for the no-reading counts 0 and 0xff.
uint32_t w83792d_rpmconv(uint8_t count, uint32_t div);

// The 10-bit voltage reading of register REG of a W83792D-layout image: its eight high bits,
// and the two low bits at SHIFT in LOWREG (0x3E or 0x3F). Shared with the X6DVA reader.
unsigned w83792d_ten_bit(const register_image &image, uint8_t reg, uint8_t lowreg, unsigned shift);

// Fans 0 to N-1 of a W83792D-layout image, converted into s.fans[0..N-1] in fan order, each
// through w83792d_divisor and w83792d_rpmconv. Shared with the X6DVA reader.
inline constexpr unsigned w83792d_fan_count = 7;
void w83792d_fan_speeds(const register_image &image, readings &s, unsigned n);

// Winbond W83793G: voltages 0-7, 9, 10; temps 0-5; fans 0-11. Returns 0.
int w83793g_main(int fd, int32_t slave, readings &s);
// A CPU temperature register read as signed: below 1 degree shows as 0.
uint8_t w83793g_tempadj(uint8_t raw);
// Fan speed in RPM of a 16-bit count; 0 for the no-reading counts 0 and 0x0fff.
uint32_t w83793g_rpmconv(uint16_t count);

// The two-chip X6DVA arrangement at fixed addresses 0x2c and 0x2f. Returns 0.
int x6dva_main(int fd, readings &s);
