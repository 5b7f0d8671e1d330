// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The board's libsensors configuration (sensors.conf(5), -S): with it installed, every
// libsensors program shows the readings of the chip that a kernel driver serves under the
// board's own names, with the values and limits that vantorel shows. It joins what only the
// run sequence sees together: the board row's labels and the chips' cells, which the driver
// shows as its features. It never sets a limit on the chip.
#pragma once

#include "boards/boards.h"

#include <stdio.h>

// Whether board B has a configuration: whether its chip kind has chips a driver serves.
bool has_sensors_config(const board &b);

// Writes the configuration of board B to OUT: a header comment (the board, the chip, the
// version that wrote it, where it goes, the limits that Debian's default configuration sets),
// then for each chip of B that a kernel driver serves a chip statement matching the driver at
// the chip's address on any I2C bus, a label for every reading B shows from it, a compute
// wherever B's value differs from the driver's, comments where libsensors cannot compute it,
// and an ignore for every other feature of the driver; a comment names a chip that no driver
// serves. False, with nothing written, for a row whose chip kind has no chips.
bool write_sensors_config(const board &b, FILE *out);
