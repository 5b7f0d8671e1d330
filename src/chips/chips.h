// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// SMBus byte access and the chip readers. A reader snapshots its chip's registers first and
// converts afterwards, filling the cells of the readings that its chip's cell table names; it
// never looks at labels. A failed transaction is said on standard error where it happens and
// travels up as EX_IOERR: the reader stops at once and returns it.
#pragma once

#include <span>
#include <stdint.h>

#include "boards/boards.h"
#include "chips/cells.h"
#include "chips/chip_tables.h"
#include "platform/platform.h"

// The outcome of one read_byte: status 0 and the register's byte, or EX_IOERR.
struct [[nodiscard]] byte_read {
    int status;
    uint8_t value;
};

// One SMBus read-byte-data transaction with register IDXREG of the chip at 7-bit address
// SLAVE on the open device BUS. A failed transaction is said on standard error (unless the
// platform has said it) and gives EX_IOERR; no return line is traced then.
byte_read read_byte(bus_handle &bus, int32_t slave, uint8_t idxreg);

// One SMBus write-byte-data transaction. Returns 0, or EX_IOERR as read_byte fails.
[[nodiscard]] int write_byte(bus_handle &bus, int32_t slave, uint8_t idxreg, uint8_t value);

// Reads the registers of LIST from the chip at SLAVE, one read_byte each in list order, into
// IMAGE, cleared first. Returns 0, or EX_IOERR at the first failed read, the reads after it
// not made.
[[nodiscard]] int read_registers(bus_handle &bus, int32_t slave, std::span<const uint8_t> list,
                                 register_image &image);

// The registers a reader takes from a chip with a layout: the snapshot of its readings, and
// the limit and status registers that a run which shows limits reads after it.
struct chip_reads {
    std::span<const uint8_t> snapshot;
    std::span<const uint8_t> limits;
};

// Reads the chip at SLAVE, whose layout is LAYOUT, told to the platform first with WHAT the
// run reads: the snapshot of READS into IMAGE, then, WITH_LIMITS, its limit registers beside
// them, one read_byte each in list order. Returns 0, or EX_IOERR as read_registers.
[[nodiscard]] int read_chip_registers(bus_handle &bus, int32_t slave, const chip_layout &layout,
                                      chip_reading what, const chip_reads &reads,
                                      register_image &image);

// read_chip_registers from the chip at SLAVE whose cells are CELLS, then its readings (and,
// WITH_LIMITS, its limits and status bits) converted through those cells into S. Returns 0, or
// EX_IOERR with no cell of the chip written.
[[nodiscard]] int read_chip_cells(bus_handle &bus, int32_t slave, const chip_cells &cells,
                                  chip_reading what, const chip_reads &reads, readings &s);

// Each reader returns 0 with its cells filled, or EX_IOERR after a failed transaction, when
// no cell of the chip that failed has been written. WHAT says whether the run reads the
// limits and status bits too: then the reader fills S.limits for the cells of its chips, after
// reading their registers behind the readings' snapshot; else it reads and fills only what it
// always has, the same transactions in the same order.

// Winbond W83792D: voltages 0, 1, 7, 8, 10-14; temps 0-2; fans 0-6.
int w83792d_main(bus_handle &bus, int32_t slave, readings &s, chip_reading what);
// Fan divisor of a 3-bit divisor code: 2 to the power of the code (2 for codes above 7).
uint8_t w83792d_divisor(uint8_t raw);
// Fan speed in RPM of an 8-bit count at a divisor; 0 for the no-reading counts 0 and 0xff.
uint32_t w83792d_rpmconv(uint8_t count, uint32_t div);

// Winbond W83793G: voltages 0-7, 9, 10; temps 0-5; fans 0-11.
int w83793g_main(bus_handle &bus, int32_t slave, readings &s, chip_reading what);
// A CPU temperature register read as signed: below 1 degree shows as 0.
uint8_t w83793g_tempadj(uint8_t raw);
// Fan speed in RPM of a 16-bit count; 0 for the no-reading counts 0 and 0x0fff.
uint32_t w83793g_rpmconv(uint16_t count);

// The two-chip X6DVA arrangement at fixed addresses 0x2c and 0x2f. A failure on the second
// chip comes after the first chip's cells have been written. Only the second chip has limits
// and status bits.
int x6dva_main(bus_handle &bus, readings &s, chip_reading what);
