// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The readers' common step: all reads of a chip first, every conversion from the image
// afterwards.
#include "chips/cell_read.h"
#include "chips/smbus.h"

#include <sysexits.h>

// Reads the registers of READS into IMAGE, cleared first: 0, or EX_IOERR.
static int read_chip_registers(bus_handle &bus, int32_t slave, const chip_layout &layout,
                               chip_reading what, const chip_reads &reads, register_image &image) {
    // A layout the platform could not keep fails the chip as its first read would, said.
    if (!platform_describe_chip(bus, seven_bit(slave), layout, what))
        return EX_IOERR;
    image = {};
    if (int status = read_registers(bus, slave, reads.snapshot, image); status != 0)
        return status;
    return what == chip_reading::with_limits ? read_registers(bus, slave, reads.limits, image) : 0;
}

int read_chip_cells(bus_handle &bus, int32_t slave, const chip_cells &cells, chip_reading what,
                    const chip_reads &reads, readings &s) {
    register_image regs;
    if (int status = read_chip_registers(bus, slave, cells.layout, what, reads, regs); status != 0)
        return status;
    convert_cells(cells, regs, s);
    if (what == chip_reading::with_limits)
        convert_limits(cells, regs, s.limits);
    return 0;
}
