// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// SMBus byte access. A failed transaction is said on standard error where it happens and
// travels up as EX_IOERR.
#pragma once

#include <span>
#include <stdint.h>

#include "platform/platform.h"
#include "registers/registers.h"

// The board table's addresses are 7-bit; the platform takes them as such.
inline uint8_t seven_bit(int32_t slave) {
    return static_cast<uint8_t>(slave & 0x7f);
}

// The outcome of one read_byte: status 0 and the register's byte, or EX_IOERR.
struct [[nodiscard]] byte_read {
    int status;
    uint8_t value;
};

// One SMBus read-byte-data transaction with register IDXREG of the chip at 7-bit address
// SLAVE on the open device BUS. A failed transaction is said on standard error (unless the
// platform has said it) and gives EX_IOERR; no return line is traced then.
byte_read read_byte(bus_handle &bus, int32_t slave, uint8_t idxreg);

// One SMBus write-byte-data transaction. Returns 0, or EX_IOERR as read_byte fails.
[[nodiscard]] int write_byte(bus_handle &bus, int32_t slave, uint8_t idxreg, uint8_t value);

// Reads the registers of LIST from the chip at SLAVE, one read_byte each in list order, into
// IMAGE beside what it holds. Returns 0, or EX_IOERR at the first failed read, the reads
// after it not made.
[[nodiscard]] int read_registers(bus_handle &bus, int32_t slave, std::span<const uint8_t> list,
                                 register_image &image);
