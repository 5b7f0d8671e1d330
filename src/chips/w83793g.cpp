// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Winbond W83793G. Everything the boards show sits in one contiguous register block,
// 0x10-0x3A: voltage inputs (three of them 10-bit, their low bits packed into 0x1B), six
// temperatures and twelve 16-bit fan counts stored high byte first.
#include "chips/chips.h"
#include "trace/trace.h"

// in0-in9. in0-in2 are 10-bit, their low bits packed into 0x1B; 0x13 is no input. The
// kernel's w83793 driver publishes in0-in2 in 2 mV steps, in3-in5 and in9 in 16 mV, in6 in
// 8 mV, and in7 and in8 in 24 mV steps above 150 mV.
static constexpr voltage_input inputs[] = {
    {.reg = 0x10, .ten_bit = true, .low_reg = 0x1B, .low_shift = 0, .step_mv = 2},
    {.reg = 0x11, .ten_bit = true, .low_reg = 0x1B, .low_shift = 2, .step_mv = 2},
    {.reg = 0x12, .ten_bit = true, .low_reg = 0x1B, .low_shift = 4, .step_mv = 2},
    {.reg = 0x14, .step_mv = 16},
    {.reg = 0x15, .step_mv = 16},
    {.reg = 0x16, .step_mv = 16},
    {.reg = 0x17, .step_mv = 8},
    {.reg = 0x18, .step_mv = 24, .offset_mv = 150},
    {.reg = 0x19, .step_mv = 24, .offset_mv = 150},
    {.reg = 0x1A, .step_mv = 16},
};

// temp1-temp6 at 0x1C-0x21, two's complement whole degrees. temp1-temp4 have quarter
// degrees in 0x22, which the driver adds away from zero.
static constexpr uint8_t temperatures[] = {0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21};

// fan1-fan12: 16-bit counts at 0x23-0x3A, high byte first. The driver reads 12 bits of them.
// fan1-fan5 have pins of their own; fan6-fan12 share theirs with other functions (0x58,
// 0x5C choose).
static constexpr auto fans = [] {
    std::array<fan_input, 12> list{};
    for (unsigned i = 0; i < list.size(); i++)
        list[i] = {.count_reg = static_cast<uint8_t>(0x23 + 2 * i),
                   .sixteen_bit = true,
                   .count_low_reg = static_cast<uint8_t>(0x24 + 2 * i),
                   .may_be_off = i >= 5};
    return list;
}();

constexpr chip_layout w83793g_layout = {.driver = "w83793",
                                        .voltages = inputs,
                                        .temperatures = temperatures,
                                        .fraction = temperature_fraction::away_from_zero,
                                        .fans = fans,
                                        .no_reading_count = 0x0fff};

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
    uint32_t rpm = count == 0 || count == w83793g_layout.no_reading_count ? 0 : fan_clock / count;
    debug_print("w83793g_rpmconv() returning 0x%08x\n", rpm);
    return rpm;
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
    const register_image regs = read_chip_registers(fd, slave, w83793g_layout, snapshot);
    const auto in = w83793g_layout.voltages;
    const auto temp = w83793g_layout.temperatures;

    s.voltages[0] = input_value(regs, in[0]) * 0.002;
    s.voltages[1] = input_value(regs, in[1]) * 0.002;
    s.voltages[2] = input_value(regs, in[2]) * 0.002;
    s.voltages[3] = (input_value(regs, in[3]) * 0.032) * -12.0;
    s.voltages[4] = input_value(regs, in[4]) * 0.016;
    s.voltages[5] = input_value(regs, in[5]) * 0.016;
    s.voltages[6] = (input_value(regs, in[6]) * 0.008) * 12.0;
    // in8, the higher register, feeds the lower cell.
    s.voltages[7] = input_value(regs, in[8]) * 0.024 + 0.15;
    s.voltages[9] = input_value(regs, in[7]) * 0.024 + 0.15;
    s.voltages[10] = input_value(regs, in[9]) * 0.016;

    for (unsigned i = 0; i < 4; i++)
        s.temps[i] = w83793g_tempadj(regs[temp[i]]);
    s.temps[4] = regs[temp[4]];
    s.temps[5] = regs[temp[5]];

    for (unsigned i = 0; i < fans.size(); i++) {
        uint16_t count =
            static_cast<uint16_t>(regs[fans[i].count_reg] << 8 | regs[fans[i].count_low_reg]);
        s.fans[i] = w83793g_rpmconv(count);
    }

    debug_print("w83793g_main() returning\n");
    return 0;
}
