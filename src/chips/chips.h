// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// What the run sequence asks of the readers: the one dispatch over the chip kinds. Whatever a
// board's chip kind decides (which reader reads it, which chips it has) is decided here, once,
// before anything touches the bus.
#pragma once

#include "boards/boards.h"
#include "boards/board_features.h"
#include "platform/platform.h"
#include "registers/chip_layout.h"

#include <optional>

// Runs the reader of B's chip kind on the open device BUS into S, its limits and status bits
// too when WHAT says so. Returns 0; EX_IOERR from a failed bus transaction, already said; or
// EX_SOFTWARE after saying on standard output that no reader handles the kind.
int read_chip(const board &b, bus_handle &bus, readings &s, chip_reading what);

// What the kernel drivers show of B's chips (its libsensors configuration's facts); none for
// a row whose chip kind has no chips.
std::optional<board_features> driver_features_of(const board &b);
