// FreeBSD: the kernel environment through kenv(2), the bus through the smb(4) device, whose
// open takes the exclusive lock itself (O_EXLOCK waits while another process holds it). A
// device that the user named in a setuid-root run is checked before it is locked, so that
// open takes the same lock afterwards with flock(2).
#include "platform/platform.h"

#include <fcntl.h>
#include <kenv.h>
#include <sys/ioctl.h>
#include <unistd.h>

int platform_kenv_get(const char *name, char *value, int len) {
    return kenv(KENV_GET, name, value, len);
}

int platform_open_locked(const char *path) {
    return open(path, O_RDWR | O_EXLOCK | O_CLOEXEC);
}

int platform_smb_request(int fd, unsigned long request, struct smbcmd *cmd) {
    return ioctl(fd, request, cmd);
}
