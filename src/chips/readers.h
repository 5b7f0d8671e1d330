// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The chip readers. A reader snapshots its chip's registers first and converts afterwards,
// filling the cells of the readings that its chip's cell table names; it never looks at
// labels. A failed transaction is said on standard error where it happens and travels up as
// EX_IOERR: the reader stops at once and returns it.
//
// Each reader returns 0 with its cells filled, or EX_IOERR after a failed transaction, when
// no cell of the chip that failed has been written. WHAT says whether the run reads the
// limits and status bits too: then the reader fills S.limits for the cells of its chips, after
// reading their registers behind the readings' snapshot; else it reads and fills only what it
// always has, the same transactions in the same order.
#pragma once

#include <stdint.h>

#include "boards/boards.h"
#include "chips/cell_read.h"
#include "chips/cells.h"
#include "chips/identity.h"
#include "platform/platform.h"
#include "registers/chip_layout.h"

// A Winbond chip of one address, read by its cell table: the W83792D and the W83793G differ
// only in their tables and in the registers their snapshots take (worked out from the tables,
// each its own way). TRACE_NAME and FD_NAME are the reader's name and the name of the bus
// handle in its -v trace lines. A run that judges checks the chip against IDENTITY first.
struct winbond_chip {
    const char *trace_name;
    const char *fd_name;
    const chip_cells &cells;
    chip_reads reads;
    const chip_identity &identity;
};

// Winbond W83792D: voltages 0, 1, 7, 8, 10-14; temps 0-2; fans 0-6.
extern const winbond_chip w83792d_chip;
// Winbond W83793G: voltages 0-7, 9, 10; temps 0-5; fans 0-11.
extern const winbond_chip w83793g_chip;

// Reads CHIP at the 7-bit address SLAVE; a run that judges (WHAT with_limits) checks its
// identity first, and a chip that is not the board's is not read (EX_UNAVAILABLE).
int read_winbond(bus_handle &bus, int32_t slave, const winbond_chip &chip, readings &s,
                 chip_reading what);

// The two-chip X6DVA arrangement at fixed addresses 0x2c and 0x2f. A failure on the second
// chip comes after the first chip's cells have been written. Only the second chip has limits
// and status bits. A run that judges checks the W83792D at 0x2f first: the chip at 0x2c has
// no register known to say what it is.
int read_x6dva(bus_handle &bus, readings &s, chip_reading what);
