// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Descriptor helpers for the platform implementations that open real files.
#pragma once

#include "platform/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

// Closes FD on a failure path, keeping the errno that explains the failure. Returns -1.
inline int close_keeping_errno(int fd) {
    int saved = errno;
    close(fd);
    errno = saved;
    return -1;
}

// Who holds the flock(2) lock of the open file FD, as far as the platform can tell. Each
// platform that opens with lock_or_close defines it.
lock_holder lock_holder_of(int fd);

// How long a bounded wait sleeps between two attempts at the lock.
constexpr long lock_retry_nanoseconds = 20 * 1000 * 1000;

// Takes the exclusive flock(2) on FD. An unbounded WAIT blocks until the lock is free; a
// bounded one tries without blocking, and again after each short sleep, until its seconds
// have passed on the monotonic clock, then fails with EWOULDBLOCK. A signal that interrupts
// a wait only makes it try again. False with errno set when the lock was not taken.
inline bool take_lock(int fd, lock_wait wait) {
    if (!wait.bounded) {
        while (flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR)
                return false;
        }
        return true;
    }
    struct timespec end;
    clock_gettime(CLOCK_MONOTONIC, &end);
    end.tv_sec += static_cast<time_t>(wait.seconds);
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long long left = (static_cast<long long>(end.tv_sec) - now.tv_sec) * 1000000000LL +
                         (end.tv_nsec - now.tv_nsec);
        if (left <= 0) {
            errno = EWOULDBLOCK;
            return false;
        }
        struct timespec pause = {0, left < lock_retry_nanoseconds ? static_cast<long>(left)
                                                                  : lock_retry_nanoseconds};
        nanosleep(&pause, nullptr);
    }
}

// Takes the exclusive lock on FD as WAIT says. On failure FD is closed and -1 returned with
// errno kept; a lock still held at the end of the wait fills BUSY with its holder first.
inline int lock_or_close(int fd, lock_wait wait, lock_holder &busy) {
    if (take_lock(fd, wait))
        return fd;
    if (errno == EWOULDBLOCK) {
        busy = lock_holder_of(fd);
        errno = EWOULDBLOCK;
    }
    return close_keeping_errno(fd);
}

// Opens PATH read-write and takes the exclusive lock on it: the device open of Linux and of
// the simulation. -1 with errno set on failure.
inline int open_and_lock(const char *path, lock_wait wait, lock_holder &busy) {
    int fd = open(path, O_RDWR | O_CLOEXEC);
    return fd < 0 ? -1 : lock_or_close(fd, wait, busy);
}

// The end of an open that checks what it opened: REFUSED (an errno value) closes FD again
// before it is locked; 0 takes the lock.
inline int lock_unless_refused(int fd, int refused, lock_wait wait, lock_holder &busy) {
    if (refused != 0) {
        close(fd);
        errno = refused;
        return -1;
    }
    return lock_or_close(fd, wait, busy);
}

// The open of platform_open_user_locked, down to the descriptor: PATH read-write with the real
// user's rights, no symbolic link in the last component, a character device only, then the
// exclusive lock. Returns the descriptor, or -1 with errno set. Shared by Linux and FreeBSD
// (privileges.cpp).
int open_as_real_user_locked(const char *path, lock_wait wait, lock_holder &busy);
