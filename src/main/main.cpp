// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The program's entry point. Returning the status from main() is exit(3) with it: the
// standard streams are flushed and closed the same way on every path.
#include "main/run_sequence.h"

int main(int argc, char **argv) {
    return run_program(argc, argv);
}
