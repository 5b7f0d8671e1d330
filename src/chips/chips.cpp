// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The dispatch over the chip kinds.
#include "chips/chips.h"
#include "chips/chip_tables.h"
#include "chips/driver_features.h"
#include "chips/readers.h"
#include "trace/trace.h"

#include <sysexits.h>

int read_chip(const board &b, bus_handle &bus, readings &s, chip_reading what) {
    switch (b.chip) {
    case chip_kind::w83793g:
        return read_winbond(bus, b.slave, w83793g_chip, s, what);
    case chip_kind::w83792d:
        return read_winbond(bus, b.slave, w83792d_chip, s, what);
    case chip_kind::x6dva:
        return read_x6dva(bus, s, what);
    }
    // A row whose kind no reader handles.
    say_puts("Internal vantorel coding error.  Please report this bug\n"
             "to the vantorel author.");
    return EX_SOFTWARE;
}

std::optional<board_chips> chips_of(const board &b) {
    // A Winbond board's chip answers at its row's address, a 7-bit one.
    const bool addressed = b.slave >= 0 && b.slave <= 0x7f;
    const auto address = static_cast<uint8_t>(b.slave);
    switch (b.chip) {
    case chip_kind::w83793g:
        if (!addressed)
            break;
        return board_chips{{&w83793g_cells, address}, std::nullopt};
    case chip_kind::w83792d:
        if (!addressed)
            break;
        return board_chips{{&w83792d_cells, address}, std::nullopt};
    case chip_kind::x6dva:
        return board_chips{{&x6dva_second_cells, x6dva_second_address},
                           driverless_chip{&x6dva_first_cells, x6dva_first_address}};
    }
    return std::nullopt;
}

std::optional<board_features> driver_features_of(const board &b) {
    const std::optional<board_chips> chips = chips_of(b);
    if (!chips)
        return std::nullopt;
    return features_of(*chips);
}
