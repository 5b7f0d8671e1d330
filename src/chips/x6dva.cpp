// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The X6DVA family spreads its monitoring over two chips at fixed addresses: at 0x2c a chip
// whose readings are stored as plain register values, at 0x2f a W83792D-layout chip whose
// voltages, temperatures and fans convert as on the W83792D boards. The cells are in
// chip_tables.h.
#include "chips/chips.h"
#include "chips/cells.h"
#include "chips/chip_read.h"
#include "chips/chip_tables.h"
#include "chips/smbus.h"
#include "registers/registers.h"
#include "trace/trace.h"

static constexpr int32_t first_chip = x6dva_first_address;
static constexpr int32_t second_chip = x6dva_second_address;

// Each chip's snapshot: the registers its cells convert from, ascending.
static constexpr register_set first_set = registers_of(x6dva_first_cells);
static constexpr auto first_snapshot = in_register_order<size_of(first_set)>(first_set);
static constexpr register_set second_set = registers_of(x6dva_second_cells);
static constexpr auto second_snapshot = in_register_order<size_of(second_set)>(second_set);
// The second chip's limit and status registers, read after its snapshot for a run that shows
// them. The first chip has none.
static constexpr register_set second_limit_set =
    without(limit_registers_of(x6dva_second_cells), second_set);
static constexpr auto second_limits =
    in_register_order<size_of(second_limit_set)>(second_limit_set);

int x6dva_main(bus_handle &bus, readings &s, chip_reading what) {
    debug_print("x6dva_main(fd = %d, s = %p)\n", bus.fd, static_cast<void *>(&s));

    register_image regs{};
    if (int status = read_registers(bus, first_chip, first_snapshot, regs); status != 0)
        return status;
    convert_cells(x6dva_first_cells, regs, s);

    if (int status = read_chip_cells(bus, second_chip, x6dva_second_cells, what,
                                     {second_snapshot, second_limits}, s);
        status != 0)
        return status;

    debug_print("x6dva_main() returning\n");
    return 0;
}
