// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The dispatch over the chip kinds.
#include "chips/chips.h"
#include "chips/readers.h"
#include "trace/trace.h"

#include <sysexits.h>

int read_chip(const board &b, bus_handle &bus, readings &s, chip_reading what) {
    switch (b.chip) {
    case chip_kind::w83793g:
        return read_winbond(bus, b.slave, w83793g_chip, s, what);
    case chip_kind::w83792d:
        return read_winbond(bus, b.slave, w83792d_chip, s, what);
    case chip_kind::x6dva:
        return read_x6dva(bus, s, what);
    }
    // A row whose kind no reader handles.
    say_puts("Internal vantorel coding error.  Please report this bug\n"
             "to the vantorel author.");
    return EX_SOFTWARE;
}
