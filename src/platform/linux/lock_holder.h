// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Linux: who holds the flock(2) lock of a file. The kernel lists every lock in /proc/locks,
// one a line, the holder's process id and the file's device and inode among its fields:
//
//   1: FLOCK  ADVISORY  WRITE 1234 00:05:47 0 EOF
//   2: -> FLOCK  ADVISORY  WRITE 1240 00:05:47 0 EOF
//
// The device is the file system's (major:minor in hex, as st_dev), the inode decimal; a line
// with "->" after its number is a process waiting for the lock above it, not a holder. The
// pid is that of the process that took the lock, which may since have handed the descriptor
// on or ended. Its command name is /proc/PID/comm.
#pragma once

#include "platform/platform.h"

#include <sys/types.h>

// Finds the holder of a flock(2) lock of the file with device DEV and inode INO among the
// locks that PROC/locks lists, with its command name from PROC/PID/comm where that can be
// read, every character of it that is not printable ASCII replaced by '?'. The files are read
// with the caller's rights: under hidepid=invisible (or 2), another user's process has no
// PROC/PID/comm for an unprivileged caller, and its name stays out. PROC is "/proc" in the
// program, a tree of its own in tests. An empty holder (pid 0) when there is no such lock or
// the list cannot be read.
lock_holder find_flock_holder(const char *proc, dev_t dev, ino_t ino);
