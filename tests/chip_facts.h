// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// What each chip handling does on the bus and in the readings, as the tests know it from the
// chips' register maps: the reads of its snapshot, in bus order, and the cells it fills. The
// one home of these facts for the unit, command-line and fuzz suites; the reads come from
// tests/chip_reads.conf, which the end-to-end harness reads too.
#pragma once

#include "boards/boards.h"

#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

struct chip_facts {
    std::vector<std::pair<int, int>> reads; // (7-bit address, register), in bus order
    std::set<unsigned> volts, temps, fans;  // the cells of the readings that the reader fills
    // The reads that a run which shows the limits makes after READS: the limit and status
    // registers of the inputs behind the cells, and the case-open bit's, ascending per chip.
    std::vector<std::pair<int, int>> limit_reads = {};
    // The reads that a run which judges makes before READS: the chip's identity and bank.
    std::vector<std::pair<int, int>> identity_reads = {};
};

// The reads of chip handling KIND's LIST ("reads" or "limit_reads"), as tests/chip_reads.conf
// lists them for this suite and the end-to-end harness.
inline std::vector<std::pair<int, int>> listed_reads(const char *kind, const char *list) {
    std::ifstream in(VANTOREL_CHIP_READS);
    if (!in) {
        fprintf(stderr, "cannot read %s\n", VANTOREL_CHIP_READS);
        abort();
    }
    std::vector<std::pair<int, int>> reads;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string handling, which, address;
        if (!(words >> handling >> which >> address) || handling != kind || which != list)
            continue;
        const int addr = static_cast<int>(strtol(address.c_str(), nullptr, 16));
        for (std::string span; words >> span;) {
            char *end = nullptr;
            const int first = static_cast<int>(strtol(span.c_str(), &end, 16));
            const int last = *end == '-' ? static_cast<int>(strtol(end + 1, nullptr, 16)) : first;
            for (int r = first; r <= last; r++)
                reads.emplace_back(addr, r);
        }
    }
    if (reads.empty()) {
        fprintf(stderr, "%s lists no %s of %s\n", VANTOREL_CHIP_READS, list, kind);
        abort();
    }
    return reads;
}

inline const chip_facts &facts_of(chip_kind kind) {
    static const chip_facts w83793g = {listed_reads("w83793g", "reads"),
                                       {0, 1, 2, 3, 4, 5, 6, 7, 9, 10},
                                       {0, 1, 2, 3, 4, 5},
                                       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
                                       listed_reads("w83793g", "limit_reads"),
                                       listed_reads("w83793g", "identity_reads")};
    static const chip_facts w83792d = {listed_reads("w83792d", "reads"),
                                       {0, 1, 7, 8, 10, 11, 12, 13, 14},
                                       {0, 1, 2},
                                       {0, 1, 2, 3, 4, 5, 6},
                                       listed_reads("w83792d", "limit_reads"),
                                       listed_reads("w83792d", "identity_reads")};
    static const chip_facts x6dva = {listed_reads("x6dva", "reads"),
                                     {0, 1, 3, 6, 11, 12, 13, 14},
                                     {0, 1, 2},
                                     {0, 1, 2, 3, 4, 5},
                                     listed_reads("x6dva", "limit_reads"),
                                     listed_reads("x6dva", "identity_reads")};
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
