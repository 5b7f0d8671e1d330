// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The chip's identity, checked before a run judges its readings: the checks that the kernel's
// driver for the chip makes before it binds to it, made with reads alone. A run that judges
// (limits and alarms shown, the exposition, the plugin's verdict) must know that the chip at
// the board's address is the board's chip, on the register bank that the readers assume;
// numbers from anything else look like readings and would be judged as confidently.
#pragma once

#include <span>
#include <stdint.h>

#include "platform/platform.h"
#include "registers/chip_layout.h"
#include "registers/registers.h"

// What one check compares.
enum class identity_kind : uint8_t {
    // The bits of MASK must be clear (the W83792D's configuration bit 7).
    bits_clear,
    // The bank bits (MASK) of the bank select register must select bank 0: vantorel never
    // writes, so it reads the bank the chip was left on, and refuses any other. Bit 7 of the
    // same register, the high-byte select, decides which half of the vendor ID shows.
    bank,
    // The vendor ID, 0x5ca3, one byte at a time: the high byte 0x5c while the bank register's
    // high-byte select (bit 7) is set, the low byte 0xa3 while it is clear.
    vendor,
    // Exactly VALUE: the chip ID.
    equals,
    // The chip's own copy of its I2C address: the 7-bit address shifted left by VALUE bits.
    own_address,
};

struct identity_check {
    identity_kind kind;
    uint8_t reg;
    uint8_t value; // the mask of bits_clear and bank, the value of equals, the shift of own_address
    const char *meaning;
};

// Winbond's vendor ID and the bank register's high-byte select.
inline constexpr uint8_t winbond_vendor_high = 0x5c;
inline constexpr uint8_t winbond_vendor_low = 0xa3;
inline constexpr uint8_t high_byte_select = 0x80;

// The checks of one chip, in the order made: each register read once, in this order.
struct chip_identity {
    const char *chip; // the chip's name in messages
    std::span<const identity_check> checks;
};

// Winbond W83793G: bank select 0x00 (bank bits 0-2, high-byte select bit 7; the same register
// in every bank), vendor ID 0x0d and chip ID 0x0e (0x7b), read in any bank; its I2C address
// in bank 0's 0x0b, as an 8-bit address (the 7-bit one shifted left once). The kernel's
// detection writes nothing: it takes the vendor byte that the select shows, checks the
// address only when the bank bits select bank 0, and binds a chip on any bank, whose bank its
// driver then switches for each access.
inline constexpr identity_check w83793g_identity_checks[] = {
    {identity_kind::bank, 0x00, 0x07, "bank select"},
    {identity_kind::vendor, 0x0d, 0, "vendor ID"},
    {identity_kind::own_address, 0x0b, 1, "I2C address"},
    {identity_kind::equals, 0x0e, 0x7b, "chip ID"},
};
inline constexpr chip_identity w83793g_identity = {"Winbond W83793G", w83793g_identity_checks};

// Winbond W83792D: configuration 0x40, whose bit 7 set the kernel's driver refuses; bank select
// 0x4E (bank bits 0-2, high-byte select bit 7), vendor ID 0x4F, checked only on bank 0; its
// I2C address at 0x48 as the 7-bit address (checked on any bank); chip ID 0x7a at 0x58. The
// kernel's detection then writes the bank select (bank 0, the high-byte select set, bits 3-6
// kept) and requires the chip ID and the vendor ID's high byte there; its driver reads bank 0
// alone from then on. With the select clear, the high byte cannot be seen without a write: the
// low byte is checked instead, and a chip whose hidden high byte is wrong is judged where the
// kernel refuses it.
inline constexpr identity_check w83792d_identity_checks[] = {
    {identity_kind::bits_clear, 0x40, 0x80, "configuration"},
    {identity_kind::bank, 0x4e, 0x07, "bank select"},
    {identity_kind::vendor, 0x4f, 0, "vendor ID"},
    {identity_kind::own_address, 0x48, 0, "I2C address"},
    {identity_kind::equals, 0x58, 0x7a, "chip ID"},
};
inline constexpr chip_identity w83792d_identity = {"Winbond W83792D", w83792d_identity_checks};

// The outcome of the checks on an image of a chip's registers: the chip is accepted (FAILED
// null), or the first check that failed, with the value read and the value expected.
struct identity_verdict {
    const identity_check *failed = nullptr;
    uint8_t read = 0;
    uint8_t expected = 0;
};

// Judges IMAGE, the registers of ID's checks read from the chip at 7-bit address ADDR: the
// checks in order, the first that fails decides.
identity_verdict judge_identity(const chip_identity &id, uint8_t addr, const register_image &image);

// Checks the chip at the 7-bit address SLAVE, which its reader reads with LAYOUT, against ID,
// for a run that reads WHAT: nothing at all for a run of the readings alone, whose
// transactions stay those of the readers; otherwise the layout is told to the platform first,
// as the reader tells it, and the checks' registers are read through read_byte. A chip that
// the kernel's driver holds, read through its attributes, was checked by that driver before it
// bound: no read is made for it. Returns 0 when the chip is the board's; EX_UNAVAILABLE, after
// saying which chip, register, value read and value expected, when it is not; EX_IOERR after
// a failed read.
[[nodiscard]] int check_chip_identity(bus_handle &bus, int32_t slave, const chip_layout &layout,
                                      const chip_identity &id, chip_reading what);
