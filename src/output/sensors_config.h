// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The board's libsensors configuration (sensors.conf(5), -S): with it installed, every
// libsensors program shows the readings of the chip that a kernel driver serves under the
// board's own names, with the values and limits that vantorel shows. It is one more loop over
// the walk of the readings a board shows, beside the record of what the drivers show of the
// board's chips (their features, which the readers fill from their cell tables). It never sets
// a limit on the chip.
#pragma once

#include "boards/boards.h"
#include "boards/board_features.h"

#include <stdio.h>

// Writes the configuration of board B, whose chips' drivers show F, to OUT: a header comment
// (the board, the chip, the version that wrote it, where it goes, the limits that Debian's
// default configuration sets), then for the chip of B that a kernel driver serves a chip
// statement matching the driver at the chip's address on any I2C bus, a label for every
// reading B shows from it, a compute wherever B's value differs from the driver's, comments
// where libsensors cannot compute it, and an ignore for every other feature of the driver; a
// comment names a chip that no driver serves.
void write_sensors_config(const board &b, const board_features &f, FILE *out);

// Whether the compute gives back the driver's value unchanged (scale 1, equal offsets).
bool is_identity(const feature_compute &c);
