// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "output/report_forms.h"
#include "boards/readings_walk.h"
#include "output/numbers.h"
#include "trace/trace.h"

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <array>

namespace {

// The text of the limits column of a plain line, built item by item. It is cut, never
// overrun, at its capacity, which no chip's limits come near: four temperatures of at most
// 20 digits, or two voltages that are register values times a factor and a gain, a few
// digits each.
class limits_text {
  public:
    __attribute__((format(printf, 2, 3))) void add(const char *fmt, ...) {
        if (full())
            return;
        va_list ap;
        va_start(ap, fmt);
        const int n = vsnprintf(buf_.data() + len_, buf_.size() - len_, fmt, ap);
        va_end(ap);
        advance(n);
    }
    void add(const quantity &q, int width) {
        if (!full())
            advance(format_number(buf_.data() + len_, buf_.size() - len_, q, width));
    }
    bool empty() const {
        return len_ == 0;
    }
    int width() const {
        return static_cast<int>(len_);
    }
    const char *c_str() const {
        return buf_.data();
    }

  private:
    bool full() const {
        return len_ + 1 >= buf_.size();
    }
    // Counts the N characters just written, as many as fitted.
    void advance(int n) {
        if (n > 0)
            len_ = len_ + static_cast<size_t>(n) < buf_.size() ? len_ + static_cast<size_t>(n)
                                                               : buf_.size() - 1;
    }
    std::array<char, 256> buf_{};
    size_t len_ = 0;
};

// The values inside the parentheses have widths of their own, so that a section's columns
// line up: 3 for degrees, 5 for RPM, 7 for volts (the -12 V rails' "-13.200").
int limit_width(reading_kind kind) {
    switch (kind) {
    case reading_kind::temperature:
        return 3;
    case reading_kind::fan:
        return 5;
    case reading_kind::voltage:
        break;
    }
    return 7;
}

// A limit's name in the plain form: each hysteresis is "hyst", and belongs to the level
// before it.
const char *plain_name(limit_name name) {
    switch (name) {
    case limit_name::min:
        return "min";
    case limit_name::max:
        return "max";
    case limit_name::warn:
        return "warn";
    case limit_name::max_hyst:
    case limit_name::warn_hyst:
        break;
    }
    return "hyst";
}

// "(max = 75 C, hyst = 70 C; warn = 65 C, hyst = 60 C)", "(min =  1500 RPM)",
// "(min =   1.100 V, max =   1.300 V)": the limits the chip holds for R, in the order of its
// kind's, a semicolon before the warning level; empty without any.
limits_text text_of(const shown_reading &r) {
    limits_text text;
    for (limit_name name : info_of(r.kind).limits) {
        const limit<quantity> &l = r.limit_of(name);
        if (!l.present)
            continue;
        text.add("%s%s = ",
                 text.empty()               ? "("
                 : name == limit_name::warn ? "; "
                                            : ", ",
                 plain_name(name));
        text.add(l.value, limit_width(r.kind));
        text.add(" %s", r.unit_text());
    }
    if (!text.empty())
        text.add(")");
    return text;
}

// The width of the plain form's limits column: that of the longest text in it.
int limits_width(const board &b, const readings &s) {
    int width = 0;
    for (const shown_reading &r : shown_readings(b, s)) {
        const int w = text_of(r).width();
        width = w > width ? w : width;
    }
    return width;
}

// The rest of a plain line after its unit: the unit's column filled to the width of "RPM",
// two blanks and the limits, filled to WIDTH where an ALARM mark follows, then two blanks and
// the mark. A line ends with its last text, never with blanks.
void plain_limits(FILE *out, const char *unit, const limits_text &text, int width,
                  alarm_bit alarm) {
    const bool alarmed = alarm == alarm_bit::set;
    if (text.empty() && !alarmed)
        return;
    fprintf(out, "%*s", 3 - static_cast<int>(strlen(unit)), "");
    if (width > 0)
        fprintf(out, "  %-*s", alarmed ? width : 0, text.c_str());
    if (alarmed)
        fputs("  ALARM", out);
}

// A CSV field: a comma, then the limit where it is present.
void csv_field(FILE *out, const limit<quantity> &l) {
    fputc(',', out);
    if (l.present)
        print_number(out, l.value);
}

// The alarm field: 1 set, 0 clear, empty where the chip has no status bit for the reading.
void csv_alarm(FILE *out, alarm_bit alarm) {
    fputs(alarm == alarm_bit::set ? ",1" : alarm == alarm_bit::clear ? ",0" : ",", out);
}

const char *json_alarm(alarm_bit alarm) {
    return alarm == alarm_bit::set ? "true" : alarm == alarm_bit::clear ? "false" : "null";
}

// A limit's member name in the JSON form.
const char *json_name(limit_name name) {
    switch (name) {
    case limit_name::min:
        return "min";
    case limit_name::max:
        return "max";
    case limit_name::max_hyst:
        return "max_hyst";
    case limit_name::warn:
        return "warn";
    case limit_name::warn_hyst:
        break;
    }
    return "warn_hyst";
}

// What a member of the JSON object maps each label of its kind to.
enum class json_content { reading, limits, alarm };

struct json_member {
    const char *name;
    reading_kind kind;
    json_content content;
};

// The members in their order: the readings, then, with the limits shown, the limits and the
// status bits.
constexpr std::array<json_member, 9> json_members = {{
    {"temps", reading_kind::temperature, json_content::reading},
    {"fans", reading_kind::fan, json_content::reading},
    {"voltages", reading_kind::voltage, json_content::reading},
    {"temp_limits", reading_kind::temperature, json_content::limits},
    {"fan_limits", reading_kind::fan, json_content::limits},
    {"voltage_limits", reading_kind::voltage, json_content::limits},
    {"temp_alarms", reading_kind::temperature, json_content::alarm},
    {"fan_alarms", reading_kind::fan, json_content::alarm},
    {"voltage_alarms", reading_kind::voltage, json_content::alarm},
}};
constexpr size_t json_reading_members = 3;

// The value of R's entry in a member of CONTENT: a string of the value and its unit; an
// object of strings, one per limit the chip holds ({} without any); true, false, or null
// where the chip has no status bit for it.
void json_value(FILE *out, json_content content, const shown_reading &r) {
    switch (content) {
    case json_content::reading:
        fputc('"', out);
        print_number(out, r.value);
        fprintf(out, " %s\"", r.unit_text());
        return;
    case json_content::limits: {
        const char *sep = "";
        fputc('{', out);
        for (limit_name name : info_of(r.kind).limits) {
            const limit<quantity> &l = r.limit_of(name);
            if (!l.present)
                continue;
            fprintf(out, "%s\"%s\": \"", sep, json_name(name));
            print_number(out, l.value);
            fprintf(out, " %s\"", r.unit_text());
            sep = ", ";
        }
        fputc('}', out);
        return;
    }
    case json_content::alarm:
        fputs(json_alarm(r.alarm), out);
        return;
    }
}

// --- the Prometheus text exposition ---

// The one HELP and one TYPE line of a gauge family, ahead of its samples.
void family(FILE *out, const char *name, const char *help) {
    fprintf(out, "# HELP %s %s\n# TYPE %s gauge\n", name, help, name);
}

// A label value as the format quotes it: backslash, double quote and line feed escaped.
void label_value(FILE *out, const char *value) {
    for (const char *c = value; *c != '\0'; c++) {
        switch (*c) {
        case '\\':
            fputs("\\\\", out);
            break;
        case '"':
            fputs("\\\"", out);
            break;
        case '\n':
            fputs("\\n", out);
            break;
        default:
            fputc(*c, out);
        }
    }
}

// What a family's samples are of each reading of its kind.
enum class sample_kind { reading, limit, alarm };

// Which voltage cells a family takes: a register value is a number without a unit, and under
// a family of volts dashboards and rules would take it for volts, so it has a family of its
// own and its limits (no more volts than it is) have none.
enum class taken_cells { all, volts, register_values };

struct family_row {
    const char *name;
    const char *help;
    reading_kind kind;
    sample_kind sample;
    limit_name limit; // of sample_kind::limit
    taken_cells taken;
    bool always; // its HELP and TYPE lines even without a sample
};

// clang-format off
constexpr family_row families[] = {
    {"vantorel_temperature_celsius", "Temperature read by vantorel.",
     reading_kind::temperature, sample_kind::reading, limit_name::min, taken_cells::all, true},
    {"vantorel_fan_rpm", "Fan speed read by vantorel (0: no reading).",
     reading_kind::fan, sample_kind::reading, limit_name::min, taken_cells::all, true},
    {"vantorel_voltage_volts", "Voltage read by vantorel.",
     reading_kind::voltage, sample_kind::reading, limit_name::min, taken_cells::volts, true},
    {"vantorel_register_value",
     "Plain register value of a voltage input that the board's chip stores without a scale "
     "(the X6DVA's chip at 0x2c): not volts.",
     reading_kind::voltage, sample_kind::reading, limit_name::min, taken_cells::register_values, false},
    // The limits, converted as their readings are.
    {"vantorel_temperature_max_celsius",
     "The chip's temperature limit (on the W83793G its critical level).",
     reading_kind::temperature, sample_kind::limit, limit_name::max, taken_cells::all, false},
    {"vantorel_temperature_max_hyst_celsius",
     "Hysteresis of the temperature limit: where the chip clears its alarm.",
     reading_kind::temperature, sample_kind::limit, limit_name::max_hyst, taken_cells::all, false},
    {"vantorel_temperature_warn_celsius", "The chip's warning level for the temperature (W83793G).",
     reading_kind::temperature, sample_kind::limit, limit_name::warn, taken_cells::all, false},
    {"vantorel_temperature_warn_hyst_celsius",
     "Hysteresis of the temperature warning level (W83793G).",
     reading_kind::temperature, sample_kind::limit, limit_name::warn_hyst, taken_cells::all, false},
    {"vantorel_fan_min_rpm", "The chip's minimum fan speed.",
     reading_kind::fan, sample_kind::limit, limit_name::min, taken_cells::all, false},
    {"vantorel_voltage_min_volts", "The chip's lower voltage limit.",
     reading_kind::voltage, sample_kind::limit, limit_name::min, taken_cells::volts, false},
    {"vantorel_voltage_max_volts", "The chip's upper voltage limit.",
     reading_kind::voltage, sample_kind::limit, limit_name::max, taken_cells::volts, false},
    // The chip's status bits, each the chip's own comparison of the reading with its limits.
    {"vantorel_temperature_alarm", "The chip's status bit for the temperature (1: alarm).",
     reading_kind::temperature, sample_kind::alarm, limit_name::min, taken_cells::all, false},
    {"vantorel_fan_alarm", "The chip's status bit for the fan (1: alarm).",
     reading_kind::fan, sample_kind::alarm, limit_name::min, taken_cells::all, false},
    {"vantorel_voltage_alarm", "The chip's status bit for the voltage (1: alarm).",
     reading_kind::voltage, sample_kind::alarm, limit_name::min, taken_cells::all, false},
};
// clang-format on

// The sample of family F for R: absent where R has none (a limit the chip does not hold, a
// status bit it has not, a cell the family does not take).
limit<quantity> sample_of(const family_row &f, const shown_reading &r) {
    const bool register_value = r.unit == voltage_unit::register_value;
    if ((f.taken == taken_cells::volts && register_value) ||
        (f.taken == taken_cells::register_values && !register_value))
        return {};
    switch (f.sample) {
    case sample_kind::reading:
        return {true, r.chip_value};
    case sample_kind::limit:
        return r.limit_of(f.limit);
    case sample_kind::alarm:
        break;
    }
    return {r.alarm != alarm_bit::absent, whole_quantity(r.alarm == alarm_bit::set)};
}

// The vantorel_up family: 1 after a reading, 0 when there is none.
void up(FILE *out, int value) {
    family(out, "vantorel_up",
           "Whether the last reading of the board succeeded (1) or failed (0).");
    fprintf(out, "vantorel_up %d\n", value);
}

} // namespace

void write_plain_report(const board &b, const readings &s, FILE *out, with_limits limits) {
    debug_print("sensors_output(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    const bool shown = limits == with_limits::yes;
    const int width = shown ? limits_width(b, s) : 0;
    for (const shown_reading &r : shown_readings(b, s)) {
        fprintf(out, "%-20s ", r.label);
        print_number(out, r.value, 8);
        fprintf(out, " %s", r.unit_text());
        if (shown)
            plain_limits(out, r.unit_text(), text_of(r), width, r.alarm);
        fputc('\n', out);
    }
    if (shown && s.limits.intrusion != alarm_bit::absent) {
        fprintf(out, "%-20s %8s", intrusion_label,
                s.limits.intrusion == alarm_bit::set ? "yes" : "no");
        plain_limits(out, "", limits_text{}, width, s.limits.intrusion);
        fputc('\n', out);
    }
    debug_print("sensors_output() returning\n");
}

void write_csv_report(const board &b, const readings &s, FILE *out, with_limits limits) {
    debug_print("sensors_output_delim(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    const bool shown = limits == with_limits::yes;
    for (const shown_reading &r : shown_readings(b, s)) {
        fprintf(out, "%s,", r.label);
        print_number(out, r.value);
        fprintf(out, ",%s", r.unit_text());
        if (shown) {
            csv_field(out, r.limit_of(limit_name::min));
            csv_field(out, r.limit_of(limit_name::max));
            csv_alarm(out, r.alarm);
            csv_field(out, r.limit_of(limit_name::max_hyst));
            csv_field(out, r.limit_of(limit_name::warn));
            csv_field(out, r.limit_of(limit_name::warn_hyst));
        }
        fputc('\n', out);
    }
    // The case-open bit is its own value and its own alarm, without unit or limits.
    if (shown && s.limits.intrusion != alarm_bit::absent) {
        const int opened = s.limits.intrusion == alarm_bit::set;
        fprintf(out, "%s,%d,,,,%d,,,\n", intrusion_label, opened, opened);
    }
    debug_print("sensors_output_delim() returning\n");
}

void write_json_report(const board &b, const readings &s, FILE *out, with_limits limits) {
    debug_print("sensors_output_json(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    const bool shown = limits == with_limits::yes;
    const bool intrusion = shown && s.limits.intrusion != alarm_bit::absent;
    const size_t members = shown ? json_members.size() : json_reading_members;
    fputs("{\n", out);
    for (size_t i = 0; i < members; i++) {
        const json_member &m = json_members[i];
        fprintf(out, "\t\"%s\": {\n", m.name);
        for (const shown_reading &r : shown_readings(b, s, m.kind)) {
            fprintf(out, "\t\t\"%s\": ", r.label);
            json_value(out, m.content, r);
            fputs(r.last ? "\n" : ",\n", out);
        }
        fputs(i + 1 < members || intrusion ? "\t},\n" : "\t}\n", out);
    }
    if (intrusion)
        fprintf(out, "\t\"intrusion\": %s\n", json_alarm(s.limits.intrusion));
    fputs("}\n", out);
    debug_print("sensors_output_json() returning\n");
}

// The program never sets a locale, so printf writes numbers in the C locale's form (a point
// before the decimals, no grouping), which is the one the exposition format reads. Every
// board's label lists name each sensor once per family, so no series repeats; a voltage
// cell's reading goes to exactly one of the two families that take voltage cells.
void write_prometheus_exposition(const board &b, const readings &s, FILE *out) {
    debug_print("sensors_output_prom(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    family(out, "vantorel_board_info",
           "The board read: its SMBIOS maker and product, and its monitoring chip.");
    fputs("vantorel_board_info{maker=\"", out);
    label_value(out, b.maker);
    fputs("\",product=\"", out);
    label_value(out, b.product);
    fputs("\",chip=\"", out);
    label_value(out, chip_name(b.chip));
    fputs("\"} 1\n", out);

    for (const family_row &f : families) {
        bool headed = false;
        if (f.always) {
            family(out, f.name, f.help);
            headed = true;
        }
        for (const shown_reading &r : shown_readings(b, s, f.kind)) {
            const limit<quantity> sample = sample_of(f, r);
            if (!sample.present)
                continue;
            if (!headed)
                family(out, f.name, f.help);
            headed = true;
            fprintf(out, "%s{sensor=\"", f.name);
            label_value(out, r.label);
            fputs("\"} ", out);
            print_number(out, sample.value);
            fputc('\n', out);
        }
    }
    if (s.limits.intrusion != alarm_bit::absent) {
        family(out, "vantorel_intrusion_alarm",
               "The chip's latched case-open bit (1: the chassis has been opened).");
        fprintf(out, "vantorel_intrusion_alarm %d\n", s.limits.intrusion == alarm_bit::set);
    }
    up(out, 1);
    debug_print("sensors_output_prom() returning\n");
}

void write_prometheus_failure(FILE *out) {
    debug_print("sensors_output_prom_failed()\n");
    up(out, 0);
    debug_print("sensors_output_prom_failed() returning\n");
}

void write_form(report_form form, const board &b, const readings &s, FILE *out,
                with_limits limits) {
    switch (form) {
    case report_form::plain:
        write_plain_report(b, s, out, limits);
        break;
    case report_form::delimited:
        write_csv_report(b, s, out, limits);
        break;
    case report_form::json:
        write_json_report(b, s, out, limits);
        break;
    case report_form::prometheus:
        write_prometheus_exposition(b, s, out);
        break;
    }
}
