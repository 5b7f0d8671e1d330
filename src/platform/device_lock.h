// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Descriptor helpers for the platform implementations that open real files.
#pragma once

#include "platform/platform.h"
#include "platform/system_signal.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <iterator>

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

// The nanoseconds left of a wait of SECONDS that began at BEGAN, at NOW (two readings of one
// clock); 0 or less once it is over. The deadline is never formed in the clock's own type:
// where time_t has 32 bits, BEGAN's seconds plus up to INT_MAX would overflow it, and the
// wait would end at once or never. TIME is time_t, or a narrower type in tests.
template <typename Time>
long long wait_nanoseconds_left(Time began_sec, long began_nsec, unsigned seconds, Time now_sec,
                                long now_nsec) {
    const long long elapsed =
        (static_cast<long long>(now_sec) - static_cast<long long>(began_sec)) * 1000000000LL +
        (now_nsec - began_nsec);
    return static_cast<long long>(seconds) * 1000000000LL - elapsed;
}

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
    struct timespec began;
    clock_gettime(CLOCK_MONOTONIC, &began);
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long left = wait_nanoseconds_left(began.tv_sec, began.tv_nsec, wait.seconds,
                                                     now.tv_sec, now.tv_nsec);
        if (left <= 0) {
            errno = EWOULDBLOCK;
            return false;
        }
        struct timespec pause = {0, left < lock_retry_nanoseconds ? static_cast<long>(left)
                                                                  : lock_retry_nanoseconds};
        nanosleep(&pause, nullptr);
    }
}

// The terminal's stop signals, ignored while a device is held.
constexpr int stop_signals[3] = {SIGTSTP, SIGTTIN, SIGTTOU};

// Ends HOLD: the ids as they were before it (a setuid-root run's real user id the user's
// again, the effective ids root's), then the stop signals' actions. Should the effective user
// id not come back, the user's ids are made all three, so that root stays out of reach rather
// than within it. Keeps errno.
inline void release_hold(device_hold &hold) {
    const int saved = errno;
    if (hold.ids_held) {
        // An effective uid that is not root may still take any of the ids it has: root back
        // from the real and saved ones, the user's as the real one. The group then needs root.
        // Should that fail, the user's ids made all three leave root out of reach; should
        // even that fail, the drop of root that follows the close finds it and says so.
        const gid_t keep_gid = static_cast<gid_t>(-1), group = getgid();
        const bool back = setresuid(hold.user, 0, 0) == 0 &&
                          setresgid(keep_gid, hold.group_before, keep_gid) == 0;
        const bool out_of_reach = back || (setresgid(group, group, group) == 0 &&
                                           setresuid(hold.user, hold.user, hold.user) == 0);
        static_cast<void>(out_of_reach);
    }
    if (hold.stops_ignored) {
        for (size_t i = 0; i < std::size(stop_signals); i++) {
            if (hold.stop_actions[i] != SIG_ERR)
                signal(stop_signals[i], hold.stop_actions[i]);
        }
    }
    hold = device_hold{};
    errno = saved;
}

// Begins HOLD (device_hold) before a lock is asked for, in two steps, so that an open that
// takes the lock itself can come between them: begin_hold ignores the stop signals and, in a
// setuid-root run (real user id not root, effective root), makes the real and saved user ids
// root while the effective ones stay root, so that the open still has root's rights;
// lower_hold then makes the effective ids the real user's and group's, before the first bus
// request. From begin_hold on, release_hold ends the hold whichever step it reached. Each is
// false with errno set when the ids could not be changed; the caller then releases the hold.
inline bool begin_hold(device_hold &hold) {
    hold = device_hold{};
    for (size_t i = 0; i < std::size(stop_signals); i++)
        hold.stop_actions[i] = signal(stop_signals[i], SIG_IGN);
    hold.stops_ignored = true;
    const uid_t user = getuid();
    if (user == 0 || geteuid() != 0)
        return true;
    const uid_t keep_uid = static_cast<uid_t>(-1);
    if (setresuid(0, keep_uid, 0) != 0)
        return false;
    hold.ids_held = true;
    hold.user = user;
    hold.group_before = getegid();
    return true;
}

inline bool lower_hold(device_hold &hold) {
    if (!hold.ids_held)
        return true;
    const uid_t keep_uid = static_cast<uid_t>(-1);
    const gid_t keep_gid = static_cast<gid_t>(-1);
    // Group first: with a non-root effective uid it could not be set.
    return setresgid(keep_gid, getgid(), keep_gid) == 0 &&
           setresuid(keep_uid, hold.user, keep_uid) == 0;
}

// Both steps of HOLD at once, for a lock asked for once the device is open. False with errno
// set when the ids could not be changed; nothing is held then.
inline bool hold_device(device_hold &hold) {
    if (begin_hold(hold) && lower_hold(hold))
        return true;
    release_hold(hold);
    return false;
}

// Takes the exclusive lock on FD as WAIT says, inside HOLD, which begins first. On failure
// FD is closed, the hold ended and -1 returned with errno kept; a lock still held at the end
// of the wait fills BUSY with its holder first, looked up with the rights the hold leaves:
// the real user's in a setuid-root run.
inline int lock_or_close(int fd, lock_wait wait, lock_holder &busy, device_hold &hold) {
    if (!hold_device(hold))
        return close_keeping_errno(fd);
    if (take_lock(fd, wait))
        return fd;
    if (errno == EWOULDBLOCK) {
        busy = lock_holder_of(fd);
        errno = EWOULDBLOCK;
    }
    release_hold(hold);
    return close_keeping_errno(fd);
}

// Opens PATH read-write and takes the exclusive lock on it inside HOLD: the device open of
// Linux and of the simulation. -1 with errno set on failure, and nothing held.
inline int open_and_lock(const char *path, lock_wait wait, lock_holder &busy, device_hold &hold) {
    int fd = open(path, O_RDWR | O_CLOEXEC);
    return fd < 0 ? -1 : lock_or_close(fd, wait, busy, hold);
}

// The end of an open that checks what it opened: REFUSED (an errno value) closes FD again
// before it is locked; 0 takes the lock inside HOLD.
inline int lock_unless_refused(int fd, int refused, lock_wait wait, lock_holder &busy,
                               device_hold &hold) {
    if (refused != 0) {
        close(fd);
        errno = refused;
        return -1;
    }
    return lock_or_close(fd, wait, busy, hold);
}

// The open of platform_open_user_locked, down to the descriptor: PATH read-write with the real
// user's rights, no symbolic link in the last component, a character device only, then the
// exclusive lock inside HOLD. Returns the descriptor, or -1 with errno set. Shared by Linux
// and FreeBSD (privileges.cpp).
int open_as_real_user_locked(const char *path, lock_wait wait, lock_holder &busy,
                             device_hold &hold);
