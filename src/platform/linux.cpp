// Linux: board identity from the kernel's DMI export in sysfs, the SMBus through i2c-dev,
// the device lock through flock(2).
#include "platform/platform.h"
#include "platform/posix.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

int platform_kenv_get(const char *name, char *value, int len) {
    const char *path;
    if (strcmp(name, "smbios.planar.maker") == 0)
        path = "/sys/class/dmi/id/board_vendor";
    else if (strcmp(name, "smbios.planar.product") == 0)
        path = "/sys/class/dmi/id/board_name";
    else {
        errno = ENOENT;
        return -1;
    }
    if (len <= 0) {
        errno = EINVAL;
        return -1;
    }

    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    // sysfs hands the whole attribute to the first read; loop for any other file system.
    ssize_t got = 0;
    while (got < len) {
        ssize_t n = read(fd, value + got, static_cast<size_t>(len - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return close_keeping_errno(fd);
        }
        if (n == 0)
            break;
        got += n;
    }
    close(fd);
    // The attribute ends with a newline that is not part of the string.
    if (got > 0 && value[got - 1] == '\n')
        got--;
    if (got < len)
        value[got++] = '\0';
    return static_cast<int>(got);
}

int platform_open_locked(const char *path) {
    return open_and_lock(path);
}

// i2c-dev addresses a chip per descriptor with I2C_SLAVE; the request record carries the
// 8-bit form of the address. Select it only when it changes: a board with one chip costs one
// I2C_SLAVE per run.
static int selected_fd = -1;
static int selected_addr = -1;

int platform_smb_request(int fd, unsigned long request, struct smbcmd *cmd) {
    if (request != SMB_READB && request != SMB_WRITEB) {
        errno = EINVAL;
        return -1;
    }
    int addr = (cmd->slave >> 1) & 0x7f;
    if (fd != selected_fd || addr != selected_addr) {
        // Not I2C_SLAVE_FORCE: a chip that a kernel driver owns answers EBUSY, and that is a
        // bus failure rather than something to override behind the driver's back.
        if (ioctl(fd, I2C_SLAVE, static_cast<unsigned long>(addr)) < 0)
            return -1;
        selected_fd = fd;
        selected_addr = addr;
    }

    union i2c_smbus_data data;
    memset(&data, 0, sizeof data);
    struct i2c_smbus_ioctl_data args;
    args.command = cmd->cmd;
    args.size = I2C_SMBUS_BYTE_DATA;
    args.data = &data;
    if (request == SMB_READB) {
        args.read_write = I2C_SMBUS_READ;
    } else {
        args.read_write = I2C_SMBUS_WRITE;
        data.byte = static_cast<unsigned char>(cmd->wdata.byte);
    }
    if (ioctl(fd, I2C_SMBUS, &args) < 0)
        return -1;
    if (request == SMB_READB && cmd->rbuf != nullptr && cmd->rcount > 0)
        cmd->rbuf[0] = static_cast<char>(data.byte);
    return 0;
}
