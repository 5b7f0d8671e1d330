// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// What each chip handling does on the bus and in the readings, as the tests know it from the
// chips' register maps: the reads of its snapshot, in bus order, and the cells it fills. The
// one home of these facts for the unit, command-line and fuzz suites.
#pragma once

#include "boards/boards.h"

#include <set>
#include <utility>
#include <vector>

struct chip_facts {
    std::vector<std::pair<int, int>> reads; // (7-bit address, register), in bus order
    std::set<unsigned> volts, temps, fans;  // the cells of the readings that the reader fills
};

inline std::vector<std::pair<int, int>> reads_at(int addr, std::vector<int> regs) {
    std::vector<std::pair<int, int>> out;
    for (int r : regs)
        out.emplace_back(addr, r);
    return out;
}

inline const chip_facts &facts_of(chip_kind kind) {
    static const chip_facts w83793g = [] {
        chip_facts f;
        for (int r = 0x10; r <= 0x3a; r++) // the whole block, once
            f.reads.emplace_back(0x2f, r);
        f.volts = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10};
        f.temps = {0, 1, 2, 3, 4, 5};
        f.fans = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        return f;
    }();
    static const chip_facts w83792d = {
        reads_at(0x2f, {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29,
                        0x2A, 0x3E, 0x3F, 0x47, 0x49, 0x58, 0x59, 0x5A, 0x5B, 0x5C,
                        0x9E, 0xB0, 0xB1, 0xB8, 0xB9, 0xBA, 0xBE, 0xC0, 0xC8}),
        {0, 1, 7, 8, 10, 11, 12, 13, 14},
        {0, 1, 2},
        {0, 1, 2, 3, 4, 5, 6}};
    static const chip_facts x6dva = [] {
        chip_facts f;
        f.reads = reads_at(0x2c, {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x27});
        for (auto r : reads_at(0x2f, {0x20, 0x21, 0x28, 0x29, 0x2A, 0x3E, 0x47, 0x5B, 0x5C, 0xB8,
                                      0xB9, 0xBA, 0xC0, 0xC8}))
            f.reads.push_back(r);
        f.volts = {0, 1, 3, 6, 11, 12, 13, 14};
        f.temps = {0, 1, 2};
        f.fans = {0, 1, 2, 3, 4, 5};
        return f;
    }();
    switch (kind) {
    case chip_kind::w83793g:
        return w83793g;
    case chip_kind::w83792d:
        return w83792d;
    case chip_kind::x6dva:
        break;
    }
    return x6dva;
}
