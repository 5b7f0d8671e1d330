// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// A chip's registers as data: an image of them, a set of register numbers, where in them a
// value lives (a register field) and one status bit, each with its one read, its one store
// into an image and its one way into a set. All of it works at compile time too.
#pragma once

#include <array>
#include <span>
#include <stddef.h>
#include <stdint.h>

// A chip's registers, indexed by register number; those not read or recovered are 0. Each
// image belongs to the call that fills it.
using register_image = std::array<uint8_t, 256>;

// A set of register numbers.
using register_set = std::array<bool, 256>;

// Where a value lives in a chip's registers: register REG holds its upper eight bits (all of
// it when it has no low part), and its LOW_BITS low bits (two below a 10-bit voltage, the low
// byte of a 16-bit fan count, a half-degree bit) lie at LOW_SHIFT in LOW_REG. A LOW_ZERO
// field has low bits that the chip does not keep (the 8-bit limit of a 10-bit input): they
// read 0, which puts the value on the scale of a value with low bits.
struct register_field {
    uint8_t reg;
    uint8_t low_bits = 0;
    uint8_t low_reg = 0;
    uint8_t low_shift = 0;
    bool low_zero = false;

    // The largest value the field holds.
    constexpr unsigned max() const {
        return (256u << low_bits) - 1;
    }
    constexpr bool low_kept() const {
        return low_bits != 0 && !low_zero;
    }
    constexpr unsigned low_mask() const {
        return (1u << low_bits) - 1;
    }

    // The value in IMAGE.
    constexpr unsigned value(const register_image &image) const {
        const unsigned low = low_kept() ? (image[low_reg] >> low_shift) & low_mask() : 0u;
        return static_cast<unsigned>(image[reg]) << low_bits | low;
    }

    // Stores VALUE into IMAGE, the other bits of the low part's register left as they are; a
    // LOW_ZERO field keeps the largest value with low bits 0 not above it. False, IMAGE
    // untouched, for a value the field cannot hold (below 0 or above max()).
    constexpr bool store(long value, register_image &image) const {
        if (value < 0 || value > static_cast<long>(max()))
            return false;
        const auto v = static_cast<unsigned>(value);
        image[reg] = static_cast<uint8_t>(v >> low_bits);
        if (low_kept())
            image[low_reg] = static_cast<uint8_t>((image[low_reg] & ~(low_mask() << low_shift)) |
                                                  (v & low_mask()) << low_shift);
        return true;
    }

    // Adds the registers that the value is read from to SET.
    constexpr void add_to(register_set &set) const {
        set[reg] = true;
        if (low_kept())
            set[low_reg] = true;
    }

    // Register REG alone: the value's upper eight bits as a value of their own.
    constexpr register_field high_byte() const {
        return {.reg = reg};
    }
};

// A value whose upper eight bits are in REG and whose BITS low bits lie at SHIFT in LOW_REG.
constexpr register_field with_low_bits(uint8_t reg, uint8_t bits, uint8_t low_reg, uint8_t shift) {
    return {.reg = reg, .low_bits = bits, .low_reg = low_reg, .low_shift = shift};
}
// A 16-bit value: its high byte in REG, its low byte in LOW_REG.
constexpr register_field with_low_byte(uint8_t reg, uint8_t low_reg) {
    return with_low_bits(reg, 8, low_reg, 0);
}
// A value whose upper eight bits are in REG and whose BITS low bits the chip does not keep.
constexpr register_field with_low_bits_zero(uint8_t reg, uint8_t bits) {
    return {.reg = reg, .low_bits = bits, .low_zero = true};
}

// One bit of a chip's status registers: the chip sets it while a reading is outside its
// limits (the case-open bit: once the case has been opened, until cleared).
struct status_bit {
    uint8_t reg;
    uint8_t bit;

    constexpr bool value(const register_image &image) const {
        return (image[reg] >> bit) & 1u;
    }
    // Stores VALUE, 0 or 1; false, IMAGE untouched, for any other.
    constexpr bool store(long value, register_image &image) const {
        if (value != 0 && value != 1)
            return false;
        image[reg] =
            static_cast<uint8_t>((image[reg] & ~(1u << bit)) | static_cast<unsigned>(value) << bit);
        return true;
    }
    constexpr void add_to(register_set &set) const {
        set[reg] = true;
    }
};

// SET and the registers of MORE.
constexpr register_set with(register_set set, std::span<const uint8_t> more) {
    for (uint8_t r : more)
        set[r] = true;
    return set;
}

// The registers of SET that are not in READ.
constexpr register_set without(register_set set, const register_set &read) {
    for (size_t r = 0; r < set.size(); r++)
        set[r] = set[r] && !read[r];
    return set;
}

// Every register from the lowest of SET to its highest: a block read whole.
constexpr register_set block_of(register_set set) {
    unsigned low = 256, high = 0;
    for (unsigned r = 0; r < set.size(); r++)
        if (set[r]) {
            low = r < low ? r : low;
            high = r;
        }
    for (unsigned r = low; r <= high && r < set.size(); r++)
        set[r] = true;
    return set;
}

constexpr size_t size_of(const register_set &set) {
    size_t n = 0;
    for (bool in : set)
        n += in;
    return n;
}

// The registers of SET in ascending order, the order in which a reader reads them; N is
// size_of(SET).
template <size_t N> constexpr std::array<uint8_t, N> in_register_order(const register_set &set) {
    std::array<uint8_t, N> list{};
    size_t at = 0;
    for (unsigned r = 0; r < set.size(); r++)
        if (set[r])
            list[at++] = static_cast<uint8_t>(r);
    return list;
}
