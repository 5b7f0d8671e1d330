// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The step that every reader of a chip with a layout takes: tell the platform the layout,
// read the snapshot and, for a run that shows them, the limit and status registers, then
// convert them through the chip's cells.
#pragma once

#include <span>
#include <stdint.h>

#include "boards/boards.h"
#include "chips/cells.h"
#include "platform/platform.h"
#include "registers/chip_layout.h"
#include "registers/registers.h"

// The registers a reader takes from a chip with a layout: the snapshot of its readings, and
// the limit and status registers that a run which shows limits reads after it.
struct chip_reads {
    std::span<const uint8_t> snapshot;
    std::span<const uint8_t> limits;
};

// Reads the chip at SLAVE whose cells are CELLS, its layout told to the platform first with
// WHAT the run reads: the snapshot of READS, then, WITH_LIMITS, its limit registers, one
// read_byte each in list order. Then converts its readings (and, WITH_LIMITS, its limits and
// status bits) through those cells into S. Returns 0, or EX_IOERR at the first failed read
// with no cell of the chip written.
[[nodiscard]] int read_chip_cells(bus_handle &bus, int32_t slave, const chip_cells &cells,
                                  chip_reading what, const chip_reads &reads, readings &s);
