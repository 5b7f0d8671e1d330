// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "output/output.h"
#include "trace/trace.h"

#include <err.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sysexits.h>
#include <unistd.h>

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

void up(FILE *out, int value) {
    family(out, "vantorel_up",
           "Whether the last reading of the board succeeded (1) or failed (0).");
    fprintf(out, "vantorel_up %d\n", value);
}

// --- writing a file whole ---

// The temporary file is made in FILE's directory, so that the rename that puts it in FILE's
// place stays inside one file system and is atomic: a reader opens the old file or the new
// one, never a part. Its name starts with a dot and ends in mkstemp's six random letters and
// digits, never in ".prom", the only files node_exporter's textfile collector reads.
constexpr char temp_suffix[] = ".vantorel.XXXXXX";

// Creates the temporary file beside FILE, its name in TEMP, as a stream; nullptr with errno
// set when it cannot be created.
FILE *open_temp(const char *file, char (&temp)[PATH_MAX]) {
    const char *slash = strrchr(file, '/');
    const size_t dir_len = slash == nullptr ? 0 : static_cast<size_t>(slash - file) + 1;
    if (dir_len + sizeof temp_suffix > sizeof temp) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    memcpy(temp, file, dir_len);
    memcpy(temp + dir_len, temp_suffix, sizeof temp_suffix);
    const int fd = mkostemp(temp, O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    FILE *out = fdopen(fd, "w");
    if (out == nullptr) {
        const int saved = errno;
        close(fd);
        unlink(temp);
        errno = saved;
    }
    return out;
}

// Completes the temporary file TEMP written through OUT, which it closes: flushed, mode 0644,
// synced to disk, then renamed over FILE. False with errno set, and TEMP removed, when a
// step fails.
bool commit_temp(FILE *out, const char *temp, const char *file) {
    const int fd = fileno(out);
    bool done = fflush(out) == 0 && !ferror(out) && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
    int saved = errno;
    if (fclose(out) != 0 && done) {
        done = false;
        saved = errno;
    }
    if (done && rename(temp, file) != 0) {
        done = false;
        saved = errno;
    }
    if (!done) {
        unlink(temp);
        errno = saved;
    }
    return done;
}

// Replaces FILE by a file that WRITE(stream) fills. On any failure FILE stays as it was, no
// temporary file is left, and the message names FILE.
template <typename Write> int replace_file(const char *file, Write write) {
    debug_print("replace_file(file = %s)\n", file);
    char temp[PATH_MAX];
    FILE *out = open_temp(file, temp);
    bool done = false;
    if (out != nullptr) {
        debug_print("\ttemporary file %s\n", temp);
        write(out);
        done = commit_temp(out, temp, file);
    }
    if (!done)
        warn("cannot write %s", file);
    const int status = done ? 0 : EX_IOERR;
    debug_print("replace_file() returning %d\n", status);
    return status;
}

void form_of(report_form form, const board &b, const readings &s, const char *chip, FILE *out) {
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
        sensors_output_prom(b, s, chip, out);
        break;
    }
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
void sensors_output_prom(const board &b, const readings &s, const char *chip, FILE *out) {
    debug_print("sensors_output_prom(b = %p, s = %p)\n", static_cast<const void *>(&b),
                static_cast<const void *>(&s));
    family(out, "vantorel_board_info",
           "The board read: its SMBIOS maker and product, and its monitoring chip.");
    fputs("vantorel_board_info{maker=\"", out);
    label_value(out, b.maker);
    fputs("\",product=\"", out);
    label_value(out, b.product);
    fputs("\",chip=\"", out);
    label_value(out, chip);
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

int write_report(const report_target &target, const board &b, const readings &s, const char *chip) {
    if (target.file == nullptr) {
        form_of(target.form, b, s, chip, stdout);
        return stdout_status(0);
    }
    int status =
        replace_file(target.file, [&](FILE *out) { form_of(target.form, b, s, chip, out); });
    // Standard output carries the trace, if any.
    return stdout_status(status);
}

int write_failed_exposition(const char *file) {
    return replace_file(file, [](FILE *out) { sensors_output_prom_failed(out); });
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
