// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The chips' identity checks: read-only versions of what the kernel's w83793 and w83792d
// drivers check before they bind. Where a driver writes the bank register (the W83792D's
// detection selects bank 0 and the high-byte select, to read the chip ID and the vendor ID's
// high byte; the W83793G's driver selects each access's bank once bound), vantorel reads the
// byte that the current select shows and checks it against its half, and refuses a chip left
// on another bank rather than switching it.
#include "chips/identity.h"
#include "chips/smbus.h"
#include "trace/trace.h"

#include <sysexits.h>

identity_verdict judge_identity(const chip_identity &id, uint8_t addr,
                                const register_image &image) {
    uint8_t bank = 0; // the bank register, once its check has read it
    for (const identity_check &c : id.checks) {
        const uint8_t v = image[c.reg];
        uint8_t expected = v;
        switch (c.kind) {
        case identity_kind::bits_clear:
        case identity_kind::bank:
            expected = static_cast<uint8_t>(v & ~c.value);
            if (c.kind == identity_kind::bank)
                bank = v;
            break;
        case identity_kind::vendor:
            expected = bank & high_byte_select ? winbond_vendor_high : winbond_vendor_low;
            break;
        case identity_kind::equals:
            expected = c.value;
            break;
        case identity_kind::own_address:
            expected = static_cast<uint8_t>(addr << c.value);
            break;
        }
        if (v != expected)
            return {&c, v, expected};
    }
    return {};
}

namespace {

// Reads the registers of ID's checks from the chip at SLAVE into IMAGE, in order. 0, or
// EX_IOERR at the first failed read.
int read_identity(bus_handle &bus, int32_t slave, const chip_identity &id, register_image &image) {
    for (const identity_check &c : id.checks) {
        const byte_read r = read_byte(bus, slave, c.reg);
        if (r.status != 0)
            return r.status;
        image[c.reg] = r.value;
    }
    return 0;
}

// Says why VERDICT refused the chip ID at SLAVE.
void say_refused(const chip_identity &id, int32_t slave, const identity_verdict &verdict) {
    const identity_check &c = *verdict.failed;
    const unsigned addr = static_cast<unsigned>(slave);
    const unsigned reg = c.reg, read = verdict.read, expected = verdict.expected;
    switch (c.kind) {
    case identity_kind::bank:
        say_warnx("the %s at 0x%02x is on bank %u: register 0x%02x (%s) reads 0x%02x, expected "
                  "0x%02x (bank 0), and vantorel does not switch banks",
                  id.chip, addr, read & c.value, reg, c.meaning, read, expected);
        return;
    case identity_kind::bits_clear:
        say_warnx("the chip at 0x%02x is not a %s that can be read: register 0x%02x (%s) reads "
                  "0x%02x, expected 0x%02x (bits 0x%02x clear)",
                  addr, id.chip, reg, c.meaning, read, expected, static_cast<unsigned>(c.value));
        return;
    case identity_kind::vendor:
        say_warnx("the chip at 0x%02x is not a %s: register 0x%02x (%s, %s byte) reads 0x%02x, "
                  "expected 0x%02x",
                  addr, id.chip, reg, c.meaning, expected == winbond_vendor_high ? "high" : "low",
                  read, expected);
        return;
    case identity_kind::equals:
    case identity_kind::own_address:
        say_warnx("the chip at 0x%02x is not a %s: register 0x%02x (%s) reads 0x%02x, expected "
                  "0x%02x",
                  addr, id.chip, reg, c.meaning, read, expected);
        return;
    }
}

} // namespace

int check_chip_identity(bus_handle &bus, int32_t slave, const chip_layout &layout,
                        const chip_identity &id, chip_reading what) {
    if (what != chip_reading::with_limits)
        return 0;
    const uint8_t addr = seven_bit(slave);
    if (!platform_describe_chip(bus, addr, layout, what))
        return EX_IOERR;
    if (platform_chip_checked(bus, addr)) {
        debug_print("identity of the %s at 0x%02x: checked by the kernel's %s driver\n", id.chip,
                    static_cast<unsigned>(addr), layout.driver);
        return 0;
    }
    register_image image{};
    if (int status = read_identity(bus, slave, id, image); status != 0)
        return status;
    const identity_verdict verdict = judge_identity(id, addr, image);
    if (verdict.failed != nullptr) {
        say_refused(id, slave, verdict);
        return EX_UNAVAILABLE;
    }
    return 0;
}
