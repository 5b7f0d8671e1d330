// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// How a -N run ends: every end of a check, whatever ended it, is a status line and an exit
// status from 0 to 3.
#pragma once

#include "main/options.h"
#include "output/plugin_report.h"

#include <optional>

// The exit status of a -N run that ended with STATUS, having judged the readings as VERDICT
// if it got so far: the verdict's state, or 0 for -l; any failure is UNKNOWN, with what the
// run said on its status line, and the usage text after it where OPTS asks for that.
// Standard output is checked here, once: a report or listing that it could not take is
// UNKNOWN too, said on standard error, and nothing more is written to it.
// A standard output that has already failed (its reader gone) gets no status line: its
// failure has been said on standard error.
int plugin_status(const options &opts, int status, std::optional<plugin_state> verdict);
