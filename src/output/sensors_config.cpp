// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "output/sensors_config.h"
#include "boards/readings_walk.h"
#include "trace/trace.h"

#include <array>
#include <math.h>
#include <string.h>

#ifndef VANTOREL_VERSION
#error "the build defines VANTOREL_VERSION"
#endif

namespace {

// The inputs whose limits Debian's default configuration, /etc/sensors3.conf, sets for every
// chip of a driver (set inN_min and inN_max, 10 % either side of the nominal value), which
// `sensors -s` writes to the chip at each boot.
struct distribution_sets {
    const char *driver;
    std::array<unsigned, 3> inputs;
    const char *nominal;
};
constexpr distribution_sets debian_sets[] = {
    {"w83793", {7, 8, 9}, "5 V, 5 V and 3 V"},
    {"w83792d", {6, 7, 8}, "5 V, 5 V and 3 V"},
};

// A libsensors NAME in double quotes, with C's escapes for a quote and a backslash.
void quoted(FILE *out, const char *text) {
    fputc('"', out);
    for (const char *c = text; *c != '\0'; c++) {
        if (*c == '"' || *c == '\\')
            fputc('\\', out);
        fputc(*c, out);
    }
    fputc('"', out);
}

// A NUMBER of libsensors' grammar, which knows neither a sign nor an exponent: the magnitude
// of V in plain decimals, without trailing zeros. Nine decimals hold every step, factor and
// offset of the tables; the scales they make (24, 12, 4) lose only the noise of a quotient.
void number(FILE *out, double v) {
    char text[64];
    snprintf(text, sizeof text, "%.9f", fabs(v));
    char *end = text + strlen(text);
    while (end[-1] == '0')
        *--end = '\0';
    if (end[-1] == '.')
        end[-1] = '\0';
    fputs(text, out);
}

bool zero(double v) {
    return fabs(v) < 1e-12;
}

// "X - OFFSET" as a factor of a product: "@" alone for no offset, else in parentheses.
void shifted(FILE *out, double offset) {
    if (zero(offset)) {
        fputc('@', out);
        return;
    }
    fputs(offset > 0 ? "(@ - " : "(@ + ", out);
    number(out, offset);
    fputc(')', out);
}

// TERM (shifted by FROM) times or over SCALE, then plus TO: "-@*24", "(@ - 0.15)*2 + 0.3".
void expression(FILE *out, double from, char op, double scale, double to) {
    if (scale < 0)
        fputc('-', out);
    shifted(out, from);
    if (fabs(fabs(scale) - 1.0) >= 1e-12) {
        fputc(op, out);
        number(out, scale);
    }
    if (!zero(to)) {
        fputs(to > 0 ? " + " : " - ", out);
        number(out, to);
    }
}

// compute NAME VALUE, INVERSE: the board's value of the driver's, and back, which libsensors
// uses to write a limit.
void compute(FILE *out, const char *name, const feature_compute &c) {
    fprintf(out, "    compute %s ", name);
    expression(out, c.driver_offset, '*', c.scale, c.board_offset);
    fputs(", ", out);
    expression(out, c.board_offset, '/', c.scale, c.driver_offset);
    fputc('\n', out);
}

// The walk over B's readings without values: their kinds, cells and labels.
shown_readings labels_of(const board &b) {
    static const readings none{};
    return shown_readings(b, none);
}

// The feature of CHIP that feeds the reading R, if one does.
const driver_feature *feature_of(const driven_chip_features &chip, const shown_reading &r) {
    for (const driver_feature &f : chip.features.list())
        if (f.feeds && f.kind == r.kind && f.cell == r.cell)
            return &f;
    return nullptr;
}

// Whether one of B's readings takes its value from feature F.
bool shown(const board &b, const driver_feature &f) {
    if (!f.feeds)
        return false;
    for (const shown_reading &r : labels_of(b))
        if (r.kind == f.kind && r.cell == f.cell)
            return true;
    return false;
}

// Each reading of B that a feature of CHIP feeds, as FN(label, feature), in the order of the
// forms.
template <typename Fn> void each_feature(const board &b, const driven_chip_features &chip, Fn fn) {
    for (const shown_reading &r : labels_of(b))
        if (const driver_feature *f = feature_of(chip, r))
            fn(r.label, *f);
}

// A comment naming the features of B's readings from CHIP whose value deviates as WHICH from
// the driver's, then saying WHY; nothing where none does.
bool deviation_note(FILE *out, const board &b, const driven_chip_features &chip,
                    feature_deviation which, const char *why) {
    bool any = false;
    each_feature(b, chip, [&](const char *, const driver_feature &f) {
        if (f.deviation != which)
            return;
        fprintf(out, "%s%s", any ? ", " : "    # ", f.name);
        any = true;
    });
    if (any)
        fprintf(out, ":\n%s", why);
    return any;
}

// Where libsensors' arithmetic (sums, products, quotients, exponentials and logarithms) cannot
// write a cell's conversion, sensors shows what vantorel does not.
void deviation_notes(FILE *out, const board &b, const driven_chip_features &chip) {
    bool any = deviation_note(
        out, b, chip, feature_deviation::clamped_whole_degrees,
        "    # vantorel shows whole degrees, and 0 for anything below 1 degree; libsensors\n"
        "    # can neither cut nor clamp a value, so sensors shows the driver's fraction of\n"
        "    # a degree and temperatures below 0.\n");
    any |= deviation_note(
        out, b, chip, feature_deviation::unsigned_whole_degrees,
        "    # vantorel shows the register's whole degrees, 0 to 255; libsensors can neither\n"
        "    # cut nor wrap a value, so sensors shows the driver's fraction of a degree where\n"
        "    # the chip has one, and a register of 128 or more as a temperature below 0.\n");
    any |= deviation_note(
        out, b, chip, feature_deviation::low_bits_dropped,
        "    # vantorel takes the upper eight bits of the 10-bit input, in steps of four of\n"
        "    # the driver's; libsensors cannot round down, so sensors shows up to three of\n"
        "    # the driver's steps more.\n");
    if (any)
        fputc('\n', out);
}

// Debian's set statements for the driver of CHIP, and which of B's readings they touch.
void distribution_note(FILE *out, const board &b, const driven_chip_features &chip) {
    for (const distribution_sets &d : debian_sets) {
        if (strcmp(d.driver, chip.driver) != 0)
            continue;
        fprintf(out,
                "#\n"
                "# Debian's /etc/sensors3.conf sets the limits of in%u, in%u and in%u of every %s\n"
                "# chip (10 %% either side of %s), and `sensors -s`, which Debian's\n"
                "# lm-sensors.service runs at each boot, writes them over the limits the BIOS\n"
                "# set. libsensors applies the set statements of every chip block that matches,\n"
                "# so no file in /etc/sensors.d/ can cancel them, and vantorel -a, -P and -N\n"
                "# then judge by them. On this board:",
                d.inputs[0], d.inputs[1], d.inputs[2], d.driver, d.nominal);
        for (size_t i = 0; i < d.inputs.size(); i++) {
            const unsigned input = d.inputs[i];
            fprintf(out, "%sin%u ", i == 0 ? " " : ", ", input);
            bool shown = false;
            each_feature(b, chip, [&](const char *label, const driver_feature &f) {
                if (f.kind == reading_kind::voltage && f.number == input && !shown) {
                    quoted(out, label);
                    shown = true;
                }
            });
            if (!shown)
                fputs("(not shown)", out);
        }
        fputc('.', out);
        fputs("\n# To keep the BIOS limits, comment those set lines out, or drop -s from the\n"
              "# service (vantorel(8) shows how).\n",
              out);
    }
}

// The chip statement and the statements for CHIP.
void chip_block(FILE *out, const board &b, const driven_chip_features &chip) {
    fprintf(out, "\n# The chip at 0x%02x, which the kernel's %s driver serves, on any I2C bus.\n",
            chip.address, chip.driver);
    fprintf(out, "chip \"%s-i2c-*-%02x\"\n\n", chip.driver, chip.address);
    deviation_notes(out, b, chip);

    each_feature(b, chip, [&](const char *label, const driver_feature &f) {
        fprintf(out, "    label %s ", f.name);
        quoted(out, label);
        fputc('\n', out);
        if (!is_identity(f.compute))
            compute(out, f.name, f.compute);
    });
    fputs("    label intrusion0 ", out);
    quoted(out, intrusion_label);
    fputs("\n\n", out);

    for (const driver_feature &f : chip.features.list())
        if (!shown(b, f))
            fprintf(out, "    ignore %s\n", f.name);
}

// The comment on a chip that no driver serves, naming B's readings from it.
void driverless_note(FILE *out, const board &b, const driverless_chip_features &chip) {
    fprintf(out,
            "\n# The chip at 0x%02x has no kernel driver: vantorel alone reads it, over the bus.\n"
            "# No libsensors program sees",
            chip.address);
    bool any = false;
    for (const shown_reading &r : labels_of(b)) {
        bool from_it = false;
        for (const reading_cell &c : chip.cells.list())
            from_it |= c.kind == r.kind && c.cell == r.cell;
        if (!from_it)
            continue;
        fputs(any ? ", " : " ", out);
        quoted(out, r.label);
        any = true;
    }
    fputs(".\n", out);
}

} // namespace

bool is_identity(const feature_compute &c) {
    // The scales come out of a quotient of decimal constants: 0.024 / 0.024 may miss 1 by an
    // ulp, which is no scale at all.
    return fabs(c.scale - 1.0) < 1e-12 && fabs(c.driver_offset - c.board_offset) < 1e-12;
}

void write_sensors_config(const board &b, const board_features &f, FILE *out) {
    debug_print("write_sensors_config(b = %p)\n", static_cast<const void *>(&b));
    fprintf(out,
            "# libsensors configuration (sensors.conf(5)) of the %s %s (%s),\n"
            "# written by vantorel %s (vantorel -S).\n"
            "#\n"
            "# Put it in /etc/sensors.d/ (vantorel -S -o /etc/sensors.d/vantorel.conf): every\n"
            "# libsensors program then shows the board's readings of the chip that the kernel's\n"
            "# %s driver serves under the board's own names, with the values and limits that\n"
            "# vantorel shows. It sets nothing on the chip.\n",
            b.maker, b.product, chip_name(b.chip), VANTOREL_VERSION, f.driven.driver);
    distribution_note(out, b, f.driven);
    chip_block(out, b, f.driven);
    if (f.driverless.present)
        driverless_note(out, b, f.driverless);
    debug_print("write_sensors_config() returning true\n");
}
