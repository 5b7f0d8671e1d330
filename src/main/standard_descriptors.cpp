// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "main/standard_descriptors.h"
#include "trace/trace.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

bool open_standard_descriptors() {
    // open(2) returns the lowest free descriptor, so filling 0, 1 and 2 in order puts each
    // /dev/null exactly into the slot that was closed. Read-only: a report written to a closed
    // standard output still fails, as it would have, rather than vanishing as a success.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        int filler = open("/dev/null", O_RDONLY | O_NOCTTY);
        if (filler != fd) {
            if (filler >= 0)
                close(filler);
            else
                say_warn("cannot open /dev/null in place of closed descriptor %d", fd);
            return false;
        }
    }
    return true;
}
