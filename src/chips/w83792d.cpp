// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Winbond W83792D. Voltage inputs are 10-bit: the reading register holds the upper eight
// bits and the two low bits of seven inputs are packed into 0x3E and 0x3F. Fans report 8-bit
// counts that are scaled by a per-fan divisor of 2^code.
#include "chips/chips.h"
#include "trace/trace.h"

// Registers snapshotted, in bus order. 0x49 and 0x58-0x5A are read but enter no conversion.
static constexpr uint8_t snapshot[] = {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29,
                                       0x2A, 0x3E, 0x3F, 0x47, 0x49, 0x58, 0x59, 0x5A, 0x5B, 0x5C,
                                       0x9E, 0xB0, 0xB1, 0xB8, 0xB9, 0xBA, 0xBE, 0xC0, 0xC8};

struct fan_source {
    uint8_t count_reg;
    uint8_t divisor_reg;
    uint8_t divisor_shift;
};

// Fans 0 to 6: count register and where the divisor code sits.
static constexpr fan_source fans[w83792d_fan_count] = {
    {0x28, 0x47, 0}, {0x29, 0x47, 4}, {0x2A, 0x5B, 0}, {0xB8, 0x5B, 4},
    {0xB9, 0x5C, 0}, {0xBA, 0x5C, 4}, {0xBE, 0x9E, 0}};

uint8_t w83792d_divisor(uint8_t raw) {
    debug_print("w83792d_divisor(raw = 0x%02x)\n", raw);
    uint8_t div = raw < 8 ? static_cast<uint8_t>(1u << raw) : 2;
    debug_print("w83792d_divisor() returning 0x%02x\n", div);
    return div;
}

uint32_t w83792d_rpmconv(uint8_t count, uint32_t div) {
    debug_print("w83792d_rpmconv(count = 0x%02x, div = %u)\n", count, div);
    uint32_t rpm = 0;
    if (count != 0 && count != 0xff && div != 0)
        rpm = 1350000u / (count * div);
    debug_print("w83792d_rpmconv() returning 0x%08x\n", rpm);
    return rpm;
}

void w83792d_fan_speeds(const register_image &image, readings &s, unsigned n) {
    for (unsigned i = 0; i < n; i++) {
        uint8_t div = w83792d_divisor((image[fans[i].divisor_reg] >> fans[i].divisor_shift) & 7);
        s.fans[i] = w83792d_rpmconv(image[fans[i].count_reg], div);
    }
}

unsigned w83792d_ten_bit(const register_image &image, uint8_t reg, uint8_t lowreg, unsigned shift) {
    return image[reg] * 4u + ((image[lowreg] >> shift) & 3u);
}

int w83792d_main(int fd, int32_t slave, readings &s) {
    debug_print("w83792d_main(f = %d, slave = 0x%02x, s = %p)\n", fd, static_cast<unsigned>(slave),
                static_cast<void *>(&s));
    const register_image regs = read_registers(fd, slave, snapshot);

    s.voltages[0] = w83792d_ten_bit(regs, 0x20, 0x3E, 0) * 0.002;
    s.voltages[1] = w83792d_ten_bit(regs, 0x21, 0x3E, 2) * 0.002;
    s.voltages[7] = regs[0xB0] * 0.024;
    s.voltages[8] = w83792d_ten_bit(regs, 0x26, 0x3F, 4) * 0.006;
    s.voltages[10] = regs[0xB1] * 0.016;
    s.voltages[11] = w83792d_ten_bit(regs, 0x22, 0x3E, 4) * 0.004;
    s.voltages[12] = w83792d_ten_bit(regs, 0x23, 0x3E, 6) * 0.004;
    s.voltages[13] = (w83792d_ten_bit(regs, 0x24, 0x3F, 0) * 0.008) * -12.0;
    s.voltages[14] = w83792d_ten_bit(regs, 0x25, 0x3F, 2) * 0.016;

    s.temps[0] = regs[0x27];
    s.temps[1] = regs[0xC0];
    s.temps[2] = regs[0xC8];

    w83792d_fan_speeds(regs, s, w83792d_fan_count);

    debug_print("w83792d_main() returning\n");
    return 0;
}
