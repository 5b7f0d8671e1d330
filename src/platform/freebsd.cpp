// FreeBSD: the kernel environment through kenv(2), the bus through the smb(4) device, whose
// open takes the exclusive lock itself (O_EXLOCK waits while another process holds it). A
// device that the user named in a setuid-root run is checked before it is locked, so that
// open takes the same lock afterwards with flock(2).
#include "platform/platform.h"
#include "platform/real_user.h"

#include <fcntl.h>
#include <kenv.h>
#include <sys/ioctl.h>
#include <unistd.h>

uid_t platform_geteuid() {
    return geteuid();
}

uid_t platform_getuid() {
    return getuid();
}

int platform_kenv_get(const char *name, char *value, int len) {
    return kenv(KENV_GET, name, value, len);
}

int platform_open_locked(const char *path) {
    return open(path, O_RDWR | O_EXLOCK | O_CLOEXEC);
}

int platform_open_user_locked(const char *path) {
    return open_as_real_user(path);
}

privilege_drop platform_drop_privileges() {
    return drop_to_real_user();
}

void platform_close(int fd) {
    close(fd);
}

int platform_smb_request(int fd, unsigned long request, struct smbcmd *cmd) {
    return ioctl(fd, request, cmd);
}
