// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// SMBus byte access: the only place where the program touches the hardware. Each call is
// exactly one transaction; there is no retry and no check of the value. A failed one is said
// here, in the program's own words unless the platform has given its own, and returned.
#include "chips/smbus.h"
#include "platform/platform.h"
#include "trace/trace.h"

#include <errno.h>
#include <sysexits.h>

// The message of a failed transaction, with the text of ERROR; none when the platform has
// REPORTED the failure itself. The status the failure travels up with.
static int bus_failed(const char *what, const bus_result &r) {
    if (!r.reported) {
        errno = r.error;
        say_warn("%s", what);
    }
    return EX_IOERR;
}

byte_read read_byte(bus_handle &bus, int32_t slave, uint8_t idxreg) {
    debug_print("read_byte(fd = %d, slave = 0x%02x, idxreg = 0x%02x)\n", bus.fd,
                static_cast<unsigned>(slave), idxreg);
    const bus_result r = platform_read_byte(bus, seven_bit(slave), idxreg);
    if (r.error != 0)
        return {bus_failed("ioctl(SMB_READB) failed", r), 0};
    debug_print("read_byte() returning 0x%02x\n", r.value);
    return {0, r.value};
}

int read_registers(bus_handle &bus, int32_t slave, std::span<const uint8_t> list,
                   register_image &image) {
    for (uint8_t reg : list) {
        const byte_read r = read_byte(bus, slave, reg);
        if (r.status != 0)
            return r.status;
        image[reg] = r.value;
    }
    return 0;
}

int write_byte(bus_handle &bus, int32_t slave, uint8_t idxreg, uint8_t value) {
    debug_print("write_byte(fd = %d, slave = 0x%02x, idxreg = 0x%02x, value = 0x%02x)\n", bus.fd,
                static_cast<unsigned>(slave), idxreg, value);
    const bus_result r = platform_write_byte(bus, seven_bit(slave), idxreg, value);
    if (r.error != 0)
        return bus_failed("ioctl(SMB_WRITEB) failed", r);
    debug_print("write_byte() returning\n");
    return 0;
}
