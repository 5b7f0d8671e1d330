// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Linux: board identity from the kernel's DMI export in sysfs, the SMBus through i2c-dev
// (or, for a chip that the kernel's w83793 or w83792d driver holds, through that driver's
// attributes), the device lock through flock(2).
#include "platform/linux/hwmon_image.h"
#include "platform/linux/i2c_adapters.h"
#include "platform/linux/sysfs.h"
#include "platform/platform.h"
#include "platform/device_lock.h"
#include "trace/trace.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The DMI attributes are sysfs one-line files: the value is cut to LEN - 1 bytes and always
// terminated, which the run sequence does to a kenv(2) value anyway.
int platform_board_string(board_string which, char *value, int len) {
    const char *path = which == board_string::maker ? "/sys/class/dmi/id/board_vendor"
                                                    : "/sys/class/dmi/id/board_name";
    if (len <= 0) {
        errno = EINVAL;
        return -1;
    }
    if (int e = read_attribute(path, std::span<char>(value, static_cast<size_t>(len))); e != 0) {
        errno = e;
        return -1;
    }
    return static_cast<int>(strlen(value)) + 1;
}

// The kernel's own view of the system: sysfs and the device nodes.
bool platform_default_device(std::span<char, device_path_size> path) {
    return default_smbus_device("/sys", "/dev", path);
}

const char *platform_device_help() {
    return "use DEVICE as SMBus device (default: the one SMBus adapter)";
}

int platform_open_locked(const char *path) {
    return open_and_lock(path);
}

// i2c-dev addresses one chip per descriptor, set with I2C_SLAVE and kept by the kernel until
// it is set again. Select only when the address changes: a board with one chip costs one
// I2C_SLAVE per run. This mirrors the kernel's per-descriptor state, so it lives here.
static int selected_fd = -1;
static int selected_addr = -1;

// i2c-dev answers EBUSY when a kernel driver has claimed the chip. Say which driver, once in
// a run: the failure ends it anyway, and the hint is about the chip, not the transaction.
static bool busy_explained = false;

static void explain_busy(int fd, uint8_t addr) {
    int adapter = i2c_adapter_of(fd);
    if (busy_explained || adapter < 0)
        return;
    busy_explained = true;
    explain_busy_chip("/sys", adapter, addr);
}

static int select_chip(int fd, uint8_t addr) {
    if (fd == selected_fd && addr == selected_addr)
        return 0;
    // Not I2C_SLAVE_FORCE: a chip that a kernel driver owns answers EBUSY, and that is a bus
    // failure rather than something to override behind the driver's back.
    if (ioctl(fd, I2C_SLAVE, static_cast<unsigned long>(addr)) < 0) {
        int e = errno;
        if (e == EBUSY)
            explain_busy(fd, addr);
        return e;
    }
    selected_fd = fd;
    selected_addr = addr;
    return 0;
}

// One I2C_SMBUS byte-data transfer in direction RW; DATA carries the byte either way.
static bus_result smbus_byte_data(int fd, uint8_t addr, uint8_t reg, char rw, uint8_t data) {
    if (int e = select_chip(fd, addr); e != 0)
        return {e, 0};
    union i2c_smbus_data buf;
    memset(&buf, 0, sizeof buf);
    buf.byte = data;
    struct i2c_smbus_ioctl_data args;
    args.read_write = rw;
    args.command = reg;
    args.size = I2C_SMBUS_BYTE_DATA;
    args.data = &buf;
    if (ioctl(fd, I2C_SMBUS, &args) < 0)
        return {errno, 0};
    return {0, buf.byte};
}

// A chip that the kernel's driver named in its layout holds (w83793, w83792d) is read through
// the driver: i2c-dev would refuse it (EBUSY), and taking it from the driver would take it
// from lm-sensors too. Decided per address at its first transaction; the driver's attributes
// are read once, into a register image that answers every read of that chip in the run.
struct driver_chip {
    int fd = -1;
    int addr = -1;
    const chip_layout *layout = nullptr; // as the reader described the chip
    bool decided = false;
    bool held = false; // read through the driver, from regs
    int error = 0;     // the attributes could not be read: every read fails so
    hwmon_registers regs{};
};

// The chips described, at most two on the boards; any further one is read over the bus.
static driver_chip chips[2];

void platform_describe_chip(int fd, uint8_t addr, const chip_layout &layout) {
    for (driver_chip &c : chips)
        if (c.layout == nullptr || (c.fd == fd && c.addr == addr)) {
            c = driver_chip{};
            c.fd = fd;
            c.addr = addr;
            c.layout = &layout;
            return;
        }
}

// The chip at ADDR on FD when it is read through its driver, else nullptr; the first read
// of a described chip finds out.
static const driver_chip *held_chip(int fd, uint8_t addr) {
    driver_chip *c = nullptr;
    for (driver_chip &slot : chips)
        if (slot.layout != nullptr && slot.fd == fd && slot.addr == addr)
            c = &slot;
    if (c == nullptr)
        return nullptr;
    if (!c->decided) {
        c->decided = true;
        int adapter = i2c_adapter_of(fd);
        chip_holder holder;
        if (adapter < 0 || !find_chip_holder("/sys", adapter, addr, holder) ||
            strcmp(holder.driver, c->layout->driver) != 0)
            return nullptr;
        c->held = true;
        debug_print("chip 0x%02x on i2c-%d: held by the kernel's %s driver, read through its "
                    "attributes\n",
                    addr, adapter, holder.driver);
        c->error = hwmon_read_registers("/sys", adapter, addr, *c->layout, c->regs);
    }
    return c->held ? c : nullptr;
}

bus_result platform_read_byte(int fd, uint8_t addr, uint8_t reg) {
    // hwmon_read_registers has said why the attributes could not be read.
    if (const driver_chip *c = held_chip(fd, addr); c != nullptr)
        return {c->error, c->error == 0 ? c->regs[reg] : uint8_t{0}, c->error != 0};
    return smbus_byte_data(fd, addr, reg, I2C_SMBUS_READ, 0);
}

bus_result platform_write_byte(int fd, uint8_t addr, uint8_t reg, uint8_t value) {
    return smbus_byte_data(fd, addr, reg, I2C_SMBUS_WRITE, value);
}
