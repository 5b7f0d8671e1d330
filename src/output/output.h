// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The report forms, and where a report goes. Each form walks the board's temps, fans and
// voltages label lists in list order and prints the cell each entry names under the entry's
// label; none knows the chip. A report goes to standard output, or replaces a file whole.
#pragma once

#include "boards/boards.h"

#include <stdio.h>

void sensors_output(const board &b, const readings &s, FILE *out = stdout);       // plain table
void sensors_output_delim(const board &b, const readings &s, FILE *out = stdout); // CSV lines
void sensors_output_json(const board &b, const readings &s, FILE *out = stdout);  // one object

// The Prometheus text exposition (format 0.0.4): vantorel_board_info with the board's maker
// and product and CHIP, the display name of its chip handling; one gauge family each for
// temperatures, fans and voltages, a sample per label under sensor="LABEL"; vantorel_up 1.
void sensors_output_prom(const board &b, const readings &s, const char *chip, FILE *out = stdout);

// The exposition of a run that read nothing: vantorel_up 0 and no other sample.
void sensors_output_prom_failed(FILE *out = stdout);

enum class report_form { plain, delimited, json, prometheus };

// Where a run's report goes, and in which form: standard output, or (FILE set) the file
// FILE, replaced whole.
struct report_target {
    report_form form = report_form::plain;
    const char *file = nullptr;
};

// Writes the report of B and S to TARGET; CHIP is the chip's display name. Returns 0, or
// EX_IOERR after a message: standard output could not take it, or FILE could not be written
// (FILE is then as it was, and no temporary file is left).
int write_report(const report_target &target, const board &b, const readings &s, const char *chip);

// Replaces FILE with the exposition of a failed run (sensors_output_prom_failed). Returns 0,
// or EX_IOERR after a message naming FILE, which is then as it was.
int write_failed_exposition(const char *file);

// Ends a path whose product is standard output (a report, the -l listing): flushes it and
// turns a write that did not reach its destination into EX_IOERR instead of a false success.
int stdout_status(int status);
