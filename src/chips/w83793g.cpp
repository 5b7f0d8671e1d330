// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Winbond W83793G. Everything the boards show sits in one contiguous register block,
// 0x10-0x3A: voltage inputs (three of them 10-bit, their low bits packed into 0x1B), six
// temperatures and twelve 16-bit fan counts stored high byte first.
#include "chips/chips.h"
#include "trace/trace.h"

static constexpr uint8_t first_reg = 0x10;
static constexpr uint8_t last_reg = 0x3A;

uint8_t w83793g_tempadj(uint8_t raw) {
    debug_print("w83793g_tempadj(raw = 0x%02x)\n", raw);
    // The CPU temperature registers are two's complement; nothing below 1 degree is shown.
    uint8_t t = static_cast<int8_t>(raw) > 0 ? raw : 0;
    debug_print("w83793g_tempadj() returning 0x%02x\n", t);
    return t;
}

uint32_t w83793g_rpmconv(uint16_t count) {
    debug_print("w83793g_rpmconv(count = 0x%04x)\n", count);
    // 0x0fff is the chip's "no reading" count; 0xffff is an ordinary (very slow) one.
    uint32_t rpm = count == 0 || count == 0x0fff ? 0 : 1350000u / count;
    debug_print("w83793g_rpmconv() returning 0x%08x\n", rpm);
    return rpm;
}

// The 10-bit value of reading register REG whose low bits sit at SHIFT in 0x1B.
static unsigned ten_bit(const register_image &regs, uint8_t reg, unsigned shift) {
    return regs[reg] * 4u + ((regs[0x1B] >> shift) & 3u);
}

// The snapshot: the whole block from first_reg to last_reg, in register order.
static constexpr auto snapshot = [] {
    std::array<uint8_t, last_reg - first_reg + 1> list{};
    for (unsigned i = 0; i < list.size(); i++)
        list[i] = static_cast<uint8_t>(first_reg + i);
    return list;
}();

int w83793g_main(int fd, int32_t slave, readings &s) {
    debug_print("w83793g_main(fd = %d, slave = 0x%02x, s = %p)\n", fd, static_cast<unsigned>(slave),
                static_cast<void *>(&s));
    const register_image regs = read_registers(fd, slave, snapshot);

    s.voltages[0] = ten_bit(regs, 0x10, 0) * 0.002;
    s.voltages[1] = ten_bit(regs, 0x11, 2) * 0.002;
    s.voltages[2] = ten_bit(regs, 0x12, 4) * 0.002;
    s.voltages[3] = (regs[0x14] * 0.032) * -12.0;
    s.voltages[4] = regs[0x15] * 0.016;
    s.voltages[5] = regs[0x16] * 0.016;
    s.voltages[6] = (regs[0x17] * 0.008) * 12.0;
    s.voltages[7] = regs[0x19] * 0.024 + 0.15; // the higher register feeds the lower cell
    s.voltages[9] = regs[0x18] * 0.024 + 0.15;
    s.voltages[10] = regs[0x1A] * 0.016;

    for (unsigned i = 0; i < 4; i++)
        s.temps[i] = w83793g_tempadj(regs[0x1C + i]);
    s.temps[4] = regs[0x20];
    s.temps[5] = regs[0x21];

    for (unsigned i = 0; i < 12; i++) {
        uint16_t count = static_cast<uint16_t>(regs[0x23 + 2 * i] << 8 | regs[0x24 + 2 * i]);
        s.fans[i] = w83793g_rpmconv(count);
    }

    debug_print("w83793g_main() returning\n");
    return 0;
}
