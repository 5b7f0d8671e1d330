// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The one walk over the readings that a board shows. The three kinds of reading are a table
// (which of the board's label lists names them, their unit, how their numbers are written,
// which limits a chip may hold for them); the walk visits, in report order (temperatures,
// fans, voltages, each list in its own order), every label of the board with the reading it
// names: its kind, cell, label, value, limits, status bit and, for a voltage cell, whether it
// holds volts or a plain register value. Every report form is a loop over this walk; only
// the walk knows which array of the readings record holds which kind.
#pragma once

#include "boards/boards.h"

#include <array>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

enum class reading_kind : uint8_t { temperature, fan, voltage };

// How a kind's numbers are written, in every form alike: whole numbers (degrees C as the
// table, CSV and JSON show them, RPM), with three decimals (volts, and the plain register
// values some voltage cells hold), or signed degrees C with as many decimals as they have
// (-10, 30.5: the chip's temperatures and their limits).
enum class number_format : uint8_t { whole, three_decimals, degrees };

// A reading, or one of its limits, in its kind's own type: a whole number of degrees or RPM is
// kept as the unsigned integer the record holds, volts and signed degrees as the double.
struct quantity {
    number_format format;
    uint64_t whole; // where FORMAT is whole
    double real;    // where FORMAT is three_decimals or degrees
};

constexpr quantity whole_quantity(uint64_t value) {
    return {number_format::whole, value, 0.0};
}
constexpr quantity real_quantity(double value) {
    return {number_format::three_decimals, 0, value};
}
constexpr quantity degrees_quantity(double value) {
    return {number_format::degrees, 0, value};
}

// The limits that a chip may hold for a reading: a voltage's window (min, max), a fan's
// minimum, a temperature's limit (on the W83793G its critical level) with its hysteresis and
// a second, warning level with its own.
enum class limit_name : uint8_t { min, max, max_hyst, warn, warn_hyst };
inline constexpr size_t limit_names = 5;

// One kind of reading.
struct kind_info {
    reading_kind kind;
    label_list board::*labels;          // the board's list that names readings of this kind
    const char *unit;                   // "C", "RPM", "V"
    number_format format;               // of its readings as the table, CSV and JSON show them
    std::span<const limit_name> limits; // those a chip may hold for it, in report order
};

namespace kind_limits {
inline constexpr limit_name temperature[] = {limit_name::max, limit_name::max_hyst,
                                             limit_name::warn, limit_name::warn_hyst};
inline constexpr limit_name fan[] = {limit_name::min};
inline constexpr limit_name voltage[] = {limit_name::min, limit_name::max};
} // namespace kind_limits

// The three kinds, in report order and in the order of reading_kind's values.
inline constexpr std::array<kind_info, 3> reading_kinds = {{
    {reading_kind::temperature, &board::temps, "C", number_format::whole, kind_limits::temperature},
    {reading_kind::fan, &board::fans, "RPM", number_format::whole, kind_limits::fan},
    {reading_kind::voltage, &board::voltages, "V", number_format::three_decimals,
     kind_limits::voltage},
}};

constexpr const kind_info &info_of(reading_kind kind) {
    return reading_kinds[static_cast<size_t>(kind)];
}

static_assert(info_of(reading_kind::temperature).kind == reading_kind::temperature &&
              info_of(reading_kind::fan).kind == reading_kind::fan &&
              info_of(reading_kind::voltage).kind == reading_kind::voltage);

// One label of a board's lists and the reading it names.
struct shown_reading {
    reading_kind kind;
    unsigned cell;     // its position in the readings record's array of its kind
    const char *label; // the name the board gives it
    bool last;         // the last entry of its kind's list
    quantity value;    // as the table, CSV and JSON forms show it
    // As the chip holds it and the kernel's driver reads it, for the Prometheus and plugin
    // reports and the verdicts: a temperature signed (0xF6 is -10, where VALUE shows 246 or
    // 0); the other kinds as VALUE.
    quantity chip_value;
    // By limit_name; absent where the chip holds no such limit (every limit that is not among
    // the kind's is absent).
    std::array<limit<quantity>, limit_names> limits;
    alarm_bit alarm;
    voltage_unit unit; // what a voltage cell holds; volts for the other kinds

    const limit<quantity> &limit_of(limit_name name) const {
        return limits[static_cast<size_t>(name)];
    }
    const char *unit_text() const {
        return info_of(kind).unit;
    }
};

// The reading that entry POSITION of the list of KIND names on board B, from S.
shown_reading reading_at(const board &b, const readings &s, reading_kind kind, size_t position);

// The walk: a range of the shown readings, of every kind or of one.
class shown_readings {
  public:
    class iterator {
      public:
        shown_reading operator*() const {
            return reading_at(*b_, *s_, reading_kinds[kind_].kind, position_);
        }
        iterator &operator++() {
            position_++;
            settle();
            return *this;
        }
        bool operator==(const iterator &other) const {
            return kind_ == other.kind_ && position_ == other.position_;
        }

      private:
        friend class shown_readings;
        iterator(const board &b, const readings &s, size_t kind, size_t stop)
            : b_(&b), s_(&s), kind_(kind), stop_(stop) {
            settle();
        }
        // Moves past the ends of lists onto the next entry, or onto the walk's end.
        void settle() {
            while (kind_ < stop_ && position_ >= (b_->*reading_kinds[kind_].labels).size()) {
                kind_++;
                position_ = 0;
            }
        }
        const board *b_;
        const readings *s_;
        size_t kind_;
        size_t stop_;
        size_t position_ = 0;
    };

    // Every reading of B, in report order.
    shown_readings(const board &b, const readings &s)
        : b_(b), s_(s), first_(0), stop_(reading_kinds.size()) {}
    // The readings of KIND alone.
    shown_readings(const board &b, const readings &s, reading_kind kind)
        : b_(b), s_(s), first_(static_cast<size_t>(kind)), stop_(first_ + 1) {}

    iterator begin() const {
        return {b_, s_, first_, stop_};
    }
    iterator end() const {
        return {b_, s_, stop_, stop_};
    }

  private:
    const board &b_;
    const readings &s_;
    size_t first_;
    size_t stop_;
};

// Whether LABEL names one of the readings that board B shows.
bool board_has_label(const board &b, const char *label);
