// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "output/report_forms.h"
#include "trace/trace.h"

#include <stddef.h>
#include <stdio.h>

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

// The vantorel_up family: 1 after a reading, 0 when there is none.
void up(FILE *out, int value) {
    family(out, "vantorel_up",
           "Whether the last reading of the board succeeded (1) or failed (0).");
    fprintf(out, "vantorel_up %d\n", value);
}

} // namespace

void sensors_output(const board &b, const readings &s, FILE *out) {
    debug_print("sensors_output(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    for (const sensor_label &l : b.temps)
        fprintf(out, "%-20s %8zu C\n", l.label, temp(s, l));
    for (const sensor_label &l : b.fans)
        fprintf(out, "%-20s %8u RPM\n", l.label, fan(s, l));
    for (const sensor_label &l : b.voltages)
        fprintf(out, "%-20s %8.3f V\n", l.label, volts(s, l));
    debug_print("sensors_output() returning\n");
}

void sensors_output_delim(const board &b, const readings &s, FILE *out) {
    debug_print("sensors_output_delim(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    for (const sensor_label &l : b.temps)
        fprintf(out, "%s,%zu,C\n", l.label, temp(s, l));
    for (const sensor_label &l : b.fans)
        fprintf(out, "%s,%u,RPM\n", l.label, fan(s, l));
    for (const sensor_label &l : b.voltages)
        fprintf(out, "%s,%.3f,V\n", l.label, volts(s, l));
    debug_print("sensors_output_delim() returning\n");
}

void sensors_output_json(const board &b, const readings &s, FILE *out) {
    debug_print("sensors_output_json(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
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
    fputs("\t}\n}\n", out);
    debug_print("sensors_output_json() returning\n");
}

// The program never sets a locale, so printf writes numbers in the C locale's form (a point
// before the decimals, no grouping), which is the one the exposition format reads. Every
// board's label lists name each sensor once per family, so no series repeats.
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
        sensor_sample(out, "vantorel_voltage_volts", l);
        fprintf(out, "%.3f\n", volts(s, l));
    }
    up(out, 1);
    debug_print("sensors_output_prom() returning\n");
}

void sensors_output_prom_failed(FILE *out) {
    debug_print("sensors_output_prom_failed()\n");
    up(out, 0);
    debug_print("sensors_output_prom_failed() returning\n");
}

void write_form(report_form form, const board &b, const readings &s, FILE *out) {
    switch (form) {
    case report_form::plain:
        sensors_output(b, s, out);
        break;
    case report_form::delimited:
        sensors_output_delim(b, s, out);
        break;
    case report_form::json:
        sensors_output_json(b, s, out);
        break;
    case report_form::prometheus:
        sensors_output_prom(b, s, out);
        break;
    }
}
