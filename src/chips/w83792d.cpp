// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Winbond W83792D: the reader of the W83792D boards. The layout and the cells are in
// chip_tables.h, the fan conversions in conversions.cpp.
#include "chips/chips.h"
#include "chips/chip_read.h"
#include "chips/chip_tables.h"
#include "registers/registers.h"
#include "trace/trace.h"

// The snapshot, in bus order: every register the cells convert from, and those read beside
// them, ascending.
static constexpr register_set snapshot_set = with(registers_of(w83792d_cells), w83792d_unconverted);
static constexpr auto snapshot = in_register_order<size_of(snapshot_set)>(snapshot_set);
// Then, for a run that shows them, the limit and status registers, ascending.
static constexpr register_set limit_set = without(limit_registers_of(w83792d_cells), snapshot_set);
static constexpr auto limit_list = in_register_order<size_of(limit_set)>(limit_set);

int w83792d_main(bus_handle &bus, int32_t slave, readings &s, chip_reading what) {
    debug_print("w83792d_main(f = %d, slave = 0x%02x, s = %p)\n", bus.fd,
                static_cast<unsigned>(slave), static_cast<void *>(&s));
    if (int status = read_chip_cells(bus, slave, w83792d_cells, what, {snapshot, limit_list}, s);
        status != 0)
        return status;
    debug_print("w83792d_main() returning\n");
    return 0;
}
