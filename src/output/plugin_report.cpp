// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "output/plugin_report.h"
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

// The chips' temperature registers are signed whole degrees and 0x7F (127) is their
// ceiling: a limit of 127 or more is a negative limit read unsigned, an unset register or
// the ceiling itself, and a limit of 0 is a register left at 0 or a negative limit that the
// cell shows as 0. Neither is a limit anyone set for a board in service.
bool meant(const limit<uint64_t> &l) {
    return l.present && l.value > 0 && l.value < 127;
}

// Equal limits (both registers at 0, or both at 0xFF, as at power-on) leave no window that a
// reading could sit inside.
bool window_meant(const voltage_limits &v) {
    return v.min.present && v.max.present && v.max.value > v.min.value;
}

problem found(plugin_state state, problem_cause cause, reading_kind kind,
              const sensor_label *label) {
    return {state, cause, kind, label};
}

// The problem of one temperature, if it has one: at or over a meant limit, or its status bit
// set while its limit is meant or absent (the chip compares against the limit it holds, so
// its bit means nothing when that limit does not).
bool judge_temperature(uint64_t value, const temperature_limits &t, const sensor_label &l,
                       problem &p) {
    if (meant(t.max) && value >= t.max.value)
        p = found(plugin_state::critical, problem_cause::over_max, reading_kind::temperature, &l);
    else if (meant(t.warn) && value >= t.warn.value)
        p = found(plugin_state::warning, problem_cause::over_warn, reading_kind::temperature, &l);
    else if (t.alarm == alarm_bit::set && !(t.max.present && !meant(t.max)))
        p = found(plugin_state::critical, problem_cause::alarm, reading_kind::temperature, &l);
    else
        return false;
    return true;
}

bool judge_fan(uint32_t value, const fan_limits &f, const sensor_label &l, problem &p) {
    if (f.min.present && value < f.min.value)
        p = found(plugin_state::critical, problem_cause::under_min, reading_kind::fan, &l);
    else if (f.alarm == alarm_bit::set)
        p = found(plugin_state::critical, problem_cause::alarm, reading_kind::fan, &l);
    else
        return false;
    return true;
}

bool judge_voltage(double value, const voltage_limits &v, const sensor_label &l, problem &p) {
    const bool any_present = v.min.present || v.max.present;
    if (window_meant(v) && (value < v.min.value || value > v.max.value))
        p = found(plugin_state::critical, problem_cause::outside_window, reading_kind::voltage, &l);
    else if (v.alarm == alarm_bit::set && !(any_present && !window_meant(v)))
        p = found(plugin_state::critical, problem_cause::alarm, reading_kind::voltage, &l);
    else
        return false;
    return true;
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

// A perfdata label: always quoted, a quote inside it written twice.
void perf_label(FILE *out, const char *label) {
    fputc('\'', out);
    for (const char *c = label; *c != '\0'; c++) {
        if (*c == '\'')
            fputc('\'', out);
        fputc(*c, out);
    }
    fputs("'=", out);
}

// The perfdata of every reading judged, each " 'LABEL'=VALUE[;WARN;CRIT]" with the value as
// -J prints it and no unit of measurement, and thresholds from meant limits only:
// temperatures WARN and CRIT as plain numbers (the range 0 to the limit), voltages CRIT as the
// window MIN:MAX, fans CRIT as MIN: (alert below it). printf writes the C locale's numbers:
// the program never sets a locale.
void perfdata(FILE *out, const board &b, const readings &s, const excluded_labels &excluded) {
    // "|" before the first, a blank between two; none at all without readings.
    const char *sep = " | ";
    auto label = [&](const sensor_label &l) {
        fputs(sep, out);
        sep = " ";
        perf_label(out, l.label);
    };
    for (const sensor_label &l : b.temps) {
        if (excluded.contains(l.label))
            continue;
        const temperature_limits &t = s.limits.temps[l.index];
        label(l);
        fprintf(out, "%zu", static_cast<size_t>(s.temps[l.index]));
        if (meant(t.warn) || meant(t.max))
            fputc(';', out);
        if (meant(t.warn))
            fprintf(out, "%zu", static_cast<size_t>(t.warn.value));
        if (meant(t.max))
            fprintf(out, ";%zu", static_cast<size_t>(t.max.value));
    }
    for (const sensor_label &l : b.fans) {
        if (excluded.contains(l.label))
            continue;
        const fan_limits &f = s.limits.fans[l.index];
        label(l);
        fprintf(out, "%u", static_cast<unsigned>(s.fans[l.index]));
        if (f.min.present)
            fprintf(out, ";;%u:", static_cast<unsigned>(f.min.value));
    }
    for (const sensor_label &l : b.voltages) {
        if (excluded.contains(l.label))
            continue;
        const voltage_limits &v = s.limits.voltages[l.index];
        label(l);
        fprintf(out, "%.3f", s.voltages[l.index]);
        if (window_meant(v))
            fprintf(out, ";;%.3f:%.3f", v.min.value, v.max.value);
    }
}

// One line about problem P: the reading, its value and what is wrong with it.
void problem_line(FILE *out, const readings &s, const problem &p) {
    if (p.cause == problem_cause::case_open) {
        fputs("the case has been opened: the chip's case-open bit is set\n", out);
        return;
    }
    const unsigned i = p.label->index;
    fprintf(out, "%s: ", p.label->label);
    switch (p.kind) {
    case reading_kind::temperature:
        fprintf(out, "%zu C", static_cast<size_t>(s.temps[i]));
        break;
    case reading_kind::fan:
        fprintf(out, "%u RPM", static_cast<unsigned>(s.fans[i]));
        break;
    case reading_kind::voltage:
        fprintf(out, "%.3f V", s.voltages[i]);
        break;
    case reading_kind::none:
        break;
    }
    switch (p.cause) {
    case problem_cause::over_max:
        fprintf(out, ", at or over its limit of %zu C\n",
                static_cast<size_t>(s.limits.temps[i].max.value));
        break;
    case problem_cause::over_warn:
        fprintf(out, ", at or over its warning limit of %zu C\n",
                static_cast<size_t>(s.limits.temps[i].warn.value));
        break;
    case problem_cause::under_min:
        fprintf(out, ", under its minimum of %u RPM\n",
                static_cast<unsigned>(s.limits.fans[i].min.value));
        break;
    case problem_cause::outside_window:
        fprintf(out, ", outside its limits %.3f to %.3f V\n", s.limits.voltages[i].min.value,
                s.limits.voltages[i].max.value);
        break;
    case problem_cause::alarm:
        fputs(", the chip's alarm for it is set\n", out);
        break;
    case problem_cause::case_open:
        break;
    }
}

// The status line's text: the board, then what is wrong, or that nothing is.
void summary(FILE *out, const board &b, const plugin_verdict &v) {
    fprintf(out, "%s: ", b.product);
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
    if (readings_out == 0) {
        fprintf(out, "%u readings within the board's limits", v.judged);
        return;
    }
    fprintf(out, "%u of %u readings out of the board's limits (", readings_out, v.judged);
    const char *sep = "";
    for (const problem &p : v.list()) {
        if (p.cause == problem_cause::case_open)
            continue;
        fprintf(out, "%s%s", sep, p.label->label);
        sep = ", ";
    }
    fputc(')', out);
}

} // namespace

plugin_verdict judge(const board &b, const readings &s, const excluded_labels &excluded) {
    plugin_verdict v;
    problem p{};
    for (const sensor_label &l : b.temps) {
        if (excluded.contains(l.label))
            continue;
        v.judged++;
        if (judge_temperature(s.temps[l.index], s.limits.temps[l.index], l, p))
            add(v, p);
    }
    for (const sensor_label &l : b.fans) {
        if (excluded.contains(l.label))
            continue;
        v.judged++;
        if (judge_fan(s.fans[l.index], s.limits.fans[l.index], l, p))
            add(v, p);
    }
    for (const sensor_label &l : b.voltages) {
        if (excluded.contains(l.label))
            continue;
        v.judged++;
        if (judge_voltage(s.voltages[l.index], s.limits.voltages[l.index], l, p))
            add(v, p);
    }
    if (s.limits.intrusion == alarm_bit::set)
        add(v,
            found(plugin_state::critical, problem_cause::case_open, reading_kind::none, nullptr));
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
        problem_line(out, s, p);
    debug_print("write_plugin_report() returning %d\n", static_cast<int>(v.state));
    return v.state;
}

void write_plugin_unknown(const kept_message_list &messages, FILE *out) {
    fprintf(out, "VANTOREL %s - ", state_name(plugin_state::unknown));
    if (messages.empty())
        fputs("the board could not be read\n", out);
    for (std::span<const char> message : messages) {
        for (char c : message)
            fputc(c == '\n' ? ' ' : c, out);
        fputc('\n', out);
    }
}
