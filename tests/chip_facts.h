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
    // The reads that a run which shows the limits makes after READS: the limit and status
    // registers of the inputs behind the cells, and the case-open bit's, ascending per chip.
    std::vector<std::pair<int, int>> limit_reads = {};
};

inline std::vector<int> register_range(int first, int last) {
    std::vector<int> regs;
    for (int r = first; r <= last; r++)
        regs.push_back(r);
    return regs;
}

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
        // Status 0x4B-0x4E; voltage limits 0x60-0x65 with their low bits in 0x68 and 0x69,
        // and 0x6A-0x77; temperature limits 0x78-0x8F; fan minimums 0x90-0xA7.
        std::vector<int> limits = register_range(0x4B, 0x4E);
        for (int r : register_range(0x60, 0xA7))
            if (r != 0x66 && r != 0x67)
                limits.push_back(r);
        f.limit_reads = reads_at(0x2f, limits);
        return f;
    }();
    static const chip_facts w83792d = {
        reads_at(0x2f, {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29,
                        0x2A, 0x3E, 0x3F, 0x47, 0x49, 0x58, 0x59, 0x5A, 0x5B, 0x5C,
                        0x9E, 0xB0, 0xB1, 0xB8, 0xB9, 0xBA, 0xBE, 0xC0, 0xC8}),
        {0, 1, 7, 8, 10, 11, 12, 13, 14},
        {0, 1, 2},
        {0, 1, 2, 3, 4, 5, 6},
        // Voltage limits 0x2B-0x38, temp1's 0x39-0x3A, fan minimums 0x3B-0x3D; case open
        // 0x42; status 0xA9-0xAB; in7 and in8 limits 0xB4-0xB7; fan4-fan7 minimums; temp2's
        // and temp3's hysteresis and limit, each with its half-degree register after it.
        reads_at(0x2f,
                 {0x2B, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37,
                  0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x42, 0xA9, 0xAA, 0xAB, 0xB4, 0xB5, 0xB6,
                  0xB7, 0xBB, 0xBC, 0xBD, 0xBF, 0xC3, 0xC4, 0xC5, 0xC6, 0xCB, 0xCC, 0xCD, 0xCE})};
    static const chip_facts x6dva = [] {
        chip_facts f;
        f.reads = reads_at(0x2c, {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x27});
        for (auto r : reads_at(0x2f, {0x20, 0x21, 0x28, 0x29, 0x2A, 0x3E, 0x47, 0x5B, 0x5C, 0xB8,
                                      0xB9, 0xBA, 0xC0, 0xC8}))
            f.reads.push_back(r);
        f.volts = {0, 1, 3, 6, 11, 12, 13, 14};
        f.temps = {0, 1, 2};
        f.fans = {0, 1, 2, 3, 4, 5};
        // The second chip's only: in0, in1, temp2, temp3 (with their half degrees), fan1-fan6,
        // case open.
        f.limit_reads =
            reads_at(0x2f, {0x2B, 0x2C, 0x2D, 0x2E, 0x3B, 0x3C, 0x3D, 0x42, 0xA9, 0xAB, 0xBB,
                            0xBC, 0xBD, 0xC3, 0xC4, 0xC5, 0xC6, 0xCB, 0xCC, 0xCD, 0xCE});
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
