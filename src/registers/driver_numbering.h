// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// How the kernel's hardware-monitoring drivers number a chip's inputs: each kind under a
// prefix and a number, voltages from in0, temperatures and fans from temp1 and fan1, the one
// case-open bit intrusion0. The names of the driver's features (libsensors') and of its sysfs
// attributes (in3_input, fan1_div) both follow it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "registers/chip_layout.h"

// The kinds of input that a driver numbers.
enum class driver_input : uint8_t { voltage, temperature, fan, intrusion };

// The prefix of a kind's names, and the number of its first input.
struct driver_numbering {
    const char *prefix;
    unsigned first;
};

constexpr driver_numbering numbering_of(driver_input kind) {
    switch (kind) {
    case driver_input::voltage:
        return {"in", 0};
    case driver_input::temperature:
        return {"temp", 1};
    case driver_input::fan:
        break;
    case driver_input::intrusion:
        return {"intrusion", 0};
    }
    return {"fan", 1};
}

// How many inputs of KIND the chip of LAYOUT has, numbered from the kind's first on.
constexpr size_t inputs_of(const chip_layout &layout, driver_input kind) {
    switch (kind) {
    case driver_input::voltage:
        return layout.voltages.size();
    case driver_input::temperature:
        return layout.temperatures.size();
    case driver_input::fan:
        break;
    case driver_input::intrusion:
        return 1;
    }
    return layout.fans.size();
}
