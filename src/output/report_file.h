// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Where a report goes: standard output, whose every write is checked before the run may
// report success, or a file that is replaced whole and durably.
#pragma once

#include "boards/boards.h"
#include "boards/board_features.h"
#include "output/report_forms.h"

// Where a run's report goes, and in which form: standard output, or (FILE set) the file
// FILE, replaced whole; and whether it shows the chips' limits (-a).
struct report_target {
    report_form form = report_form::plain;
    const char *file = nullptr;
    with_limits limits = with_limits::no;
};

// Writes the report of B and S to TARGET. Returns 0, or EX_IOERR after a message:
// standard output could not take it, or FILE could not be written (see
// write_failed_exposition for what FILE then holds; FILE_REFUSED, when given, is then set).
int write_report(const report_target &target, const board &b, const readings &s,
                 bool *file_refused = nullptr);

// Writes the libsensors configuration of B, whose chips' drivers show F, to standard output,
// or, FILE set, replaces FILE with it as write_report replaces FILE with a report. Returns 0,
// or EX_IOERR after a message.
int write_config_report(const char *file, const board &b, const board_features &f);

// Whether a failed replacement says so on standard error. A second attempt at a file that
// has just been refused with a message keeps quiet, rather than repeat it.
enum class refusal { said, quiet };

// Replaces FILE with the exposition of a failed run (write_prometheus_failure). Returns 0,
// or EX_IOERR after a message naming FILE. FILE is then as it was, except when only the
// closing sync of its directory failed: the new FILE is in place but may not survive a crash.
// Either way no temporary file of this run is left.
int write_failed_exposition(const char *file, refusal say = refusal::said);

// Ends a path whose product is standard output (a report, the -l listing): flushes it and
// turns a write that did not reach its destination into EX_IOERR instead of a false success.
int stdout_status(int status);
