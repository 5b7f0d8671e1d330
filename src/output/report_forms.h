// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The report forms. Each writes one whole report of a board's readings to a stream and does
// nothing else: it walks the board's temps, fans and voltages label lists in list order and
// prints the cell each entry names under the entry's label. None knows the chip beyond the
// name the board row gives it. Where a report goes is report_file.h's business.
#pragma once

#include "boards/boards.h"

#include <stdio.h>

void sensors_output(const board &b, const readings &s, FILE *out = stdout);       // plain table
void sensors_output_delim(const board &b, const readings &s, FILE *out = stdout); // CSV lines
void sensors_output_json(const board &b, const readings &s, FILE *out = stdout);  // one object

// The Prometheus text exposition (format 0.0.4): vantorel_board_info with the board's maker
// and product and the display name of its chip handling; one gauge family each for
// temperatures, fans and voltages, a sample per label under sensor="LABEL"; vantorel_up 1.
void sensors_output_prom(const board &b, const readings &s, FILE *out = stdout);

// The exposition of a run that read nothing: vantorel_up 0 and no other sample.
void sensors_output_prom_failed(FILE *out = stdout);

enum class report_form { plain, delimited, json, prometheus };

// Writes the report of B and S in FORM to OUT.
void write_form(report_form form, const board &b, const readings &s, FILE *out);
