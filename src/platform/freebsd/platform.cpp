// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// FreeBSD: the kernel environment through kenv(2), the bus through the smb(4) device, whose
// open takes the exclusive lock itself (O_EXLOCK waits while another process holds it). A
// device that the user named in a setuid-root run is checked before it is locked, so that
// open takes the same lock afterwards with flock(2).
#include "platform/platform.h"
#include "platform/device_lock.h"

// smb(4)'s request record and ioctl codes; the <sys/types.h> and <sys/ioccom.h> that it
// needs come first.
#include <sys/types.h>
#include <sys/ioccom.h>
#include <dev/smbus/smb.h>

#include <errno.h>
#include <fcntl.h>
#include <kenv.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

int platform_board_string(board_string which, char *value, int len) {
    const char *name =
        which == board_string::maker ? "smbios.planar.maker" : "smbios.planar.product";
    return kenv(KENV_GET, name, value, len);
}

namespace {
constexpr char smb0[] = "/dev/smb0";
}

bool platform_default_device(std::span<char, device_path_size> path) {
    static_assert(sizeof smb0 <= device_path_size);
    memcpy(path.data(), smb0, sizeof smb0);
    return true;
}

const char *platform_device_help() {
    return "use DEVICE as smb(4) device (default: /dev/smb0)";
}

// smb(4) keeps nothing per open device that the program must remember: the handle is the
// descriptor and the run's hold on it. A wait without bound takes the lock in the open itself
// (O_EXLOCK waits while another process holds it). The hold begins before that open with
// root's effective ids still in place, since /dev/smb0 is root's to open, and lowers them to
// the user's as soon as the device is open and locked, before any bus request. A bounded
// wait opens first and then takes the same lock with flock(2) (O_EXLOCK's lock is
// flock(2)'s): an open that takes the lock can only wait without bound or not at all, and
// the descriptor is needed to ask who holds the lock when the wait ends.
static int open_exlocked(const char *path, device_hold &hold) {
    int fd = -1;
    if (begin_hold(hold)) {
        // A signal that interrupts the wait only makes it try again.
        do
            fd = open(path, O_RDWR | O_EXLOCK | O_CLOEXEC);
        while (fd < 0 && errno == EINTR);
    }
    if (fd >= 0 && lower_hold(hold))
        return fd;
    if (fd >= 0)
        close_keeping_errno(fd);
    release_hold(hold);
    return -1;
}

bus_handle platform_open_locked(const char *path, lock_wait wait, lock_holder &busy) {
    device_hold hold;
    int fd;
    if (wait.bounded) {
        fd = open(path, O_RDWR | O_CLOEXEC);
        fd = fd < 0 ? -1 : lock_or_close(fd, wait, busy, hold);
    } else {
        fd = open_exlocked(path, hold);
    }
    return fd < 0 ? bus_handle{} : bus_handle{fd, nullptr, hold};
}

bus_handle platform_open_user_locked(const char *path, lock_wait wait, lock_holder &busy) {
    device_hold hold;
    int fd = open_as_real_user_locked(path, wait, busy, hold);
    return fd < 0 ? bus_handle{} : bus_handle{fd, nullptr, hold};
}

// fcntl(2)'s F_GETLK describes a lock that conflicts with an exclusive one over the whole file,
// with the process id of its owner. A flock(2) lock belongs to an open file rather than to a
// process: where F_GETLK gives no process id for it (-1) or reports no conflict, the holder
// stays unnamed.
lock_holder lock_holder_of(int fd) {
    struct flock probe;
    memset(&probe, 0, sizeof probe);
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    lock_holder holder;
    if (fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK && probe.l_pid > 0)
        holder.pid = probe.l_pid;
    return holder;
}

void platform_close(bus_handle &bus) {
    if (bus.fd >= 0)
        close(bus.fd);
    release_hold(bus.hold);
    bus = bus_handle{};
}

// smb(4) takes the 8-bit form of the address: the 7-bit address shifted left, with the
// read/write bit clear.
static struct smbcmd request_for(uint8_t addr, uint8_t reg) {
    struct smbcmd c;
    memset(&c, 0, sizeof c);
    c.slave = addr << 1;
    c.cmd = reg;
    return c;
}

// smb(4) reaches every chip on the bus; no driver stands in the way.
bool platform_describe_chip(bus_handle &, uint8_t, const chip_layout &, chip_reading) {
    return true;
}

// smb(4) has no drivers that hold a chip: every chip is read over the bus.
bool platform_chip_checked(bus_handle &, uint8_t) {
    return false;
}

bus_result platform_read_byte(bus_handle &bus, uint8_t addr, uint8_t reg) {
    struct smbcmd c = request_for(addr, reg);
    char data = 0;
    c.rbuf = &data;
    c.rcount = 1;
    if (ioctl(bus.fd, SMB_READB, &c) == -1)
        return {errno, 0};
    return {0, static_cast<uint8_t>(data)};
}

bus_result platform_write_byte(bus_handle &bus, uint8_t addr, uint8_t reg, uint8_t value) {
    struct smbcmd c = request_for(addr, reg);
    c.wdata.byte = static_cast<char>(value);
    if (ioctl(bus.fd, SMB_WRITEB, &c) == -1)
        return {errno, 0};
    return {0, 0};
}
