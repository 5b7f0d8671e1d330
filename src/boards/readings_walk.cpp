// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Where each kind of reading lives in the readings record.
#include "boards/readings_walk.h"

#include <string.h>

namespace {

void set(shown_reading &r, limit_name name, const limit<quantity> &l) {
    r.limits[static_cast<size_t>(name)] = l;
}

} // namespace

shown_reading reading_at(const board &b, const readings &s, reading_kind kind, size_t position) {
    const label_list list = b.*info_of(kind).labels;
    const sensor_label &l = list[position];
    shown_reading r{};
    r.kind = kind;
    r.cell = l.index;
    r.label = l.label;
    r.last = position + 1 == list.size();
    r.unit = voltage_unit::volts;
    switch (kind) {
    case reading_kind::temperature: {
        const temperature_limits &t = s.limits.temps[l.index];
        auto degrees = [](const limit<double> &l) {
            return limit<quantity>{l.present, degrees_quantity(l.value)};
        };
        r.value = whole_quantity(s.temps[l.index]);
        r.chip_value = degrees_quantity(s.celsius[l.index]);
        set(r, limit_name::max, degrees(t.max));
        set(r, limit_name::max_hyst, degrees(t.max_hyst));
        set(r, limit_name::warn, degrees(t.warn));
        set(r, limit_name::warn_hyst, degrees(t.warn_hyst));
        r.alarm = t.alarm;
        break;
    }
    case reading_kind::fan: {
        const fan_limits &f = s.limits.fans[l.index];
        r.value = whole_quantity(s.fans[l.index]);
        r.chip_value = r.value;
        set(r, limit_name::min, {f.min.present, whole_quantity(f.min.value)});
        r.alarm = f.alarm;
        break;
    }
    case reading_kind::voltage: {
        const voltage_limits &v = s.limits.voltages[l.index];
        r.value = real_quantity(s.voltages[l.index]);
        r.chip_value = r.value;
        set(r, limit_name::min, {v.min.present, real_quantity(v.min.value)});
        set(r, limit_name::max, {v.max.present, real_quantity(v.max.value)});
        r.alarm = v.alarm;
        r.unit = s.voltage_units[l.index];
        break;
    }
    }
    return r;
}

bool board_has_label(const board &b, const char *label) {
    for (const kind_info &kind : reading_kinds)
        for (const sensor_label &l : b.*kind.labels)
            if (strcmp(l.label, label) == 0)
                return true;
    return false;
}
