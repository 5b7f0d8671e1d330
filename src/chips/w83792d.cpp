// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Winbond W83792D: the fan conversions, and the reader of the W83792D boards. The layout and
// the cells are in chip_tables.h.
#include "chips/chips.h"
#include "trace/trace.h"

// The snapshot, in bus order: every register the cells convert from, and those read beside
// them, ascending.
static constexpr register_set snapshot_set = with(registers_of(w83792d_cells), w83792d_unconverted);
static constexpr auto snapshot = in_register_order<size_of(snapshot_set)>(snapshot_set);
// Then, for a run that shows them, the limit and status registers, ascending.
static constexpr register_set limit_set = without(limit_registers_of(w83792d_cells), snapshot_set);
static constexpr auto limit_list = in_register_order<size_of(limit_set)>(limit_set);

uint8_t w83792d_divisor(uint8_t raw) {
    debug_print("w83792d_divisor(raw = 0x%02x)\n", raw);
    uint8_t div = raw < 8 ? static_cast<uint8_t>(1u << raw) : 2;
    debug_print("w83792d_divisor() returning 0x%02x\n", div);
    return div;
}

uint32_t w83792d_rpmconv(uint8_t count, uint32_t div) {
    debug_print("w83792d_rpmconv(count = 0x%02x, div = %u)\n", count, div);
    uint32_t rpm = 0;
    if (count != 0 && count != w83792d_layout.no_reading_count && div != 0)
        rpm = fan_clock / (count * div);
    debug_print("w83792d_rpmconv() returning 0x%08x\n", rpm);
    return rpm;
}

int w83792d_main(bus_handle &bus, int32_t slave, readings &s, chip_reading what) {
    debug_print("w83792d_main(f = %d, slave = 0x%02x, s = %p)\n", bus.fd,
                static_cast<unsigned>(slave), static_cast<void *>(&s));
    if (int status = read_chip_cells(bus, slave, w83792d_cells, what, {snapshot, limit_list}, s);
        status != 0)
        return status;
    debug_print("w83792d_main() returning\n");
    return 0;
}
