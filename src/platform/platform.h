// The few operating-system services the program needs, behind one set of calls. The build
// chooses one implementation: FreeBSD (kenv, smb(4), O_EXLOCK), Linux (sysfs DMI strings,
// i2c-dev, flock) or, for tests only, a simulation.
#pragma once

#include <sys/types.h>

#include "platform/smb_request.h"

// Effective user id of the process.
uid_t platform_geteuid();

// Copies the kernel-environment value NAME into VALUE (LEN bytes), as kenv(KENV_GET) does:
// at most LEN bytes, terminated only if it fits. -1 with errno set on failure.
int platform_kenv_get(const char *name, char *value, int len);

// Opens the bus device read-write and takes an exclusive lock on it, waiting while another
// process holds one. Returns the descriptor, or -1 with errno set.
int platform_open_locked(const char *path);

// Closes the device, which releases the lock.
void platform_close(int fd);

// Carries out one SMB_READB or SMB_WRITEB request on the open device: one SMBus byte
// transaction. -1 with errno set on failure.
int platform_smb_request(int fd, unsigned long request, struct smbcmd *cmd);
