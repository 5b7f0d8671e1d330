// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "output/plugin_report.h"
#include "output/numbers.h"
#include "trace/trace.h"

#include <stdint.h>
#include <string.h>

bool excluded_labels::add(const char *label) {
    if (contains(label))
        return true;
    if (count_ == labels_.size())
        return false;
    labels_[count_++] = label;
    return true;
}

bool excluded_labels::contains(const char *label) const {
    for (const char *l : list())
        if (strcmp(l, label) == 0)
            return true;
    return false;
}

namespace {

// The chips' temperature registers are signed and 0x7F (127) is their ceiling: a limit of 127
// or more is the ceiling itself, and a limit of 0 or below is a register left at 0, an unset
// 0xFF (-1) or a limit below zero. Neither is a limit anyone set for a board in service.
bool temperature_meant(const limit<quantity> &l) {
    return l.present && l.value.real > 0 && l.value.real < 127;
}

// The value a temperature input reads with no sensor attached: 0x80 (-128 C), the lowest code
// of the signed register, where the chip's converter ends up with nothing on the input's
// pins. Every other value is one the chip measured: 126 and 127 C (0x7F, the register's
// ceiling) are an overheat or a sensor that has failed short, and are judged as any other.
constexpr double no_sensor_celsius = -128;

// Whether R's value can be meant: any reading but a temperature input without a sensor.
bool reading_meant(const shown_reading &r) {
    return r.kind != reading_kind::temperature || r.chip_value.real != no_sensor_celsius;
}

// A window is meant where its max lies above its min. Equal limits (both registers at 0, or
// both at 0xFF, as at power-on) leave no window that a reading could sit inside, and an
// inverted one (the high register under the low one, which the readers keep as a max under
// the min) is a window that no firmware sets: the chip then flags every value the rail can
// have.
bool window_meant(const shown_reading &r) {
    const limit<quantity> &min = r.limit_of(limit_name::min);
    const limit<quantity> &max = r.limit_of(limit_name::max);
    return min.present && max.present && max.value.real > min.value.real;
}

// Whether R has a limit that the chip holds and someone meant, and that R is compared with:
// a temperature's meant limit or warning level, a fan's minimum, a voltage's meant window.
// The readers keep a fan minimum count of 0, or the chip's no-reading count, as no minimum.
bool has_meant_limit(const shown_reading &r) {
    switch (r.kind) {
    case reading_kind::temperature:
        return temperature_meant(r.limit_of(limit_name::max)) ||
               temperature_meant(r.limit_of(limit_name::warn));
    case reading_kind::fan:
        return r.limit_of(limit_name::min).present;
    case reading_kind::voltage:
        break;
    }
    return window_meant(r);
}

// Whether the chip's status bit for R counts: the chip compares R against the limit it holds,
// so its bit means nothing where that limit, or R itself, is one that cannot be meant. A
// temperature or voltage without any limit is judged by its bit alone. A fan always has its
// minimum register, and without a meant minimum its bit means nothing: a count of 0 is a
// minimum that every fan, turning or stopped, is slower than (the chip counts a slower fan
// higher), and the no-reading count is one that no fan is slower than.
bool alarm_counts(const shown_reading &r) {
    if (!reading_meant(r))
        return false;
    switch (r.kind) {
    case reading_kind::temperature: {
        const limit<quantity> &max = r.limit_of(limit_name::max);
        return !max.present || temperature_meant(max);
    }
    case reading_kind::fan:
        return r.limit_of(limit_name::min).present;
    case reading_kind::voltage:
        break;
    }
    const bool any_present =
        r.limit_of(limit_name::min).present || r.limit_of(limit_name::max).present;
    return !any_present || window_meant(r);
}

bool found(problem &p, plugin_state state, problem_cause cause, const shown_reading &r) {
    p = {state, cause, r};
    return true;
}

// The problem of R, if it has one, into P. A reading that cannot be meant has none. CRITICAL
// first: a temperature at or over its meant limit, a fan under its minimum, a voltage outside
// its meant window, or else the chip's status bit for R set where it counts, whatever the
// value (the chip may have seen what this one reading does not show). Only then the warning
// level, which only ever raises OK to WARNING: a temperature at or over its meant warning
// limit. Temperatures are compared as the chip holds them, signed, against limits with any
// half degree they have.
bool judge_reading(const shown_reading &r, problem &p) {
    if (!reading_meant(r))
        return false;
    const limit<quantity> &min = r.limit_of(limit_name::min);
    const limit<quantity> &max = r.limit_of(limit_name::max);
    const limit<quantity> &warn = r.limit_of(limit_name::warn);
    switch (r.kind) {
    case reading_kind::temperature:
        if (temperature_meant(max) && r.chip_value.real >= max.value.real)
            return found(p, plugin_state::critical, problem_cause::over_max, r);
        break;
    case reading_kind::fan:
        if (min.present && r.value.whole < min.value.whole)
            return found(p, plugin_state::critical, problem_cause::under_min, r);
        break;
    case reading_kind::voltage:
        if (window_meant(r) && (r.value.real < min.value.real || r.value.real > max.value.real))
            return found(p, plugin_state::critical, problem_cause::outside_window, r);
        break;
    }
    if (r.alarm == alarm_bit::set && alarm_counts(r))
        return found(p, plugin_state::critical, problem_cause::alarm, r);
    if (r.kind == reading_kind::temperature && temperature_meant(warn) &&
        r.chip_value.real >= warn.value.real)
        return found(p, plugin_state::warning, problem_cause::over_warn, r);
    return false;
}

void add(plugin_verdict &v, const problem &p) {
    v.problems[v.count++] = p;
    if (static_cast<int>(p.state) > static_cast<int>(v.state))
        v.state = p.state;
}

const char *state_name(plugin_state s) {
    switch (s) {
    case plugin_state::ok:
        return "OK";
    case plugin_state::warning:
        return "WARNING";
    case plugin_state::critical:
        return "CRITICAL";
    case plugin_state::unknown:
        break;
    }
    return "UNKNOWN";
}

// What the report writes for a '|' or a ';' in any text it takes from elsewhere (a label, the
// board's product, a -x label, a -f path or a board string inside a message kept from a
// failure): a daemon takes the first '|' of any line for the start of the perfdata, and a
// ';' is a perfdata field's end, which Nagios also turns into a ':' in what it records. An
// underscore means nothing to the daemons, to a shell that a notification command hands the
// text to, or to a perfdata parser.
constexpr char safe(char c) {
    return c == '|' || c == ';' ? '_' : c;
}

// TEXT as it is, but for '|' and ';'.
void plugin_text(FILE *out, const char *text) {
    for (const char *c = text; *c != '\0'; c++)
        fputc(safe(*c), out);
}

// The perfdata label of R: its label, always quoted, a quote inside it written twice. A
// voltage cell that holds a plain register value (the X6DVA's chip at 0x2c) says so after its
// label: a number without unit or scale under a rail's name ('+12V'=93.000) would be graphed
// and compared as volts.
void perf_label(FILE *out, const shown_reading &r) {
    fputc('\'', out);
    for (const char *c = r.label; *c != '\0'; c++) {
        if (*c == '\'')
            fputc('\'', out);
        fputc(safe(*c), out);
    }
    if (r.unit == voltage_unit::register_value)
        fputs(" register value", out);
    fputs("'=", out);
}

// The thresholds of R's perfdata, from meant limits only: temperatures WARN and CRIT as plain
// numbers (the range 0 to the limit), voltages CRIT as the window MIN:MAX, fans CRIT as MIN:
// (alert below it); none where R has no meant limit.
void thresholds(FILE *out, const shown_reading &r) {
    const limit<quantity> &min = r.limit_of(limit_name::min);
    const limit<quantity> &max = r.limit_of(limit_name::max);
    const limit<quantity> &warn = r.limit_of(limit_name::warn);
    switch (r.kind) {
    case reading_kind::temperature:
        if (temperature_meant(warn) || temperature_meant(max))
            fputc(';', out);
        if (temperature_meant(warn))
            print_number(out, warn.value);
        if (temperature_meant(max)) {
            fputc(';', out);
            print_number(out, max.value);
        }
        return;
    case reading_kind::fan:
        if (min.present) {
            fputs(";;", out);
            print_number(out, min.value);
            fputc(':', out);
        }
        return;
    case reading_kind::voltage:
        if (window_meant(r)) {
            fputs(";;", out);
            print_number(out, min.value);
            fputc(':', out);
            print_number(out, max.value);
        }
        return;
    }
}

// The perfdata of every reading judged, each " 'LABEL'=VALUE[;WARN;CRIT]" with the value as
// -P exports it (-J's, but a temperature signed) and no unit of measurement. printf writes the C
// locale's numbers: the program never sets a locale.
void perfdata(FILE *out, const board &b, const readings &s, const excluded_labels &excluded) {
    // "|" before the first, a blank between two; none at all without readings.
    const char *sep = " | ";
    for (const shown_reading &r : shown_readings(b, s)) {
        if (excluded.contains(r.label))
            continue;
        fputs(sep, out);
        sep = " ";
        perf_label(out, r);
        print_number(out, r.chip_value);
        thresholds(out, r);
    }
}

// ", WHAT " and limit NAME of R with its unit.
void limit_text(FILE *out, const char *what, const shown_reading &r, limit_name name) {
    fputs(what, out);
    print_number(out, r.limit_of(name).value);
    fprintf(out, " %s", r.unit_text());
}

// One line about problem P: the reading, its value and what is wrong with it.
void problem_line(FILE *out, const problem &p) {
    if (p.cause == problem_cause::case_open) {
        fputs("the case has been opened: the chip's case-open bit is set\n", out);
        return;
    }
    const shown_reading &r = p.reading;
    plugin_text(out, r.label);
    fputs(": ", out);
    print_number(out, r.chip_value);
    fprintf(out, " %s", r.unit_text());
    switch (p.cause) {
    case problem_cause::over_max:
        limit_text(out, ", at or over its limit of ", r, limit_name::max);
        break;
    case problem_cause::over_warn:
        limit_text(out, ", at or over its warning limit of ", r, limit_name::warn);
        break;
    case problem_cause::under_min:
        limit_text(out, ", under its minimum of ", r, limit_name::min);
        break;
    case problem_cause::outside_window:
        fputs(", outside its limits ", out);
        print_number(out, r.limit_of(limit_name::min).value);
        limit_text(out, " to ", r, limit_name::max);
        break;
    case problem_cause::alarm:
        fputs(", the chip's alarm for it is set", out);
        break;
    case problem_cause::case_open:
        break;
    }
    fputc('\n', out);
}

// The status line's text: the board, then what is wrong, or that nothing is, or that nothing
// could be judged.
void summary(FILE *out, const board &b, const plugin_verdict &v) {
    plugin_text(out, b.product);
    fputs(": ", out);
    unsigned readings_out = 0;
    bool case_open = false;
    for (const problem &p : v.list()) {
        if (p.cause == problem_cause::case_open)
            case_open = true;
        else
            readings_out++;
    }
    // No semicolon in the text: Nagios turns one into a colon before it records the output.
    if (case_open)
        fputs("the case has been opened, ", out);
    if (v.compared == 0) {
        fputs("no reading could be judged: ", out);
        if (v.judged == 0)
            fputs("-x leaves out every reading", out);
        else
            fprintf(out, "the chip holds no meant limit for any of its %u readings", v.judged);
        return;
    }
    if (readings_out == 0) {
        fprintf(out, "%u readings within the board's limits", v.judged);
        return;
    }
    fprintf(out, "%u of %u readings out of the board's limits (", readings_out, v.judged);
    const char *sep = "";
    for (const problem &p : v.list()) {
        if (p.cause == problem_cause::case_open)
            continue;
        fputs(sep, out);
        plugin_text(out, p.reading.label);
        sep = ", ";
    }
    fputc(')', out);
}

} // namespace

plugin_verdict judge(const board &b, const readings &s, const excluded_labels &excluded) {
    plugin_verdict v;
    problem p{};
    for (const shown_reading &r : shown_readings(b, s)) {
        if (excluded.contains(r.label))
            continue;
        v.judged++;
        if (reading_meant(r) && has_meant_limit(r))
            v.compared++;
        if (judge_reading(r, p))
            add(v, p);
    }
    if (s.limits.intrusion == alarm_bit::set)
        add(v, {plugin_state::critical, problem_cause::case_open, {}});
    // A chip that holds no meant limit for any reading (one at power-on, or not the board's
    // chip at all) gives nothing to judge by, and its status bits and case-open bit are no
    // more to be trusted than its limits: no verdict, whatever they say.
    if (v.compared == 0)
        v.state = plugin_state::unknown;
    return v;
}

plugin_state write_plugin_report(const board &b, const readings &s, const excluded_labels &excluded,
                                 FILE *out) {
    debug_print("write_plugin_report(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    const plugin_verdict v = judge(b, s, excluded);
    fprintf(out, "VANTOREL %s - ", state_name(v.state));
    summary(out, b, v);
    perfdata(out, b, s, excluded);
    fputc('\n', out);
    for (const problem &p : v.list())
        problem_line(out, p);
    debug_print("write_plugin_report() returning %d\n", static_cast<int>(v.state));
    return v.state;
}

void write_plugin_unknown(plugin_messages messages, FILE *out) {
    fprintf(out, "VANTOREL %s - ", state_name(plugin_state::unknown));
    if (messages.empty())
        fputs("the board could not be read\n", out);
    for (std::span<const char> message : messages) {
        for (char c : message)
            fputc(c == '\n' ? ' ' : safe(c), out);
        fputc('\n', out);
    }
}
