// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Linux: reading the kernel's one-line sysfs attributes, shared by the adapter search and the
// reading of a chip through its driver.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <string.h>
#include <unistd.h>

#include <span>

// Whether snprintf's result N fits a buffer of SIZE bytes, with its terminator.
inline bool fits(int n, size_t size) {
    return n >= 0 && static_cast<size_t>(n) < size;
}

// Reads the one-line attribute open on FD, from its start, into BUF, terminated and without
// its newline (sysfs hands the whole attribute to the first read). 0, or the errno of the
// failure (ENODEV once the attribute's device has gone, however long FD was open; EINVAL for
// a buffer without room for the terminator).
inline int read_open_attribute(int fd, std::span<char> buf) {
    if (buf.empty())
        return EINVAL;
    ssize_t n;
    do
        n = pread(fd, buf.data(), buf.size() - 1, 0);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno;
    buf[static_cast<size_t>(n)] = '\0';
    buf[strcspn(buf.data(), "\n")] = '\0';
    return 0;
}

// Reads the one-line attribute at PATH into BUF as read_open_attribute does. 0, or the errno
// of the failure (ENOENT for an attribute that is not there).
inline int read_attribute(const char *path, std::span<char> buf) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int e = read_open_attribute(fd, buf);
    close(fd);
    return e;
}
