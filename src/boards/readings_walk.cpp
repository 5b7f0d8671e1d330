// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Where each kind of reading lives in the readings record, and how its numbers are written.
#include "boards/readings_walk.h"

#include <type_traits>

void print_number(FILE *out, const quantity &q, int width) {
    if (q.format == number_format::whole)
        fprintf(out, "%*llu", width, static_cast<unsigned long long>(q.whole));
    else
        fprintf(out, "%*.3f", width, q.real);
}

int format_number(char *buf, size_t size, const quantity &q, int width) {
    if (q.format == number_format::whole)
        return snprintf(buf, size, "%*llu", width, static_cast<unsigned long long>(q.whole));
    return snprintf(buf, size, "%*.3f", width, q.real);
}

namespace {

template <typename T> quantity as_quantity(T value) {
    if constexpr (std::is_floating_point_v<T>)
        return real_quantity(value);
    else
        return whole_quantity(value);
}

template <typename T> void set(shown_reading &r, limit_name name, const limit<T> &l) {
    r.limits[static_cast<size_t>(name)] = {l.present, as_quantity(l.value)};
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
        r.value = whole_quantity(s.temps[l.index]);
        set(r, limit_name::max, t.max);
        set(r, limit_name::max_hyst, t.max_hyst);
        set(r, limit_name::warn, t.warn);
        set(r, limit_name::warn_hyst, t.warn_hyst);
        r.alarm = t.alarm;
        break;
    }
    case reading_kind::fan: {
        const fan_limits &f = s.limits.fans[l.index];
        r.value = whole_quantity(s.fans[l.index]);
        set(r, limit_name::min, f.min);
        r.alarm = f.alarm;
        break;
    }
    case reading_kind::voltage: {
        const voltage_limits &v = s.limits.voltages[l.index];
        r.value = real_quantity(s.voltages[l.index]);
        set(r, limit_name::min, v.min);
        set(r, limit_name::max, v.max);
        r.alarm = v.alarm;
        r.unit = s.voltage_units[l.index];
        break;
    }
    }
    return r;
}
