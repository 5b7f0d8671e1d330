// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Linux: the registers of a chip that the kernel's hardware-monitoring driver holds,
// recovered from the driver's sysfs attributes by the chip's layout.
#include "platform/linux/hwmon_image.h"
#include "platform/linux/sysfs.h"
#include "trace/trace.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

long clamp(long v, long lo, long hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

// Division rounding toward minus infinity.
long floor_div(long a, long b) {
    long q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

void set_bits(hwmon_registers &regs, uint8_t reg, unsigned shift, unsigned mask, long value) {
    regs[reg] = static_cast<uint8_t>((regs[reg] & ~(mask << shift)) |
                                     ((static_cast<unsigned>(value) & mask) << shift));
}

void recover_voltage(const voltage_input &in, long mv, hwmon_registers &regs) {
    if (!in.ten_bit) {
        regs[in.reg] =
            static_cast<uint8_t>(clamp(floor_div(mv - in.offset_mv, in.step_mv), 0, 255));
        return;
    }
    long value = clamp(floor_div(mv - in.offset_mv, in.step_mv), 0, 1023);
    regs[in.reg] = static_cast<uint8_t>(value >> 2);
    set_bits(regs, in.low_reg, in.low_shift, 3, value);
}

// The count that gives back RPM: the largest count whose reading is still RPM. The readers
// compute CLOCK / count rounded down, and for any count c, CLOCK / (CLOCK / (CLOCK / c))
// rounded down at each step is CLOCK / c rounded down again, so this reads back exactly.
// A count above the chip's largest ordinary one (MAX) reads the same as MAX does. 0 (and the
// W83792D driver's -1 for a count of 0) is no reading: count 0.
long fan_count(long rpm, long divisor, long max) {
    if (rpm <= 0)
        return 0;
    return clamp(fan_clock / (rpm * divisor), 1, max);
}

// The number in attribute PATH, into VALUE. 0, ENOENT when the driver does not publish
// it, or the errno of the failure.
int read_number(const char *path, long &value) {
    char buf[32];
    if (int e = read_attribute(path, buf); e != 0)
        return e;
    char *end;
    errno = 0;
    value = strtol(buf, &end, 10);
    if (end == buf || errno != 0 || *end != '\0')
        return EINVAL;
    return 0;
}

// The directory that holds the attributes: the client's hwmon/hwmonK/ where the driver puts
// them there (the one holding in0_input, which both drivers publish), else the client's own
// directory.
void attribute_dir(const char *client, char (&dir)[PATH_MAX]) {
    snprintf(dir, sizeof dir, "%s", client);
    char path[PATH_MAX];
    if (!fits(snprintf(path, sizeof path, "%s/hwmon", client), sizeof path))
        return;
    DIR *d = opendir(path);
    if (d == nullptr)
        return;
    while (const dirent *entry = readdir(d)) {
        if (strncmp(entry->d_name, "hwmon", 5) != 0)
            continue;
        char sub[PATH_MAX], probe[PATH_MAX];
        if (fits(snprintf(sub, sizeof sub, "%s/%s", path, entry->d_name), sizeof sub) &&
            fits(snprintf(probe, sizeof probe, "%s/in0_input", sub), sizeof probe) &&
            access(probe, F_OK) == 0) {
            memcpy(dir, sub, sizeof dir);
            break;
        }
    }
    closedir(d);
}

// The attributes PREFIX N SUFFIX of one kind.
struct attribute_set {
    hwmon_kind kind;
    const char *prefix;
    const char *suffix;
};

// In the order they are read: a divided fan's count needs its divisor first.
constexpr attribute_set attribute_sets[] = {{hwmon_kind::in, "in", "_input"},
                                            {hwmon_kind::temp, "temp", "_input"},
                                            {hwmon_kind::fan_div, "fan", "_div"},
                                            {hwmon_kind::fan, "fan", "_input"}};

// How many inputs of KIND the layout has (fan_div: every fan, divided or not).
size_t inputs_of(const chip_layout &layout, hwmon_kind kind) {
    switch (kind) {
    case hwmon_kind::in:
        return layout.voltages.size();
    case hwmon_kind::temp:
        return layout.temperatures.size();
    case hwmon_kind::fan:
    case hwmon_kind::fan_div:
        break;
    }
    return layout.fans.size();
}

// The driver numbers its voltage inputs from 0 (in0) and the others from 1 (temp1, fan1).
int first_of(hwmon_kind kind) {
    return kind == hwmon_kind::in ? 0 : 1;
}

} // namespace

void hwmon_recover(const chip_layout &layout, hwmon_kind kind, int index, long value,
                   hwmon_registers &regs) {
    if (index < first_of(kind))
        return;
    const auto at = static_cast<size_t>(index - first_of(kind));
    if (at >= inputs_of(layout, kind))
        return;
    switch (kind) {
    case hwmon_kind::in:
        recover_voltage(layout.voltages[at], value, regs);
        return;
    case hwmon_kind::temp: {
        // Two's complement whole degrees. A fraction added away from zero (0x81 with three
        // quarters is -127750) leaves the byte as the value rounded toward zero; one added
        // upward (0xF0 and a half is -15500), as the value rounded down.
        long degrees = layout.fraction == temperature_fraction::away_from_zero
                           ? value / 1000
                           : floor_div(value, 1000);
        regs[layout.temperatures[at]] = static_cast<uint8_t>(clamp(degrees, -128, 127));
        return;
    }
    case hwmon_kind::fan_div: {
        const fan_input &f = layout.fans[at];
        if (!f.divided)
            return;
        // The divisor is 2^code; anything else is left as code 0.
        long code = 0;
        while (code < 7 && (1L << code) < value)
            code++;
        if ((1L << code) != value)
            code = 0;
        set_bits(regs, f.divisor_reg, f.divisor_shift, 7, code);
        return;
    }
    case hwmon_kind::fan: {
        const fan_input &f = layout.fans[at];
        long divisor = f.divided ? 1L << ((regs[f.divisor_reg] >> f.divisor_shift) & 7) : 1;
        long count = fan_count(value, divisor, layout.no_reading_count - 1);
        if (f.sixteen_bit) {
            regs[f.count_reg] = static_cast<uint8_t>(count >> 8);
            regs[f.count_low_reg] = static_cast<uint8_t>(count);
        } else {
            regs[f.count_reg] = static_cast<uint8_t>(count);
        }
        return;
    }
    }
}

int hwmon_read_registers(const char *sysfs_root, int adapter, int address,
                         const chip_layout &layout, hwmon_registers &regs) {
    regs = hwmon_registers{};
    char client[PATH_MAX];
    if (!fits(snprintf(client, sizeof client, "%s/bus/i2c/devices/%d-%04x", sysfs_root, adapter,
                       address),
              sizeof client))
        return ENAMETOOLONG;
    char dir[PATH_MAX];
    attribute_dir(client, dir);
    debug_print("hwmon_read_registers(dir = %s)\n", dir);

    for (const attribute_set &set : attribute_sets) {
        for (size_t at = 0; at < inputs_of(layout, set.kind); at++) {
            if (set.kind == hwmon_kind::fan_div && !layout.fans[at].divided)
                continue;
            const int i = first_of(set.kind) + static_cast<int>(at);
            char name[32];
            snprintf(name, sizeof name, "%s%d%s", set.prefix, i, set.suffix);
            char path[PATH_MAX];
            if (!fits(snprintf(path, sizeof path, "%s/%s", dir, name), sizeof path))
                return ENAMETOOLONG;
            long value = 0;
            int e = read_number(path, value);
            if (e == ENOENT) {
                debug_print("\t%s: not published, reads 0\n", name);
                continue;
            }
            if (e != 0) {
                debug_print("hwmon_read_registers() returning error on %s\n", name);
                return e;
            }
            debug_print("\t%s = %ld\n", name, value);
            hwmon_recover(layout, set.kind, i, value, regs);
        }
    }
    debug_print("hwmon_read_registers() returning 0\n");
    return 0;
}
