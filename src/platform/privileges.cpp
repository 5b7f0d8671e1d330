// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The half of the platform that is the same on Linux and FreeBSD: SIGPIPE, the user ids, the open
// of a device that the user named in a setuid-root run (each platform makes its handle from the
// descriptor), and giving up root for good.
#include "platform/platform.h"
#include "platform/device_lock.h"
#include "platform/system_signal.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void platform_ignore_sigpipe() {
    signal(SIGPIPE, SIG_IGN);
}

uid_t platform_geteuid() {
    return geteuid();
}

uid_t platform_getuid() {
    return getuid();
}

// Opens PATH read-write as the real user. The effective ids are switched to the real ones for
// the open itself, so the kernel checks the user's permission in the same call that opens
// the file: there is no moment between a check and the open for the path to change. The
// saved set-user-id stays root, which lets the effective ids switch back afterwards.
// The last component must not be a symbolic link, and the file must be a character device:
// anything else is closed again before it is locked or sees a bus request.
int open_as_real_user_locked(const char *path, lock_wait wait, lock_holder &busy,
                             device_hold &hold) {
    const uid_t ruid = getuid(), euid = geteuid();
    const gid_t rgid = getgid(), egid = getegid();
    const uid_t keep_uid = static_cast<uid_t>(-1);
    const gid_t keep_gid = static_cast<gid_t>(-1);

    // Group first: with a non-root effective uid the effective gid could not be set back.
    if (setresgid(keep_gid, rgid, keep_gid) != 0)
        return -1;
    if (setresuid(keep_uid, ruid, keep_uid) != 0) {
        // The open fails. The group goes back too; should that fail as well, the process is
        // left with root's uid and the user's gid, and errno says why the group stayed. Either
        // way the caller ends the run on -1, before the bus and before anything else runs
        // with those ids.
        int saved = errno;
        if (setresgid(keep_gid, egid, keep_gid) == 0)
            errno = saved;
        return -1;
    }
    int fd = open(path, O_RDWR | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    int open_errno = errno;
    if (setresuid(keep_uid, euid, keep_uid) != 0 || setresgid(keep_gid, egid, keep_gid) != 0)
        return fd >= 0 ? close_keeping_errno(fd) : -1;
    if (fd < 0) {
        errno = open_errno;
        return -1;
    }

    struct stat st;
    int refused = 0;
    if (fstat(fd, &st) != 0)
        refused = errno;
    else if (!S_ISCHR(st.st_mode))
        refused = ENODEV;
    return lock_unless_refused(fd, refused, wait, busy, hold);
}

// Makes the real ids the effective and saved ones, group first (only root may still change
// it), then checks that root is out of reach. The supplementary groups are the user's own: a
// setuid-root program starts with those of whoever ran it.
privilege_drop platform_drop_privileges() {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (setresgid(gid, gid, gid) != 0)
        return privilege_drop::group_failed;
    if (setresuid(uid, uid, uid) != 0)
        return privilege_drop::user_failed;
    if (setuid(0) == 0 || geteuid() == 0 || getegid() != gid) {
        errno = EPERM;
        return privilege_drop::not_for_good;
    }
    return privilege_drop::done;
}
