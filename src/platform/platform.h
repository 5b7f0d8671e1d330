// The few operating-system services the program needs, behind one set of calls. The build
// chooses one implementation: FreeBSD (kenv, smb(4), O_EXLOCK), Linux (sysfs DMI strings,
// i2c-dev, flock) or, for tests only, a simulation.
#pragma once

#include <sys/types.h>

#include "platform/smb_request.h"

// Effective user id of the process.
uid_t platform_geteuid();

// Real user id of the process: the user who ran it, not root, in a setuid-root run.
uid_t platform_getuid();

// Copies the kernel-environment value NAME into VALUE (LEN bytes), as kenv(KENV_GET) does:
// at most LEN bytes, terminated only if it fits. -1 with errno set on failure.
int platform_kenv_get(const char *name, char *value, int len);

// Opens the bus device read-write and takes an exclusive lock on it, waiting while another
// process holds one. Returns the descriptor, or -1 with errno set.
int platform_open_locked(const char *path);

// Opens a device that the user named, in a setuid-root run: read-write with the real user's
// own rights (the open fails as it would for them, EACCES for a device they may not use),
// never through a symbolic link in the last component (ELOOP), and only a character device
// (ENODEV). Then takes the exclusive lock as platform_open_locked does. Returns the
// descriptor, or -1 with errno set; a refused path is neither kept open nor locked.
int platform_open_user_locked(const char *path);

// Outcome of platform_drop_privileges: done, or the step that failed.
enum privilege_drop { DROP_DONE, DROP_GROUP_FAILED, DROP_USER_FAILED, DROP_NOT_FOR_GOOD };

// Gives up root for good in a setuid-root run: the real group id becomes the effective and
// saved one, then the real user id likewise, and root must then be out of reach (an attempt
// to regain it fails). errno is set for a failed step.
privilege_drop platform_drop_privileges();

// Closes the device, which releases the lock.
void platform_close(int fd);

// Carries out one SMB_READB or SMB_WRITEB request on the open device: one SMBus byte
// transaction. -1 with errno set on failure.
int platform_smb_request(int fd, unsigned long request, struct smbcmd *cmd);
