// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Winbond W83792D. Voltage inputs are 10-bit: the reading register holds the upper eight
// bits and the two low bits of eight inputs are packed into 0x3E and 0x3F. Fans report 8-bit
// counts that are scaled by a per-fan divisor of 2^code.
#include "chips/chips.h"
#include "trace/trace.h"

// in0-in8. in0-in7 are 10-bit; in8 is read as its 8-bit register. The kernel's w83792d
// driver publishes in0 and in1 in 2 mV steps, in2-in5 in 4 mV, in6 and in7 in 6 mV and in8
// in 16 mV.
static constexpr voltage_input inputs[] = {
    {.reg = 0x20, .ten_bit = true, .low_reg = 0x3E, .low_shift = 0, .step_mv = 2},
    {.reg = 0x21, .ten_bit = true, .low_reg = 0x3E, .low_shift = 2, .step_mv = 2},
    {.reg = 0x22, .ten_bit = true, .low_reg = 0x3E, .low_shift = 4, .step_mv = 4},
    {.reg = 0x23, .ten_bit = true, .low_reg = 0x3E, .low_shift = 6, .step_mv = 4},
    {.reg = 0x24, .ten_bit = true, .low_reg = 0x3F, .low_shift = 0, .step_mv = 4},
    {.reg = 0x25, .ten_bit = true, .low_reg = 0x3F, .low_shift = 2, .step_mv = 4},
    {.reg = 0x26, .ten_bit = true, .low_reg = 0x3F, .low_shift = 4, .step_mv = 6},
    {.reg = 0xB0, .ten_bit = true, .low_reg = 0x3F, .low_shift = 6, .step_mv = 6},
    {.reg = 0xB1, .step_mv = 16},
};

// temp1-temp3: the whole-degree registers; a half-degree bit sits below each, which the
// driver adds upward.
static constexpr uint8_t temperatures[] = {0x27, 0xC0, 0xC8};

// fan1-fan7: the 8-bit count register and where the divisor code sits. fan1-fan3 have pins
// of their own; fan4-fan7 share theirs with other functions (0x1A, 0x4B choose).
static constexpr auto fans = [] {
    std::array<fan_input, 7> list = {{
        {.count_reg = 0x28, .divided = true, .divisor_reg = 0x47, .divisor_shift = 0},
        {.count_reg = 0x29, .divided = true, .divisor_reg = 0x47, .divisor_shift = 4},
        {.count_reg = 0x2A, .divided = true, .divisor_reg = 0x5B, .divisor_shift = 0},
        {.count_reg = 0xB8, .divided = true, .divisor_reg = 0x5B, .divisor_shift = 4},
        {.count_reg = 0xB9, .divided = true, .divisor_reg = 0x5C, .divisor_shift = 0},
        {.count_reg = 0xBA, .divided = true, .divisor_reg = 0x5C, .divisor_shift = 4},
        {.count_reg = 0xBE, .divided = true, .divisor_reg = 0x9E, .divisor_shift = 0},
    }};
    for (unsigned i = 3; i < list.size(); i++)
        list[i].may_be_off = true;
    return list;
}();

constexpr chip_layout w83792d_layout = {.driver = "w83792d",
                                        .voltages = inputs,
                                        .temperatures = temperatures,
                                        .fraction = temperature_fraction::upward,
                                        .fans = fans,
                                        .no_reading_count = 0xff};

// Registers snapshotted, in bus order. 0x49 and 0x58-0x5A are read but enter no conversion.
static constexpr uint8_t snapshot[] = {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29,
                                       0x2A, 0x3E, 0x3F, 0x47, 0x49, 0x58, 0x59, 0x5A, 0x5B, 0x5C,
                                       0x9E, 0xB0, 0xB1, 0xB8, 0xB9, 0xBA, 0xBE, 0xC0, 0xC8};

uint8_t w83792d_divisor(uint8_t raw) {
    debug_print("w83792d_divisor(raw = 0x%02x)\n", raw);
    uint8_t div = raw < 8 ? static_cast<uint8_t>(1u << raw) : 2;
    debug_print("w83792d_divisor() returning 0x%02x\n", div);
    return div;
}

uint32_t w83792d_rpmconv(uint8_t count, uint32_t div) {
    debug_print("w83792d_rpmconv(count = 0x%02x, div = %u)\n", count, div);
    uint32_t rpm = 0;
    if (count != 0 && count != w83792d_layout.no_reading_count && div != 0)
        rpm = fan_clock / (count * div);
    debug_print("w83792d_rpmconv() returning 0x%08x\n", rpm);
    return rpm;
}

void w83792d_fan_speeds(const register_image &image, readings &s, unsigned n) {
    for (unsigned i = 0; i < n; i++) {
        const fan_input &f = w83792d_layout.fans[i];
        uint8_t div = w83792d_divisor((image[f.divisor_reg] >> f.divisor_shift) & 7);
        s.fans[i] = w83792d_rpmconv(image[f.count_reg], div);
    }
}

int w83792d_main(int fd, int32_t slave, readings &s) {
    debug_print("w83792d_main(f = %d, slave = 0x%02x, s = %p)\n", fd, static_cast<unsigned>(slave),
                static_cast<void *>(&s));
    const register_image regs = read_chip_registers(fd, slave, w83792d_layout, snapshot);
    const auto in = w83792d_layout.voltages;

    s.voltages[0] = input_value(regs, in[0]) * 0.002;
    s.voltages[1] = input_value(regs, in[1]) * 0.002;
    s.voltages[7] = regs[in[7].reg] * 0.024; // the high eight bits only
    s.voltages[8] = input_value(regs, in[6]) * 0.006;
    s.voltages[10] = input_value(regs, in[8]) * 0.016;
    s.voltages[11] = input_value(regs, in[2]) * 0.004;
    s.voltages[12] = input_value(regs, in[3]) * 0.004;
    s.voltages[13] = (input_value(regs, in[4]) * 0.008) * -12.0;
    s.voltages[14] = input_value(regs, in[5]) * 0.016;

    for (unsigned i = 0; i < 3; i++)
        s.temps[i] = regs[w83792d_layout.temperatures[i]];

    w83792d_fan_speeds(regs, s, static_cast<unsigned>(w83792d_layout.fans.size()));

    debug_print("w83792d_main() returning\n");
    return 0;
}
