// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The monitoring-plugin report (-N): a verdict on the board's readings against the limits and
// status bits its chips hold, and the report that monitoring daemons read: one status line
// "VANTOREL STATE - text | perfdata", a line per reading out of its limits, and the state as
// the exit status. Pure, like the other forms: a board row and its readings in, text out.
#pragma once

#include "boards/boards.h"
#include "boards/readings_walk.h"

#include <array>
#include <span>
#include <stddef.h>
#include <stdio.h>

// The states of a check, which are also its exit statuses.
enum class plugin_state : int { ok = 0, warning = 1, critical = 2, unknown = 3 };

// The cells of the readings record: no board shows more readings than that.
inline constexpr size_t max_readings = 15 + 6 + 12;

// The labels that -x leaves out of the verdict and the perfdata, each kept once, by pointer
// (the strings are the command line's). Since every label of a board names one of its
// readings, more distinct labels than max_readings cannot all be the board's.
class excluded_labels {
  public:
    // Adds LABEL unless it is already there; false when it is new and the set is full.
    bool add(const char *label);
    bool contains(const char *label) const;
    std::span<const char *const> list() const {
        return {labels_.data(), count_};
    }

  private:
    std::array<const char *, max_readings> labels_{};
    size_t count_ = 0;
};

// Why a reading, or the board, is not as it should be.
enum class problem_cause : unsigned char {
    over_max,       // a temperature at or over its (critical) limit
    over_warn,      // a temperature at or over its warning limit, below the critical one,
                    // its status bit not set
    under_min,      // a fan under its minimum
    outside_window, // a voltage outside its min..max
    alarm,          // the chip's status bit for the reading is set
    case_open,      // the chip's case-open bit is set
};

struct problem {
    plugin_state state;
    problem_cause cause;
    shown_reading reading; // the reading at fault; not used for case_open
};

// The verdict: the worst state of its problems (ok without any), or unknown where no reading
// was compared with a meant limit; the number of readings judged (those the board shows, less
// those left out) and how many of them were compared with a meant limit; and one problem per
// reading that has one, in report order (temperatures, fans, voltages), then the case-open
// bit.
struct plugin_verdict {
    plugin_state state = plugin_state::ok;
    unsigned judged = 0;
    unsigned compared = 0;
    std::array<problem, max_readings + 1> problems{};
    size_t count = 0;
    std::span<const problem> list() const {
        return {problems.data(), count};
    }
};

// Judges the readings of B in S against the limits and status bits S holds. Limits that
// cannot be meant are not compared, and a status bit that the chip sets against such a limit
// does not count:
// - a temperature limit (max or warn) is meant only when 0 < limit < 127 degrees C;
// - a voltage window only when max > min (not where the registers are equal or inverted);
// - a fan minimum whenever it is present; a fan's bit counts only with one.
// A temperature or voltage with no limits at all is judged by its status bit alone. A
// temperature reading of -128 C (an input without a sensor) is not judged; every other value,
// 126 and 127 C included, is. A status bit that counts is CRITICAL whatever the reading's
// value; the warning level only ever raises OK to WARNING. Readings whose label is in
// EXCLUDED are not judged; the case-open bit always is. Where no reading was compared with a
// meant limit (every label excluded, or a chip without meant limits), the state is UNKNOWN,
// whatever the status bits and the case-open bit say: the problems are still listed.
plugin_verdict judge(const board &b, const readings &s, const excluded_labels &excluded);

// Writes the report of the verdict on B and S to OUT and returns its state: the status line
// with the perfdata of every reading judged, then a line per problem. A '|' or ';' in the
// board's product or a label is written as '_': it would start the perfdata or end a field.
plugin_state write_plugin_report(const board &b, const readings &s, const excluded_labels &excluded,
                                 FILE *out = stdout);

// What a run that could not judge said, in the order said: each message the text that puts(3),
// warn(3) or warnx(3) would have written, without the program's name before it and the newline
// after it; a line feed inside a message stays.
using plugin_messages = std::span<const std::span<const char>>;

// The report of a run that could not judge: "VANTOREL UNKNOWN - " and MESSAGES, one message a
// line (a line feed inside one becomes a blank), the first on the status line, each '|' and
// ';' in them written as '_'; a fixed text when there are none.
void write_plugin_unknown(plugin_messages messages, FILE *out = stdout);
