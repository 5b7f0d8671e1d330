// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// SMBus byte access: the only place where the program touches the hardware. Each call is
// exactly one transaction; there is no retry and no check of the value, and a failed one ends
// the process.
#include "chips/chips.h"
#include "platform/platform.h"
#include "trace/trace.h"

#include <errno.h>
#include <stdlib.h>
#include <sysexits.h>

namespace {

// The action on_bus_failure armed: one per process, since a failed transaction ends it.
struct failure_hook {
    void (*hook)(void *context) = nullptr;
    void *context = nullptr;
};

failure_hook &armed_hook() {
    static failure_hook armed;
    return armed;
}

// Ends the process after a failed transaction: the message (with the text of ERROR) unless
// the platform has given its own (WHAT null), the armed hook, status EX_IOERR.
[[noreturn]] void bus_failed(const char *what, int error) {
    if (what != nullptr) {
        errno = error;
        say_warn("%s", what);
    }
    if (const failure_hook &h = armed_hook(); h.hook != nullptr)
        h.hook(h.context);
    exit(EX_IOERR);
}

} // namespace

void on_bus_failure(void (*hook)(void *context), void *context) {
    armed_hook() = {hook, context};
}

// The board table's addresses are 7-bit; the platform takes them as such.
static uint8_t seven_bit(int32_t slave) {
    return static_cast<uint8_t>(slave & 0x7f);
}

uint8_t read_byte(int fd, int32_t slave, uint8_t idxreg) {
    debug_print("read_byte(fd = %d, slave = 0x%02x, idxreg = 0x%02x)\n", fd,
                static_cast<unsigned>(slave), idxreg);
    const bus_result r = platform_read_byte(fd, seven_bit(slave), idxreg);
    if (r.error != 0)
        bus_failed(r.reported ? nullptr : "ioctl(SMB_READB) failed", r.error);
    debug_print("read_byte() returning 0x%02x\n", r.value);
    return r.value;
}

register_image read_registers(int fd, int32_t slave, std::span<const uint8_t> list) {
    register_image image{};
    for (uint8_t reg : list)
        image[reg] = read_byte(fd, slave, reg);
    return image;
}

register_image read_chip_registers(int fd, int32_t slave, const chip_layout &layout,
                                   std::span<const uint8_t> list) {
    platform_describe_chip(fd, seven_bit(slave), layout);
    return read_registers(fd, slave, list);
}

void write_byte(int fd, int32_t slave, uint8_t idxreg, uint8_t value) {
    debug_print("write_byte(fd = %d, slave = 0x%02x, idxreg = 0x%02x, value = 0x%02x)\n", fd,
                static_cast<unsigned>(slave), idxreg, value);
    const bus_result r = platform_write_byte(fd, seven_bit(slave), idxreg, value);
    if (r.error != 0)
        bus_failed("ioctl(SMB_WRITEB) failed", r.error);
    debug_print("write_byte() returning\n");
}
