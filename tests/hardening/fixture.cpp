// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// A program shaped as vantorel is, as far as tests/hardening-check looks: run_program keeps an
// array on its stack, and the printf family is called both with an argument list (printf,
// fprintf) and with a va_list (vfprintf), none of them with a format the compiler can turn
// into puts or fputs.
#include <cstdarg>
#include <cstdio>

namespace {

void trace(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
}

} // namespace

__attribute__((noinline)) int run_program(int argc, char **argv) {
    char path[64];
    std::snprintf(path, sizeof path, "%s", argc > 1 ? argv[1] : "/dev/i2c-0");
    trace("device %s, %d arguments\n", path, argc);
    std::printf("%d: %s\n", argc, path);
    std::fprintf(stderr, "%d: %s\n", argc, path);
    return path[argc % sizeof path] == 'x';
}

int main(int argc, char **argv) {
    return run_program(argc, argv);
}
