// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Winbond W83793G: the temperature and fan conversions, and the reader of the W83793G boards.
// The layout and the cells are in chip_tables.h.
#include "chips/chips.h"
#include "trace/trace.h"

// The snapshot: the chip's block, from the lowest register the cells convert from to the
// highest, in register order. 0x13 (no input) and 0x22 (the temperatures' fractions) are
// read with it.
static constexpr register_set snapshot_set = block_of(registers_of(w83793g_cells));
static constexpr auto snapshot = in_register_order<size_of(snapshot_set)>(snapshot_set);
// Then, for a run that shows them, the limit and status registers, ascending.
static constexpr register_set limit_set = without(limit_registers_of(w83793g_cells), snapshot_set);
static constexpr auto limit_list = in_register_order<size_of(limit_set)>(limit_set);

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
    uint32_t rpm = count == 0 || count == w83793g_layout.no_reading_count ? 0 : fan_clock / count;
    debug_print("w83793g_rpmconv() returning 0x%08x\n", rpm);
    return rpm;
}

int w83793g_main(bus_handle &bus, int32_t slave, readings &s, chip_reading what) {
    debug_print("w83793g_main(fd = %d, slave = 0x%02x, s = %p)\n", bus.fd,
                static_cast<unsigned>(slave), static_cast<void *>(&s));
    if (int status = read_chip_cells(bus, slave, w83793g_cells, what, {snapshot, limit_list}, s);
        status != 0)
        return status;
    debug_print("w83793g_main() returning\n");
    return 0;
}
