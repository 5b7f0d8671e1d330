// The -v trace: every step of a run narrated on standard output, each line prefixed "==> ".
#pragma once

extern bool opt_verbose;

// printf-style; writes only while opt_verbose is set, through the same buffered stdout
// stream as the report, so trace and report keep their relative order.
void debug_print(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Ends a path whose product is standard output (the report, the -l listing): flushes it and
// turns a write that did not reach its destination into EX_IOERR instead of a false success.
int stdout_status(int status);
