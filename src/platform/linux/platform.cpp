// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Linux: board identity from the kernel's DMI export in sysfs, the SMBus through i2c-dev
// (or, for a chip that the kernel's w83793 or w83792d driver holds, through that driver's
// attributes), the device lock through flock(2), and its holder through /proc/locks.
#include "platform/linux/hwmon_image.h"
#include "platform/linux/i2c_adapters.h"
#include "platform/linux/lock_holder.h"
#include "platform/linux/sysfs.h"
#include "platform/platform.h"
#include "platform/device_lock.h"
#include "trace/trace.h"

#include <err.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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

// A chip that the kernel's driver named in its layout holds (w83793, w83792d) is read through
// the driver: i2c-dev would refuse it (EBUSY), and taking it from the driver would take it
// from lm-sensors too. Decided per address at its first transaction; the driver's attributes
// are read once, into a register image that answers every read of that chip while the device
// is open.
struct driver_chip {
    uint8_t addr = 0;
    const chip_layout *layout = nullptr; // as the reader described the chip
    chip_reading what = chip_reading::readings;
    bool decided = false;
    bool held = false;   // read through the driver, from regs
    bool loaded = false; // regs recovered from the driver's attributes (or error set)
    int error = 0;       // the attributes could not be read: every read fails so
    register_image regs{};
};

// What Linux remembers about one open i2c-dev descriptor, as the kernel does: i2c-dev
// addresses one chip per descriptor, set with I2C_SLAVE and kept until it is set again.
struct platform_state {
    int selected = -1; // the address of the last I2C_SLAVE on the descriptor, -1 before it
    // i2c-dev answers EBUSY when a kernel driver has claimed the chip. Which driver is said
    // once per device: the failure ends the run anyway, and the hint is about the chip, not
    // the transaction.
    bool busy_explained = false;
    driver_chip *chips = nullptr; // the chips described, COUNT of ROOM, in a malloc'ed block
    size_t count = 0;
    size_t room = 0;
};

// The handle of the descriptor FD that an open returned: its state starts empty. A state that
// cannot be had fails the open (ENOMEM), the descriptor closed again.
static bus_handle handle_for(int fd, device_hold &hold) {
    if (fd < 0)
        return {};
    auto *state = static_cast<platform_state *>(malloc(sizeof(platform_state)));
    if (state == nullptr) {
        close_keeping_errno(fd);
        release_hold(hold);
        return {};
    }
    *state = platform_state{};
    return {fd, state, hold};
}

bus_handle platform_open_locked(const char *path, lock_wait wait, lock_holder &busy) {
    device_hold hold;
    return handle_for(open_and_lock(path, wait, busy, hold), hold);
}

bus_handle platform_open_user_locked(const char *path, lock_wait wait, lock_holder &busy) {
    device_hold hold;
    return handle_for(open_as_real_user_locked(path, wait, busy, hold), hold);
}

// The kernel names the holder of a flock(2) lock in /proc/locks, by the file's device and
// inode.
lock_holder lock_holder_of(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0)
        return {};
    return find_flock_holder("/proc", st.st_dev, st.st_ino);
}

void platform_close(bus_handle &bus) {
    if (bus.fd >= 0)
        close(bus.fd);
    if (bus.state != nullptr)
        free(bus.state->chips);
    free(bus.state);
    release_hold(bus.hold);
    bus = bus_handle{};
}

static void explain_busy(bus_handle &bus, uint8_t addr) {
    int adapter = i2c_adapter_of(bus.fd);
    if (bus.state->busy_explained || adapter < 0)
        return;
    bus.state->busy_explained = true;
    explain_busy_chip("/sys", adapter, addr);
}

// Selects only when the address changes: a board with one chip costs one I2C_SLAVE per run.
static int select_chip(bus_handle &bus, uint8_t addr) {
    if (bus.state->selected == addr)
        return 0;
    // Not I2C_SLAVE_FORCE: a chip that a kernel driver owns answers EBUSY, and that is a bus
    // failure rather than something to override behind the driver's back.
    if (ioctl(bus.fd, I2C_SLAVE, static_cast<unsigned long>(addr)) < 0) {
        int e = errno;
        if (e == EBUSY)
            explain_busy(bus, addr);
        return e;
    }
    bus.state->selected = addr;
    return 0;
}

// One I2C_SMBUS byte-data transfer in direction RW; DATA carries the byte either way.
static bus_result smbus_byte_data(bus_handle &bus, uint8_t addr, uint8_t reg, char rw,
                                  uint8_t data) {
    if (int e = select_chip(bus, addr); e != 0)
        return {e, 0};
    union i2c_smbus_data buf;
    memset(&buf, 0, sizeof buf);
    buf.byte = data;
    struct i2c_smbus_ioctl_data args;
    args.read_write = rw;
    args.command = reg;
    args.size = I2C_SMBUS_BYTE_DATA;
    args.data = &buf;
    if (ioctl(bus.fd, I2C_SMBUS, &args) < 0)
        return {errno, 0};
    return {0, buf.byte};
}

static driver_chip *described(platform_state &state, uint8_t addr) {
    for (size_t i = 0; i < state.count; i++)
        if (state.chips[i].addr == addr)
            return &state.chips[i];
    return nullptr;
}

// Any number of chips: the list grows as readers describe them.
bool platform_describe_chip(bus_handle &bus, uint8_t addr, const chip_layout &layout,
                            chip_reading what) {
    platform_state &state = *bus.state;
    driver_chip *c = described(state, addr);
    if (c == nullptr) {
        if (state.count == state.room) {
            size_t room = state.room == 0 ? 2 : 2 * state.room;
            auto *grown =
                static_cast<driver_chip *>(realloc(state.chips, room * sizeof(driver_chip)));
            if (grown == nullptr) {
                say_warn("chip 0x%02x", addr);
                return false;
            }
            state.chips = grown;
            state.room = room;
        }
        c = &state.chips[state.count++];
    } else if (c->layout == &layout && c->what == what) {
        // Described again as before (the identity check, then the reader): what was decided
        // about the chip stands, so both see it on the same path.
        return true;
    }
    *c = driver_chip{};
    c->addr = addr;
    c->layout = &layout;
    c->what = what;
    return true;
}

// The chip at ADDR if it is described, with whether its driver holds it decided: by the first
// question about it (platform_chip_checked, or its first read), once.
static driver_chip *decided_chip(bus_handle &bus, uint8_t addr) {
    driver_chip *c = described(*bus.state, addr);
    if (c == nullptr || c->decided)
        return c;
    c->decided = true;
    int adapter = i2c_adapter_of(bus.fd);
    chip_holder holder;
    c->held = adapter >= 0 && find_chip_holder("/sys", adapter, addr, holder) &&
              strcmp(holder.driver, c->layout->driver) == 0;
    return c;
}

bool platform_chip_checked(bus_handle &bus, uint8_t addr) {
    const driver_chip *c = decided_chip(bus, addr);
    return c != nullptr && c->held;
}

// The chip at ADDR when it is read through its driver, its registers recovered from the
// driver's attributes at its first read; else nullptr.
static const driver_chip *held_chip(bus_handle &bus, uint8_t addr) {
    driver_chip *c = decided_chip(bus, addr);
    if (c == nullptr || !c->held)
        return nullptr;
    if (!c->loaded) {
        c->loaded = true;
        int adapter = i2c_adapter_of(bus.fd);
        debug_print("chip 0x%02x on i2c-%d: held by the kernel's %s driver, read through its "
                    "attributes\n",
                    addr, adapter, c->layout->driver);
        c->error = hwmon_read_registers("/sys", adapter, addr, *c->layout, c->what, c->regs);
    }
    return c;
}

bus_result platform_read_byte(bus_handle &bus, uint8_t addr, uint8_t reg) {
    // hwmon_read_registers has said why the attributes could not be read.
    if (const driver_chip *c = held_chip(bus, addr); c != nullptr)
        return {c->error, c->error == 0 ? c->regs[reg] : uint8_t{0}, c->error != 0};
    return smbus_byte_data(bus, addr, reg, I2C_SMBUS_READ, 0);
}

bus_result platform_write_byte(bus_handle &bus, uint8_t addr, uint8_t reg, uint8_t value) {
    return smbus_byte_data(bus, addr, reg, I2C_SMBUS_WRITE, value);
}
