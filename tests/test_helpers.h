// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Small helpers that the unit and command-line suites share.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>

// How many times NEEDLE occurs in HAY, overlapping occurrences included.
inline size_t count(const std::string &hay, const std::string &needle) {
    size_t n = 0;
    for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1))
        n++;
    return n;
}

// TEXT as a part of a test's name, which GoogleTest takes in letters, digits and '_' only.
inline std::string test_name(std::string text) {
    for (char &ch : text)
        ch = isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return text;
}

// Names a parameterised test's instances after their cases' names (the case's `name`).
struct by_case_name {
    template <typename Info> std::string operator()(const Info &info) const {
        return test_name(info.param.name);
    }
};
