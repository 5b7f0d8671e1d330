// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "output/report_forms.h"
#include "trace/trace.h"

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <array>

namespace {

// Calls LINE(entry, separator) for each entry of LIST, in list order, with the separator that
// the JSON form puts after an entry: "," while another entry follows, "" after the last.
template <typename Line> void each(label_list list, Line line) {
    for (size_t i = 0; i < list.size(); i++)
        line(list[i], i + 1 < list.size() ? "," : "");
}

// Temperatures go out as %zu, the width the readings record keeps them in.
size_t temp(const readings &s, const sensor_label &l) {
    return static_cast<size_t>(s.temps[l.index]);
}

unsigned fan(const readings &s, const sensor_label &l) {
    return static_cast<unsigned>(s.fans[l.index]);
}

double volts(const readings &s, const sensor_label &l) {
    return s.voltages[l.index];
}

const temperature_limits &temp_limits(const readings &s, const sensor_label &l) {
    return s.limits.temps[l.index];
}

const fan_limits &fan_limits_of(const readings &s, const sensor_label &l) {
    return s.limits.fans[l.index];
}

const voltage_limits &voltage_limits_of(const readings &s, const sensor_label &l) {
    return s.limits.voltages[l.index];
}

// Whether a voltage cell holds a plain register value rather than volts.
bool register_value(const readings &s, const sensor_label &l) {
    return s.voltage_units[l.index] == voltage_unit::register_value;
}

// A limit or reading as its kind prints everywhere: whole degrees, whole RPM, volts with three
// decimals.
void number(FILE *out, uint64_t degrees) {
    fprintf(out, "%zu", static_cast<size_t>(degrees));
}
void number(FILE *out, uint32_t rpm) {
    fprintf(out, "%u", static_cast<unsigned>(rpm));
}
void number(FILE *out, double v) {
    fprintf(out, "%.3f", v);
}

// The text of the limits column of a plain line, built item by item and cut, never overrun,
// at its capacity (which the longest text that limits of the record's types give fits).
class limits_text {
  public:
    __attribute__((format(printf, 2, 3))) void add(const char *fmt, ...) {
        if (len_ + 1 >= buf_.size())
            return;
        va_list ap;
        va_start(ap, fmt);
        const int n = vsnprintf(buf_.data() + len_, buf_.size() - len_, fmt, ap);
        va_end(ap);
        if (n > 0)
            len_ = len_ + static_cast<size_t>(n) < buf_.size() ? len_ + static_cast<size_t>(n)
                                                               : buf_.size() - 1;
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
    std::array<char, 256> buf_{};
    size_t len_ = 0;
};

// The values inside the parentheses have widths of their own, so that a section's columns
// line up: 3 for degrees, 5 for RPM, 7 for volts (the -12 V rails' "-13.200").
void padded(limits_text &text, uint64_t degrees) {
    text.add("%3zu", static_cast<size_t>(degrees));
}
void padded(limits_text &text, uint32_t rpm) {
    text.add("%5u", static_cast<unsigned>(rpm));
}
void padded(limits_text &text, double v) {
    text.add("%7.3f", v);
}

// Adds "NAME = VALUE UNIT" where L is present: after "(" as the first item, else after SEP.
template <typename T>
void item(limits_text &text, const char *sep, const char *name, const limit<T> &l,
          const char *unit) {
    if (!l.present)
        return;
    text.add("%s%s = ", text.empty() ? "(" : sep, name);
    padded(text, l.value);
    text.add(" %s", unit);
}

void close_text(limits_text &text) {
    if (!text.empty())
        text.add(")");
}

// "(max = 75 C, hyst = 70 C; warn = 65 C, hyst = 60 C)": each hysteresis belongs to the
// level before it.
limits_text text_of(const temperature_limits &t) {
    limits_text text;
    item(text, ", ", "max", t.max, "C");
    item(text, ", ", "hyst", t.max_hyst, "C");
    item(text, "; ", "warn", t.warn, "C");
    item(text, ", ", "hyst", t.warn_hyst, "C");
    close_text(text);
    return text;
}

limits_text text_of(const fan_limits &f) {
    limits_text text;
    item(text, ", ", "min", f.min, "RPM");
    close_text(text);
    return text;
}

limits_text text_of(const voltage_limits &v) {
    limits_text text;
    item(text, ", ", "min", v.min, "V");
    item(text, ", ", "max", v.max, "V");
    close_text(text);
    return text;
}

// The label of the case-open bit's line in the plain and CSV forms.
constexpr const char *intrusion_label = "Chassis intrusion";

// The width of the plain form's limits column: that of the longest text in it.
int limits_width(const board &b, const readings &s) {
    int width = 0;
    auto widen = [&](const limits_text &text) {
        width = text.width() > width ? text.width() : width;
    };
    for (const sensor_label &l : b.temps)
        widen(text_of(temp_limits(s, l)));
    for (const sensor_label &l : b.fans)
        widen(text_of(fan_limits_of(s, l)));
    for (const sensor_label &l : b.voltages)
        widen(text_of(voltage_limits_of(s, l)));
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
template <typename T> void csv_field(FILE *out, const limit<T> &l) {
    fputc(',', out);
    if (l.present)
        number(out, l.value);
}

// The alarm field: 1 set, 0 clear, empty where the chip has no status bit for the reading.
void csv_alarm(FILE *out, alarm_bit alarm) {
    fputs(alarm == alarm_bit::set ? ",1" : alarm == alarm_bit::clear ? ",0" : ",", out);
}

// The six fields that -a appends: min, max, alarm, max_hyst, warn, warn_hyst.
void csv_limits(FILE *out, const temperature_limits &t) {
    csv_field(out, limit<uint64_t>{});
    csv_field(out, t.max);
    csv_alarm(out, t.alarm);
    csv_field(out, t.max_hyst);
    csv_field(out, t.warn);
    csv_field(out, t.warn_hyst);
}

void csv_limits(FILE *out, const fan_limits &f) {
    csv_field(out, f.min);
    csv_field(out, limit<uint32_t>{});
    csv_alarm(out, f.alarm);
    fputs(",,,", out);
}

void csv_limits(FILE *out, const voltage_limits &v) {
    csv_field(out, v.min);
    csv_field(out, v.max);
    csv_alarm(out, v.alarm);
    fputs(",,,", out);
}

// One member of a JSON limits object, "NAME": "VALUE UNIT", where L is present; FIRST says
// whether a member came before it.
template <typename T>
void json_limit(FILE *out, bool &first, const char *name, const limit<T> &l, const char *unit) {
    if (!l.present)
        return;
    fprintf(out, "%s\"%s\": \"", first ? "" : ", ", name);
    number(out, l.value);
    fprintf(out, " %s\"", unit);
    first = false;
}

void json_limits(FILE *out, const temperature_limits &t) {
    bool first = true;
    json_limit(out, first, "max", t.max, "C");
    json_limit(out, first, "max_hyst", t.max_hyst, "C");
    json_limit(out, first, "warn", t.warn, "C");
    json_limit(out, first, "warn_hyst", t.warn_hyst, "C");
}

void json_limits(FILE *out, const fan_limits &f) {
    bool first = true;
    json_limit(out, first, "min", f.min, "RPM");
}

void json_limits(FILE *out, const voltage_limits &v) {
    bool first = true;
    json_limit(out, first, "min", v.min, "V");
    json_limit(out, first, "max", v.max, "V");
}

const char *json_alarm(alarm_bit alarm) {
    return alarm == alarm_bit::set ? "true" : alarm == alarm_bit::clear ? "false" : "null";
}

// The member NAME, an object that maps each label of LIST to its limits as an object of
// strings ({} where it has none), followed by ",".
template <typename Limits>
void json_limits_member(FILE *out, const char *name, label_list list, Limits limits_of) {
    fprintf(out, "\t\"%s\": {\n", name);
    each(list, [&](const sensor_label &l, const char *sep) {
        fprintf(out, "\t\t\"%s\": {", l.label);
        json_limits(out, limits_of(l));
        fprintf(out, "}%s\n", sep);
    });
    fputs("\t},\n", out);
}

// The member NAME, an object that maps each label of LIST to its status bit, closed by
// CLOSING.
template <typename Alarm>
void json_alarms_member(FILE *out, const char *name, label_list list, Alarm alarm_of,
                        const char *closing) {
    fprintf(out, "\t\"%s\": {\n", name);
    each(list, [&](const sensor_label &l, const char *sep) {
        fprintf(out, "\t\t\"%s\": %s%s\n", l.label, json_alarm(alarm_of(l)), sep);
    });
    fputs(closing, out);
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

// NAME{sensor="LABEL"} and the blank before the value.
void sensor_sample(FILE *out, const char *name, const sensor_label &l) {
    fprintf(out, "%s{sensor=\"", name);
    label_value(out, l.label);
    fputs("\"} ", out);
}

// A status bit as a sample's value: present unless absent, 1 when set.
limit<uint32_t> alarm_value(alarm_bit alarm) {
    return {alarm != alarm_bit::absent, alarm == alarm_bit::set ? 1u : 0u};
}

// A family whose samples only some labels have: one sample for each entry of LIST for which
// SAMPLE_OF gives a present value, and nothing at all, not even the HELP and TYPE lines, when
// none of them has one.
template <typename Sample>
void sparse_family(FILE *out, const char *name, const char *help, label_list list,
                   Sample sample_of) {
    bool any = false;
    for (const sensor_label &l : list) {
        const auto sample = sample_of(l);
        if (!sample.present)
            continue;
        if (!any)
            family(out, name, help);
        any = true;
        sensor_sample(out, name, l);
        number(out, sample.value);
        fputc('\n', out);
    }
}

// The vantorel_up family: 1 after a reading, 0 when there is none.
void up(FILE *out, int value) {
    family(out, "vantorel_up",
           "Whether the last reading of the board succeeded (1) or failed (0).");
    fprintf(out, "vantorel_up %d\n", value);
}

} // namespace

void sensors_output(const board &b, const readings &s, FILE *out, with_limits limits) {
    debug_print("sensors_output(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    const bool shown = limits == with_limits::yes;
    const int width = shown ? limits_width(b, s) : 0;
    for (const sensor_label &l : b.temps) {
        fprintf(out, "%-20s %8zu C", l.label, temp(s, l));
        if (shown)
            plain_limits(out, "C", text_of(temp_limits(s, l)), width, temp_limits(s, l).alarm);
        fputc('\n', out);
    }
    for (const sensor_label &l : b.fans) {
        fprintf(out, "%-20s %8u RPM", l.label, fan(s, l));
        if (shown)
            plain_limits(out, "RPM", text_of(fan_limits_of(s, l)), width,
                         fan_limits_of(s, l).alarm);
        fputc('\n', out);
    }
    for (const sensor_label &l : b.voltages) {
        fprintf(out, "%-20s %8.3f V", l.label, volts(s, l));
        if (shown)
            plain_limits(out, "V", text_of(voltage_limits_of(s, l)), width,
                         voltage_limits_of(s, l).alarm);
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

void sensors_output_delim(const board &b, const readings &s, FILE *out, with_limits limits) {
    debug_print("sensors_output_delim(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    const bool shown = limits == with_limits::yes;
    for (const sensor_label &l : b.temps) {
        fprintf(out, "%s,%zu,C", l.label, temp(s, l));
        if (shown)
            csv_limits(out, temp_limits(s, l));
        fputc('\n', out);
    }
    for (const sensor_label &l : b.fans) {
        fprintf(out, "%s,%u,RPM", l.label, fan(s, l));
        if (shown)
            csv_limits(out, fan_limits_of(s, l));
        fputc('\n', out);
    }
    for (const sensor_label &l : b.voltages) {
        fprintf(out, "%s,%.3f,V", l.label, volts(s, l));
        if (shown)
            csv_limits(out, voltage_limits_of(s, l));
        fputc('\n', out);
    }
    // The case-open bit is its own value and its own alarm, without unit or limits.
    if (shown && s.limits.intrusion != alarm_bit::absent) {
        const int opened = s.limits.intrusion == alarm_bit::set;
        fprintf(out, "%s,%d,,,,%d,,,\n", intrusion_label, opened, opened);
    }
    debug_print("sensors_output_delim() returning\n");
}

void sensors_output_json(const board &b, const readings &s, FILE *out, with_limits limits) {
    debug_print("sensors_output_json(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    const bool shown = limits == with_limits::yes;
    fputs("{\n\t\"temps\": {\n", out);
    each(b.temps, [&](const sensor_label &l, const char *sep) {
        fprintf(out, "\t\t\"%s\": \"%zu C\"%s\n", l.label, temp(s, l), sep);
    });
    fputs("\t},\n\t\"fans\": {\n", out);
    each(b.fans, [&](const sensor_label &l, const char *sep) {
        fprintf(out, "\t\t\"%s\": \"%u RPM\"%s\n", l.label, fan(s, l), sep);
    });
    fputs("\t},\n\t\"voltages\": {\n", out);
    each(b.voltages, [&](const sensor_label &l, const char *sep) {
        fprintf(out, "\t\t\"%s\": \"%.3f V\"%s\n", l.label, volts(s, l), sep);
    });
    if (shown) {
        fputs("\t},\n", out);
        json_limits_member(out, "temp_limits", b.temps,
                           [&](const sensor_label &l) { return temp_limits(s, l); });
        json_limits_member(out, "fan_limits", b.fans,
                           [&](const sensor_label &l) { return fan_limits_of(s, l); });
        json_limits_member(out, "voltage_limits", b.voltages,
                           [&](const sensor_label &l) { return voltage_limits_of(s, l); });
        json_alarms_member(
            out, "temp_alarms", b.temps,
            [&](const sensor_label &l) { return temp_limits(s, l).alarm; }, "\t},\n");
        json_alarms_member(
            out, "fan_alarms", b.fans,
            [&](const sensor_label &l) { return fan_limits_of(s, l).alarm; }, "\t},\n");
        const bool intrusion = s.limits.intrusion != alarm_bit::absent;
        json_alarms_member(
            out, "voltage_alarms", b.voltages,
            [&](const sensor_label &l) { return voltage_limits_of(s, l).alarm; },
            intrusion ? "\t},\n" : "\t}\n");
        if (intrusion)
            fprintf(out, "\t\"intrusion\": %s\n", json_alarm(s.limits.intrusion));
    } else {
        fputs("\t}\n", out);
    }
    fputs("}\n", out);
    debug_print("sensors_output_json() returning\n");
}

// The program never sets a locale, so printf writes numbers in the C locale's form (a point
// before the decimals, no grouping), which is the one the exposition format reads. Every
// board's label lists name each sensor once per family, so no series repeats; a voltage
// cell's reading goes to exactly one of the two families that take voltage cells.
void sensors_output_prom(const board &b, const readings &s, FILE *out) {
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

    family(out, "vantorel_temperature_celsius", "Temperature read by vantorel.");
    for (const sensor_label &l : b.temps) {
        sensor_sample(out, "vantorel_temperature_celsius", l);
        fprintf(out, "%zu\n", temp(s, l));
    }
    family(out, "vantorel_fan_rpm", "Fan speed read by vantorel (0: no reading).");
    for (const sensor_label &l : b.fans) {
        sensor_sample(out, "vantorel_fan_rpm", l);
        fprintf(out, "%u\n", fan(s, l));
    }
    family(out, "vantorel_voltage_volts", "Voltage read by vantorel.");
    for (const sensor_label &l : b.voltages) {
        if (register_value(s, l))
            continue;
        sensor_sample(out, "vantorel_voltage_volts", l);
        fprintf(out, "%.3f\n", volts(s, l));
    }
    // A register value is a number without a unit: under vantorel_voltage_volts, dashboards
    // and rules would take it for volts.
    sparse_family(out, "vantorel_register_value",
                  "Plain register value of a voltage input that the board's chip stores "
                  "without a scale (the X6DVA's chip at 0x2c): not volts.",
                  b.voltages, [&](const sensor_label &l) {
                      return limit<double>{register_value(s, l), volts(s, l)};
                  });

    // The limits, converted as their readings are. A voltage limit of a register-value cell
    // would be no more volts than its reading, so it has no sample.
    sparse_family(out, "vantorel_temperature_max_celsius",
                  "The chip's temperature limit (on the W83793G its critical level).", b.temps,
                  [&](const sensor_label &l) { return temp_limits(s, l).max; });
    sparse_family(out, "vantorel_temperature_max_hyst_celsius",
                  "Hysteresis of the temperature limit: where the chip clears its alarm.", b.temps,
                  [&](const sensor_label &l) { return temp_limits(s, l).max_hyst; });
    sparse_family(out, "vantorel_temperature_warn_celsius",
                  "The chip's warning level for the temperature (W83793G).", b.temps,
                  [&](const sensor_label &l) { return temp_limits(s, l).warn; });
    sparse_family(out, "vantorel_temperature_warn_hyst_celsius",
                  "Hysteresis of the temperature warning level (W83793G).", b.temps,
                  [&](const sensor_label &l) { return temp_limits(s, l).warn_hyst; });
    sparse_family(out, "vantorel_fan_min_rpm", "The chip's minimum fan speed.", b.fans,
                  [&](const sensor_label &l) { return fan_limits_of(s, l).min; });
    sparse_family(out, "vantorel_voltage_min_volts", "The chip's lower voltage limit.", b.voltages,
                  [&](const sensor_label &l) {
                      return register_value(s, l) ? limit<double>{} : voltage_limits_of(s, l).min;
                  });
    sparse_family(out, "vantorel_voltage_max_volts", "The chip's upper voltage limit.", b.voltages,
                  [&](const sensor_label &l) {
                      return register_value(s, l) ? limit<double>{} : voltage_limits_of(s, l).max;
                  });

    // The chip's status bits, each the chip's own comparison of the reading with its limits.
    sparse_family(out, "vantorel_temperature_alarm",
                  "The chip's status bit for the temperature (1: alarm).", b.temps,
                  [&](const sensor_label &l) { return alarm_value(temp_limits(s, l).alarm); });
    sparse_family(out, "vantorel_fan_alarm", "The chip's status bit for the fan (1: alarm).",
                  b.fans,
                  [&](const sensor_label &l) { return alarm_value(fan_limits_of(s, l).alarm); });
    sparse_family(
        out, "vantorel_voltage_alarm", "The chip's status bit for the voltage (1: alarm).",
        b.voltages,
        [&](const sensor_label &l) { return alarm_value(voltage_limits_of(s, l).alarm); });
    if (s.limits.intrusion != alarm_bit::absent) {
        family(out, "vantorel_intrusion_alarm",
               "The chip's latched case-open bit (1: the chassis has been opened).");
        fprintf(out, "vantorel_intrusion_alarm %d\n", s.limits.intrusion == alarm_bit::set);
    }
    up(out, 1);
    debug_print("sensors_output_prom() returning\n");
}

void sensors_output_prom_failed(FILE *out) {
    debug_print("sensors_output_prom_failed()\n");
    up(out, 0);
    debug_print("sensors_output_prom_failed() returning\n");
}

void write_form(report_form form, const board &b, const readings &s, FILE *out,
                with_limits limits) {
    switch (form) {
    case report_form::plain:
        sensors_output(b, s, out, limits);
        break;
    case report_form::delimited:
        sensors_output_delim(b, s, out, limits);
        break;
    case report_form::json:
        sensors_output_json(b, s, out, limits);
        break;
    case report_form::prometheus:
        sensors_output_prom(b, s, out);
        break;
    }
}
