// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "capture.h"

#include "trace/trace.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

std::string capture_stdout(const std::function<void()> &body) {
    fflush(stdout);
    FILE *tmp = tmpfile();
    int saved = dup(STDOUT_FILENO);
    dup2(fileno(tmp), STDOUT_FILENO);
    body();
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    std::string out;
    rewind(tmp);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, tmp)) > 0)
        out.append(buf, n);
    fclose(tmp);
    return out;
}

std::string capture_traced(bool verbose, const std::function<void()> &body) {
    bool was = opt_verbose;
    opt_verbose = verbose;
    std::string out = capture_stdout(body);
    opt_verbose = was;
    return out;
}
