// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

/* timer N PROGRAM [ARG...]: runs PROGRAM N times, one after the other, with standard output
 * to /dev/null, and prints the wall time of each run (fork to reaped exit) in nanoseconds, one
 * line per run. Exits 1 if a run fails. Linked statically so that its own start costs nothing
 * inside the measured interval of a run. Part of bench/, not of vantorel. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static long long now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: timer N PROGRAM [ARG...]\n");
        return 2;
    }
    int runs = atoi(argv[1]);
    int devnull = open("/dev/null", O_WRONLY);
    if (devnull < 0) {
        perror("timer: /dev/null");
        return 1;
    }
    for (int i = 0; i < runs; i++) {
        long long start = now_ns();
        pid_t pid = fork();
        if (pid < 0) {
            perror("timer: fork");
            return 1;
        }
        if (pid == 0) {
            dup2(devnull, STDOUT_FILENO);
            execv(argv[2], argv + 2);
            perror("timer: exec");
            _exit(127);
        }
        int status;
        if (waitpid(pid, &status, 0) < 0) {
            perror("timer: waitpid");
            return 1;
        }
        long long elapsed = now_ns() - start;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            fprintf(stderr, "timer: %s: run %d failed (status 0x%x)\n", argv[2], i, status);
            return 1;
        }
        printf("%lld\n", elapsed);
    }
    return 0;
}
