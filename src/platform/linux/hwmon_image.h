// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Linux: a chip that the kernel's own hardware-monitoring driver holds, read through that
// driver. i2c-dev refuses to address such a chip, but the driver publishes what it reads in
// sysfs attributes (bus/i2c/devices/N-00AA/, or its hwmon/hwmonK/ directory): voltages in mV,
// temperatures in m°C, fan speeds in RPM and fan divisors. Each of them is the chip's
// register value times a fixed step plus a fixed offset, so the register bytes that the
// readers convert can be recovered from them; the result is a register image that answers
// the readers' byte reads in place of the bus.
//
// Every function here takes the sysfs root ("/sys" in the program) so that tests can lay out
// an attribute tree of their own.
#pragma once

#include "registers/chip_layout.h"
#include "registers/registers.h"

#include <stdint.h>

// Reads the attributes of the driver that LAYOUT names, at the client ADDRESS on ADAPTER
// under SYSFS_ROOT, into REGS (every register that no attribute covers reading 0), tracing each on
// -v: the readings', and WITH_LIMITS also the limits' and status bits' (inN_min, inN_max,
// tempN_max, tempN_max_hyst, tempN_warn, tempN_warn_hyst where the chip has a warning level,
// fanN_min, the *_alarm bits and intrusion0_alarm). A fan that may be off (chip_layout) and whose
// attributes the driver does not publish reads 0: count 0, no minimum, its status bit clear, a fan
// at a standstill that nothing watches (the bus would show the chip's registers for a pin that
// counts nothing there). Anything else that keeps a register from being recovered fails the read:
// the client's directory or its hwmon directory missing or unreadable; any other attribute missing
// or unreadable; content that is no number, or a number outside the range that the chip's registers
// give; the driver unbound from the client while its attributes were read. The failure is said on
// standard error, naming the file or directory, and its errno returned (EINVAL for content, ENODEV
// for the driver gone); 0 when every register was recovered.
int hwmon_read_registers(const char *sysfs_root, int adapter, int address,
                         const chip_layout &layout, chip_reading what, register_image &regs);

// The recovery itself, one attribute at a time: VALUE is the number in attribute inINDEX,
// tempINDEX, fanINDEX or fanINDEX_div (a fan's divisor comes before its count and its
// minimum), or in one of their limit and status attributes, or intrusion0_alarm (INDEX 0).
// A limit is published as the reading at the limit's value, and recovered as the reading is
// into the limit's registers; a status bit is 0 or 1. False, leaving REGS as they are, when
// VALUE lies outside the range that the chip's registers give or the chip has no such input
// or attribute. Exposed for the tests; hwmon_read_registers applies it to every attribute it
// reads.
enum class hwmon_kind {
    in,
    temp,
    fan,
    fan_div,
    in_min,
    in_max,
    in_alarm,
    temp_max,
    temp_max_hyst,
    temp_warn,
    temp_warn_hyst,
    temp_alarm,
    fan_min,
    fan_alarm,
    intrusion,
};
bool hwmon_recover(const chip_layout &layout, hwmon_kind kind, int index, long value,
                   register_image &regs);
