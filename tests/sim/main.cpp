// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The simulated command-line program: the shipped run sequence over the simulated platform,
// whose world comes from the fixture file named by VANTOREL_SIM_FIXTURE (an empty world
// without it). A fixture that does not parse ends the run with 99 before anything else.
#include "main/run_sequence.h"
#include "sim.h"

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    const char *fixture = getenv("VANTOREL_SIM_FIXTURE");
    if (fixture != nullptr && !sim_load_fixture(fixture)) {
        fprintf(stderr, "bad simulation fixture %s\n", fixture);
        return 99;
    }
    return run_program(argc, argv);
}
