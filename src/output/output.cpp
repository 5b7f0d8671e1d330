// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "output/output.h"
#include "trace/trace.h"

#include <err.h>
#include <stddef.h>
#include <stdio.h>
#include <sysexits.h>

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

} // namespace

void sensors_output(const board &b, const readings &s) {
    debug_print("sensors_output(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    for (const sensor_label &l : b.temps)
        printf("%-20s %8zu C\n", l.label, temp(s, l));
    for (const sensor_label &l : b.fans)
        printf("%-20s %8u RPM\n", l.label, fan(s, l));
    for (const sensor_label &l : b.voltages)
        printf("%-20s %8.3f V\n", l.label, volts(s, l));
    debug_print("sensors_output() returning\n");
}

void sensors_output_delim(const board &b, const readings &s) {
    debug_print("sensors_output_delim(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    for (const sensor_label &l : b.temps)
        printf("%s,%zu,C\n", l.label, temp(s, l));
    for (const sensor_label &l : b.fans)
        printf("%s,%u,RPM\n", l.label, fan(s, l));
    for (const sensor_label &l : b.voltages)
        printf("%s,%.3f,V\n", l.label, volts(s, l));
    debug_print("sensors_output_delim() returning\n");
}

void sensors_output_json(const board &b, const readings &s) {
    debug_print("sensors_output_json(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    fputs("{\n\t\"temps\": {\n", stdout);
    each(b.temps, [&](const sensor_label &l, const char *sep) {
        printf("\t\t\"%s\": \"%zu C\"%s\n", l.label, temp(s, l), sep);
    });
    fputs("\t},\n\t\"fans\": {\n", stdout);
    each(b.fans, [&](const sensor_label &l, const char *sep) {
        printf("\t\t\"%s\": \"%u RPM\"%s\n", l.label, fan(s, l), sep);
    });
    fputs("\t},\n\t\"voltages\": {\n", stdout);
    each(b.voltages, [&](const sensor_label &l, const char *sep) {
        printf("\t\t\"%s\": \"%.3f V\"%s\n", l.label, volts(s, l), sep);
    });
    fputs("\t}\n}\n", stdout);
    debug_print("sensors_output_json() returning\n");
}

int stdout_status(int status) {
    // ferror() catches a write that failed while the buffer was drained earlier; fflush()
    // catches the rest still in the buffer.
    if (fflush(stdout) != 0 || ferror(stdout)) {
        warn("write error on standard output");
        return EX_IOERR;
    }
    return status;
}
