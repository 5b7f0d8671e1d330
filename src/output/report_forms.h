// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The report forms. Each writes one whole report of a board's readings to a stream and does
// nothing else: it is one loop over the walk of the readings the board shows (readings_walk.h:
// temperatures, fans, voltages, each list in its own order), printing each under its label.
// None knows the chip beyond the name the board row gives it. Where a report goes is
// report_file.h's business.
#pragma once

#include "boards/boards.h"

#include <stdio.h>

// Whether the plain, CSV and JSON forms show, beside each reading, the limits and the status
// bit that the board's chips hold for it, and the chip's case-open bit (-a). Without it they
// are exactly the forms of the readings alone. The exposition carries them always.
enum class with_limits : bool { no, yes };

// Plain table. With limits, each line goes on with the reading's limits in parentheses and
// an ALARM mark where its status bit is set, each in a column of its own, and a "Chassis
// intrusion" line follows where the chip has a case-open bit.
void write_plain_report(const board &b, const readings &s, FILE *out = stdout,
                        with_limits limits = with_limits::no);
// CSV lines, label,value,unit. With limits, six fields follow on every line: min, max,
// alarm (0 or 1), max_hyst, warn, warn_hyst, each empty where the reading has none; then a
// "Chassis intrusion" line where the chip has a case-open bit.
void write_csv_report(const board &b, const readings &s, FILE *out = stdout,
                      with_limits limits = with_limits::no);
// One object of three objects, temps, fans and voltages, that map each label to a string of
// the value and its unit. With limits, seven more members follow: temp_limits, fan_limits and
// voltage_limits map each label to an object of its limits (strings as the readings are);
// temp_alarms, fan_alarms and voltage_alarms map each label to true, false, or null where the
// chip has no status bit for it; intrusion is true or false, where the chip has the bit.
void write_json_report(const board &b, const readings &s, FILE *out = stdout,
                       with_limits limits = with_limits::no);

// The Prometheus text exposition (format 0.0.4): vantorel_board_info with the board's maker
// and product and the display name of its chip handling; one gauge family each for
// temperatures, fans and voltages, a sample per label under sensor="LABEL" (a voltage cell
// that holds a plain register value goes to vantorel_register_value instead, never under a
// unit); the families of the limits and status bits, a sample per label that has one, each
// family left out where no label has; vantorel_up 1.
void write_prometheus_exposition(const board &b, const readings &s, FILE *out = stdout);

// The exposition of a run that read nothing: vantorel_up 0 and no other sample.
void write_prometheus_failure(FILE *out = stdout);

enum class report_form { plain, delimited, json, prometheus };

// Writes the report of B and S in FORM to OUT, with the limits where LIMITS says so (the
// exposition always has them).
void write_form(report_form form, const board &b, const readings &s, FILE *out,
                with_limits limits = with_limits::no);
