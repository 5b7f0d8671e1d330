// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The run sequence of the program, behind main().
#pragma once

// Parses the options, then identifies the board, reads its chip and prints the report (or
// lists the boards, or prints the usage). Returns the exit status, sysexits(3) style, having
// released everything it took, on every path, and with nothing the options set left set (the
// trace of -v is off again). getopt(3)'s position is the caller's: a caller that runs it more
// than once resets optind in between.
int run_program(int argc, char **argv);
