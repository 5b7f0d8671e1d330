// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The Winbond readers: the W83792D and the W83793G boards' chip at the row's address, and
// the X6DVA family's two chips at fixed addresses. The layouts and the cells are in
// chip_tables.h, the conversions in conversions.cpp.
#include "chips/readers.h"
#include "chips/chip_tables.h"
#include "chips/smbus.h"
#include "registers/registers.h"
#include "trace/trace.h"

namespace {

// The registers of a run that shows the limits, read after SNAPSHOT: the limit and status
// registers of CELLS that the snapshot has not taken, ascending.
constexpr register_set limit_set_of(const chip_cells &cells, const register_set &snapshot) {
    return without(limit_registers_of(cells), snapshot);
}

// The W83792D's snapshot, in bus order: every register the cells convert from, and those
// read beside them, ascending.
constexpr register_set w83792d_snapshot_set =
    with(registers_of(w83792d_cells), w83792d_unconverted);
constexpr auto w83792d_snapshot =
    in_register_order<size_of(w83792d_snapshot_set)>(w83792d_snapshot_set);
constexpr register_set w83792d_limit_set = limit_set_of(w83792d_cells, w83792d_snapshot_set);
constexpr auto w83792d_limits = in_register_order<size_of(w83792d_limit_set)>(w83792d_limit_set);

// The W83793G's snapshot: the chip's block, from the lowest register the cells convert from
// to the highest, in register order. 0x13 (no input) and 0x22 (the temperatures' fractions)
// are read with it.
constexpr register_set w83793g_snapshot_set = block_of(registers_of(w83793g_cells));
constexpr auto w83793g_snapshot =
    in_register_order<size_of(w83793g_snapshot_set)>(w83793g_snapshot_set);
constexpr register_set w83793g_limit_set = limit_set_of(w83793g_cells, w83793g_snapshot_set);
constexpr auto w83793g_limits = in_register_order<size_of(w83793g_limit_set)>(w83793g_limit_set);

// The X6DVA family: at 0x2c a chip whose readings are stored as plain register values, at
// 0x2f a W83792D-layout chip whose voltages, temperatures and fans convert as on the W83792D
// boards. Each chip's snapshot takes the registers its cells convert from, ascending; the
// second chip's limit and status registers follow for a run that shows them. The first chip
// has none.
constexpr register_set x6dva_first_set = registers_of(x6dva_first_cells);
constexpr auto x6dva_first_snapshot = in_register_order<size_of(x6dva_first_set)>(x6dva_first_set);
constexpr register_set x6dva_second_set = registers_of(x6dva_second_cells);
constexpr auto x6dva_second_snapshot =
    in_register_order<size_of(x6dva_second_set)>(x6dva_second_set);
constexpr register_set x6dva_second_limit_set = limit_set_of(x6dva_second_cells, x6dva_second_set);
constexpr auto x6dva_second_limits =
    in_register_order<size_of(x6dva_second_limit_set)>(x6dva_second_limit_set);

} // namespace

const winbond_chip w83792d_chip = {
    "w83792d_main", "f", w83792d_cells, {w83792d_snapshot, w83792d_limits}, w83792d_identity};
const winbond_chip w83793g_chip = {
    "w83793g_main", "fd", w83793g_cells, {w83793g_snapshot, w83793g_limits}, w83793g_identity};

int read_winbond(bus_handle &bus, int32_t slave, const winbond_chip &chip, readings &s,
                 chip_reading what) {
    if (int status = check_chip_identity(bus, slave, chip.cells.layout, chip.identity, what);
        status != 0)
        return status;
    debug_print("%s(%s = %d, slave = 0x%02x, s = %p)\n", chip.trace_name, chip.fd_name, bus.fd,
                static_cast<unsigned>(slave), static_cast<void *>(&s));
    if (int status = read_chip_cells(bus, slave, chip.cells, what, chip.reads, s); status != 0)
        return status;
    debug_print("%s() returning\n", chip.trace_name);
    return 0;
}

int read_x6dva(bus_handle &bus, readings &s, chip_reading what) {
    // The chip at 0x2c stores its readings as plain register values and is known by nothing
    // else: no register of it says what it is, so nothing of it can be checked beyond its
    // answering the reads. The chip at 0x2f is a W83792D.
    if (int status = check_chip_identity(bus, x6dva_second_address, x6dva_second_cells.layout,
                                         w83792d_identity, what);
        status != 0)
        return status;
    debug_print("x6dva_main(fd = %d, s = %p)\n", bus.fd, static_cast<void *>(&s));

    register_image regs{};
    if (int status = read_registers(bus, x6dva_first_address, x6dva_first_snapshot, regs);
        status != 0)
        return status;
    convert_cells(x6dva_first_cells, regs, s);

    if (int status = read_chip_cells(bus, x6dva_second_address, x6dva_second_cells, what,
                                     {x6dva_second_snapshot, x6dva_second_limits}, s);
        status != 0)
        return status;

    debug_print("x6dva_main() returning\n");
    return 0;
}
