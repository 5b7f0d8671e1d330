// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The three report forms. Each walks the board's temps, fans and voltages label lists in list
// order and prints the cell each entry names under the entry's label; none knows the chip.
#pragma once

#include "boards/boards.h"

void sensors_output(const board &b, const readings &s);       // aligned plain table
void sensors_output_delim(const board &b, const readings &s); // label,value,unit lines
void sensors_output_json(const board &b, const readings &s);  // one JSON object

// Ends a path whose product is standard output (a report, the -l listing): flushes it and
// turns a write that did not reach its destination into EX_IOERR instead of a false success.
int stdout_status(int status);
