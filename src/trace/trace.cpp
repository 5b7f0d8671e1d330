// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "trace/trace.h"

#include <stdarg.h>
#include <stdio.h>

bool opt_verbose = false;

void debug_print(const char *fmt, ...) {
    if (!opt_verbose)
        return;
    va_list ap;
    va_start(ap, fmt);
    fputs("==> ", stdout);
    vprintf(fmt, ap);
    va_end(ap);
}
