// The run sequence of the program, behind main().
#pragma once

// Parses the options, then identifies the board, reads its chip and prints the report (or
// lists the boards, or prints the usage). Returns the exit status, sysexits(3) style, having
// released everything it took; only a failed bus transaction ends the process from inside
// (with EX_IOERR, see read_byte). getopt(3) state is the caller's: a caller that runs it
// more than once resets optind in between.
int run_program(int argc, char **argv);
