#include "main/trace.h"

#include <err.h>
#include <stdarg.h>
#include <stdio.h>
#include <sysexits.h>

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

int stdout_status(int status) {
    // ferror() catches a write that failed while the buffer was drained earlier; fflush()
    // catches the rest still in the buffer.
    if (fflush(stdout) != 0 || ferror(stdout)) {
        warn("write error on standard output");
        return EX_IOERR;
    }
    return status;
}
