// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Fuzz target: the chip readers and the report forms, in-process over the simulated bus.
//
// Input: byte 0 picks the board row, byte 1 the failure point (the transaction, counted from
// 1, that fails; 0 for none), byte 2 bit 0 turns the trace on; then the register image of
// the chip at 0x2c (256 bytes) and of the chip at 0x2f (256 bytes), zero where the input
// ends early.
//
// A run with no failure point inside the snapshot must issue exactly the board's snapshot of
// reads, and each report form must keep its shape: JSON framed section by section with one
// "LABEL": "VALUE UNIT" entry per label and commas between entries, the delimited form three
// fields per line, the Prometheus form one sample per label under its family, the plain form
// one aligned line per label, and all four the same values.
// A failure point inside the snapshot must end the read there with EX_IOERR: no transaction
// after the failed one, and no cell written of the chip that failed (the X6DVA's first chip
// has its cells once its own reads are done).
#include "boards/board_table.h"
#include "boards/boards.h"
#include "chip_facts.h"
#include "chips/cells.h"
#include "chips/chip_tables.h"
#include "chips/chips.h"
#include "registers/registers.h"
#include "trace/trace.h"
#include "output/report_forms.h"
#include "sim/sim.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sysexits.h>

#include <string>
#include <vector>

namespace {

constexpr int chip_addrs[2] = {0x2c, 0x2f};

// Runs the board's reader into S, its trace (on -v) going nowhere. Returns its status.
int read_board(const board *b, readings *s) {
    FILE *saved = stdout;
    FILE *null = fopen("/dev/null", "w");
    stdout = null;
    bus_handle bus{3};
    int status = read_chip(*b, bus, *s, chip_reading::readings);
    stdout = saved;
    fclose(null);
    return status;
}

// After a failed transaction: the read ended there, and the cells are those of the chips
// read whole before the failed one (none on one chip, the first chip's on the X6DVA).
void check_failed_read(const board *b, const readings *s, size_t fail_at) {
    if (sim_log_size() != fail_at || !sim_log_entry(fail_at - 1).failed)
        __builtin_trap();
    readings expected{};
    if (b->chip == chip_kind::x6dva && sim_log_entry(fail_at - 1).addr == 0x2f) {
        register_image first{};
        for (size_t i = 0; i < sim_log_size() && sim_log_entry(i).addr == 0x2c; i++)
            first[sim_log_entry(i).reg] = sim_log_entry(i).value;
        convert_cells(x6dva_first_cells, first, expected);
    }
    if (memcmp(&expected, s, sizeof expected) != 0)
        __builtin_trap();
}

// What a formatter prints, trace lines left out.
std::string report(report_form form, const board *b, const readings *s) {
    char *buf = nullptr;
    size_t len = 0;
    FILE *mem = open_memstream(&buf, &len);
    if (mem == nullptr)
        __builtin_trap();
    FILE *saved = stdout;
    stdout = mem; // the trace, and the report
    write_form(form, *b, *s, mem);
    stdout = saved;
    fclose(mem);
    std::string out;
    for (size_t at = 0; at < len;) {
        const char *nl = static_cast<const char *>(memchr(buf + at, '\n', len - at));
        size_t end = nl == nullptr ? len : static_cast<size_t>(nl - buf) + 1;
        if (strncmp(buf + at, "==> ", 4) != 0)
            out.append(buf + at, end - at);
        at = end;
    }
    free(buf);
    return out;
}

std::vector<std::string> lines(const std::string &text) {
    if (text.empty() || text.back() != '\n')
        __builtin_trap(); // every form ends its last line
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
        out.push_back(text.substr(at, nl - at));
    return out;
}

bool digits(const std::string &s, size_t from, size_t to) {
    if (from >= to)
        return false;
    for (size_t i = from; i < to; i++)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

// A value as the unit prints it: whole numbers for C and RPM, three decimals for V.
bool well_formed(const std::string &v, const char *unit) {
    if (strcmp(unit, "V") != 0)
        return digits(v, 0, v.size());
    size_t start = !v.empty() && v[0] == '-' ? 1 : 0;
    size_t dot = v.find('.');
    return dot != std::string::npos && digits(v, start, dot) && v.size() - dot == 4 &&
           digits(v, dot + 1, v.size());
}

struct entry {
    const char *label;
    std::string value;
    const char *unit;
};

void check_reports(const board *b, const readings *s) {
    struct section {
        const char *name;
        label_list list;
        const char *unit;
    } sections[3] = {
        {"temps", b->temps, "C"}, {"fans", b->fans, "RPM"}, {"voltages", b->voltages, "V"}};

    // JSON: the frame, and each entry's label, value and separator.
    std::vector<std::string> json = lines(report(report_form::json, b, s));
    std::vector<entry> entries;
    size_t at = 0;
    auto expect_line = [&](const std::string &want) {
        if (at >= json.size() || json[at] != want)
            __builtin_trap();
        at++;
    };
    expect_line("{");
    for (int k = 0; k < 3; k++) {
        expect_line(std::string("\t\"") + sections[k].name + "\": {");
        label_list list = sections[k].list;
        for (size_t i = 0; i < list.size(); i++) {
            const sensor_label *l = &list[i];
            std::string head = std::string("\t\t\"") + l->label + "\": \"";
            std::string tail =
                std::string(" ") + sections[k].unit + "\"" + (i + 1 < list.size() ? "," : "");
            if (at >= json.size())
                __builtin_trap();
            const std::string &line = json[at++];
            if (line.size() < head.size() + tail.size() || line.compare(0, head.size(), head) ||
                line.compare(line.size() - tail.size(), tail.size(), tail))
                __builtin_trap();
            std::string value = line.substr(head.size(), line.size() - head.size() - tail.size());
            if (!well_formed(value, sections[k].unit))
                __builtin_trap();
            entries.push_back({l->label, value, sections[k].unit});
        }
        expect_line(k < 2 ? "\t}," : "\t}");
    }
    expect_line("}");
    if (at != json.size())
        __builtin_trap();

    // Delimited: label,value,unit, the same entries in the same order.
    std::vector<std::string> delim = lines(report(report_form::delimited, b, s));
    if (delim.size() != entries.size())
        __builtin_trap();
    for (size_t i = 0; i < delim.size(); i++) {
        const entry &e = entries[i];
        if (delim[i] != std::string(e.label) + "," + e.value + "," + e.unit)
            __builtin_trap();
        size_t commas = 0;
        for (char c : delim[i])
            commas += c == ',';
        if (commas != 2) // a label with a comma would break the three fields
            __builtin_trap();
    }

    // Prometheus: HELP and TYPE lines, and between them the board's line, one sample per
    // entry in the same order under its family (a voltage cell that holds a plain register
    // value under vantorel_register_value, after the volts), and vantorel_up 1. The limits
    // were not read, so no family of theirs has a sample.
    const char *const families[3] = {"vantorel_temperature_celsius", "vantorel_fan_rpm",
                                     "vantorel_voltage_volts"};
    std::vector<std::string> want = {std::string("vantorel_board_info{maker=\"") + b->maker +
                                     "\",product=\"" + b->product + "\",chip=\"" +
                                     chip_name(b->chip) + "\"} 1"};
    std::vector<std::string> register_values;
    for (size_t i = 0, k = 0; k < 3; k++)
        for (size_t n = 0; n < sections[k].list.size(); n++, i++) {
            const bool plain_register = k == 2 && s->voltage_units[sections[k].list[n].index] ==
                                                      voltage_unit::register_value;
            // A temperature as the chip keeps it, signed, in whole degrees.
            const std::string value =
                k == 0
                    ? std::to_string(static_cast<long long>(s->celsius[sections[k].list[n].index]))
                    : entries[i].value;
            (plain_register ? register_values : want)
                .push_back(std::string(plain_register ? "vantorel_register_value" : families[k]) +
                           "{sensor=\"" + entries[i].label + "\"} " + value);
        }
    want.insert(want.end(), register_values.begin(), register_values.end());
    want.push_back("vantorel_up 1");
    std::vector<std::string> samples;
    for (const std::string &line : lines(report(report_form::prometheus, b, s))) {
        if (line.starts_with("# HELP ") || line.starts_with("# TYPE "))
            continue;
        samples.push_back(line);
    }
    if (samples != want)
        __builtin_trap();

    // Plain: the label padded to 20, the value right-aligned in 8, the unit.
    std::vector<std::string> plain = lines(report(report_form::plain, b, s));
    if (plain.size() != entries.size())
        __builtin_trap();
    for (size_t i = 0; i < plain.size(); i++) {
        const entry &e = entries[i];
        std::string label = e.label;
        label.resize(label.size() < 20 ? 20 : label.size(), ' ');
        std::string value = e.value;
        if (value.size() < 8)
            value.insert(0, 8 - value.size(), ' ');
        if (plain[i] != label + " " + value + " " + e.unit)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3)
        return 0;
    const board *b = &board_table[data[0] % board_table.size()];
    size_t fail_at = data[1];
    opt_verbose = (data[2] & 1) != 0;
    data += 3;
    size -= 3;

    sim_reset();
    for (int c = 0; c < 2; c++) {
        sim_add_chip(chip_addrs[c]);
        for (size_t r = 0; r < 256 && c * 256 + r < size; r++)
            if (data[c * 256 + r] != 0)
                sim_set_reg(chip_addrs[c], static_cast<uint8_t>(r), data[c * 256 + r]);
    }

    size_t reads = facts_of(b->chip).reads.size();
    if (fail_at != 0)
        sim_fail_at(fail_at, EIO);

    readings *s = static_cast<readings *>(calloc(1, sizeof(readings)));
    int status = read_board(b, s);
    if (fail_at != 0 && fail_at <= reads) {
        if (status != EX_IOERR)
            __builtin_trap();
        check_failed_read(b, s, fail_at);
        free(s);
        opt_verbose = false;
        return 0;
    }
    if (status != 0)
        __builtin_trap();

    // Exactly the snapshot, every read answered, in bus order.
    if (sim_log_size() != reads)
        __builtin_trap();
    const std::vector<std::pair<int, int>> &want = facts_of(b->chip).reads;
    for (size_t i = 0; i < reads; i++) {
        const sim_txn &t = sim_log_entry(i);
        if (t.write || t.failed || std::pair<int, int>(t.addr, t.reg) != want[i])
            __builtin_trap();
    }
    check_reports(b, s);
    free(s);
    opt_verbose = false;
    return 0;
}
