// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The X6DVA family spreads its monitoring over two chips at fixed addresses: at 0x2c a chip
// whose readings are stored as plain register values, at 0x2f a W83792D-layout chip whose
// voltages, temperatures and fans convert as on the W83792D boards.
#include "chips/chips.h"
#include "trace/trace.h"

static constexpr int32_t first_chip = 0x2c;
static constexpr int32_t second_chip = 0x2f;

static constexpr uint8_t first_snapshot[] = {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x27};
static constexpr uint8_t second_snapshot[] = {0x20, 0x21, 0x28, 0x29, 0x2A, 0x3E, 0x47,
                                              0x5B, 0x5C, 0xB8, 0xB9, 0xBA, 0xC0, 0xC8};

int x6dva_main(int fd, readings &s) {
    debug_print("x6dva_main(fd = %d, s = %p)\n", fd, static_cast<void *>(&s));

    const register_image first = read_registers(fd, first_chip, first_snapshot);
    s.voltages[11] = first[0x20];
    s.voltages[12] = first[0x21];
    s.voltages[13] = first[0x22];
    s.voltages[14] = first[0x23];
    s.voltages[6] = first[0x24];
    s.voltages[3] = -static_cast<double>(first[0x25]); // -0.0 for a zero register
    s.temps[0] = first[0x27];

    const register_image second =
        read_chip_registers(fd, second_chip, w83792d_layout, second_snapshot);
    s.voltages[0] = input_value(second, w83792d_layout.voltages[0]) * 0.002;
    s.voltages[1] = input_value(second, w83792d_layout.voltages[1]) * 0.002;
    s.temps[1] = second[w83792d_layout.temperatures[1]];
    s.temps[2] = second[w83792d_layout.temperatures[2]];
    w83792d_fan_speeds(second, s, 6); // the second chip has no seventh fan

    debug_print("x6dva_main() returning\n");
    return 0;
}
