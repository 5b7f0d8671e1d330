// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The chip readers. A reader snapshots its chip's registers first and converts afterwards,
// filling the cells of the readings that its chip's cell table names; it never looks at
// labels. A failed transaction is said on standard error where it happens and travels up as
// EX_IOERR: the reader stops at once and returns it.
#pragma once

#include <stdint.h>

#include "boards/boards.h"
#include "platform/platform.h"
#include "registers/chip_layout.h"

// Each reader returns 0 with its cells filled, or EX_IOERR after a failed transaction, when
// no cell of the chip that failed has been written. WHAT says whether the run reads the
// limits and status bits too: then the reader fills S.limits for the cells of its chips, after
// reading their registers behind the readings' snapshot; else it reads and fills only what it
// always has, the same transactions in the same order.

// Winbond W83792D: voltages 0, 1, 7, 8, 10-14; temps 0-2; fans 0-6.
int w83792d_main(bus_handle &bus, int32_t slave, readings &s, chip_reading what);

// Winbond W83793G: voltages 0-7, 9, 10; temps 0-5; fans 0-11.
int w83793g_main(bus_handle &bus, int32_t slave, readings &s, chip_reading what);

// The two-chip X6DVA arrangement at fixed addresses 0x2c and 0x2f. A failure on the second
// chip comes after the first chip's cells have been written. Only the second chip has limits
// and status bits.
int x6dva_main(bus_handle &bus, readings &s, chip_reading what);
