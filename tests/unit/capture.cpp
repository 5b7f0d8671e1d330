// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "capture.h"

#include "trace/trace.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// What BODY writes to STREAM, whose descriptor is FD, while it runs.
std::string capture(FILE *stream, int fd, const std::function<void()> &body) {
    fflush(stream);
    FILE *tmp = tmpfile();
    int saved = dup(fd);
    dup2(fileno(tmp), fd);
    body();
    fflush(stream);
    dup2(saved, fd);
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

} // namespace

std::string capture_stdout(const std::function<void()> &body) {
    return capture(stdout, STDOUT_FILENO, body);
}

std::string capture_stderr(const std::function<void()> &body) {
    return capture(stderr, STDERR_FILENO, body);
}

std::string capture_traced(bool verbose, const std::function<void()> &body) {
    bool was = opt_verbose;
    opt_verbose = verbose;
    std::string out = capture_stdout(body);
    opt_verbose = was;
    return out;
}
