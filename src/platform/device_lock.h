// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Descriptor helpers for the platform implementations that open real files.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// Closes FD on a failure path, keeping the errno that explains the failure. Returns -1.
inline int close_keeping_errno(int fd) {
    int saved = errno;
    close(fd);
    errno = saved;
    return -1;
}

// Takes the exclusive flock(2) on FD, waiting while another process holds it. On failure FD
// is closed and -1 returned with errno kept.
inline int lock_or_close(int fd) {
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            return close_keeping_errno(fd);
    }
    return fd;
}

// Opens PATH read-write and takes the exclusive lock on it: the device open of Linux and of
// the simulation. -1 with errno set on failure.
inline int open_and_lock(const char *path) {
    int fd = open(path, O_RDWR | O_CLOEXEC);
    return fd < 0 ? -1 : lock_or_close(fd);
}

// The end of an open that checks what it opened: REFUSED (an errno value) closes FD again
// before it is locked; 0 takes the lock.
inline int lock_unless_refused(int fd, int refused) {
    if (refused != 0) {
        close(fd);
        errno = refused;
        return -1;
    }
    return lock_or_close(fd);
}

// The open of platform_open_user_locked, down to the descriptor: PATH read-write with the real
// user's rights, no symbolic link in the last component, a character device only, then the
// exclusive lock. Returns the descriptor, or -1 with errno set. Shared by Linux and FreeBSD
// (privileges.cpp).
int open_as_real_user_locked(const char *path);
