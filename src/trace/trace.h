// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The -v trace: every step of a run narrated on standard output, each line prefixed "==> ".
// The leaf of the program: every other part may use it, and it uses only the C library.
#pragma once

extern bool opt_verbose;

// printf-style; writes only while opt_verbose is set, through the same buffered stdout
// stream as the report, so trace and report keep their relative order.
void debug_print(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
