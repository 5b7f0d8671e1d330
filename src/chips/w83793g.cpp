// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Winbond W83793G: the reader of the W83793G boards. The layout and the cells are in
// chip_tables.h, the temperature and fan conversions in conversions.cpp.
#include "chips/chips.h"
#include "chips/chip_read.h"
#include "chips/chip_tables.h"
#include "registers/registers.h"
#include "trace/trace.h"

// The snapshot: the chip's block, from the lowest register the cells convert from to the
// highest, in register order. 0x13 (no input) and 0x22 (the temperatures' fractions) are
// read with it.
static constexpr register_set snapshot_set = block_of(registers_of(w83793g_cells));
static constexpr auto snapshot = in_register_order<size_of(snapshot_set)>(snapshot_set);
// Then, for a run that shows them, the limit and status registers, ascending.
static constexpr register_set limit_set = without(limit_registers_of(w83793g_cells), snapshot_set);
static constexpr auto limit_list = in_register_order<size_of(limit_set)>(limit_set);

int w83793g_main(bus_handle &bus, int32_t slave, readings &s, chip_reading what) {
    debug_print("w83793g_main(fd = %d, slave = 0x%02x, s = %p)\n", bus.fd,
                static_cast<unsigned>(slave), static_cast<void *>(&s));
    if (int status = read_chip_cells(bus, slave, w83793g_cells, what, {snapshot, limit_list}, s);
        status != 0)
        return status;
    debug_print("w83793g_main() returning\n");
    return 0;
}
