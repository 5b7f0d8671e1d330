// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Linux: the registers of a chip that the kernel's w83793 or w83792d driver holds, recovered
// from the driver's sysfs attributes.
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

#include <span>

namespace {

// The fan count that reads as one revolution per minute: both chips count a 1.35 MHz clock
// (divided, on the W83792D, by the fan's divisor) over one revolution.
constexpr long fan_clock = 1350000;

// A voltage input: the reading register, the step of its value in mV and the offset in mV;
// for a 10-bit input, the register and position of its two low bits (low_reg 0: 8-bit).
struct voltage_input {
    uint8_t reg;
    long step;
    long offset;
    uint8_t low_reg;
    uint8_t low_shift;
};

// W83793G in0-in9. in0-in2 are 10-bit, their low bits packed into 0x1B; 0x13 is no input.
constexpr voltage_input w83793_in[] = {
    {0x10, 2, 0, 0x1B, 0}, {0x11, 2, 0, 0x1B, 2}, {0x12, 2, 0, 0x1B, 4}, {0x14, 16, 0, 0, 0},
    {0x15, 16, 0, 0, 0},   {0x16, 16, 0, 0, 0},   {0x17, 8, 0, 0, 0},    {0x18, 24, 150, 0, 0},
    {0x19, 24, 150, 0, 0}, {0x1A, 16, 0, 0, 0},
};

// W83792D in0-in8. in0-in7 are 10-bit, their low bits packed into 0x3E and 0x3F; in8 is
// read as its 8-bit register (16 mV).
constexpr voltage_input w83792d_in[] = {
    {0x20, 2, 0, 0x3E, 0}, {0x21, 2, 0, 0x3E, 2}, {0x22, 4, 0, 0x3E, 4},
    {0x23, 4, 0, 0x3E, 6}, {0x24, 4, 0, 0x3F, 0}, {0x25, 4, 0, 0x3F, 2},
    {0x26, 6, 0, 0x3F, 4}, {0xB0, 6, 0, 0x3F, 6}, {0xB1, 16, 0, 0, 0},
};

// W83792D temp1-temp3: the whole-degree registers (their half-degree bits are not kept).
constexpr uint8_t w83792d_temp[] = {0x27, 0xC0, 0xC8};

// W83792D fan1-fan7: count register and where its 3-bit divisor code sits.
struct fan_input {
    uint8_t count_reg;
    uint8_t divisor_reg;
    uint8_t divisor_shift;
};
constexpr fan_input w83792d_fan[] = {{0x28, 0x47, 0}, {0x29, 0x47, 4}, {0x2A, 0x5B, 0},
                                     {0xB8, 0x5B, 4}, {0xB9, 0x5C, 0}, {0xBA, 0x5C, 4},
                                     {0xBE, 0x9E, 0}};

// Attributes PREFIX N SUFFIX for the inputs N from FIRST to LAST ("in0_input").
struct attribute_set {
    hwmon_kind kind;
    const char *prefix;
    const char *suffix;
    int first, last;
};

// In the order they are read: a W83792D fan's count needs its divisor first.
constexpr attribute_set w83793_attributes[] = {{hwmon_kind::in, "in", "_input", 0, 9},
                                               {hwmon_kind::temp, "temp", "_input", 1, 6},
                                               {hwmon_kind::fan, "fan", "_input", 1, 12}};
constexpr attribute_set w83792d_attributes[] = {{hwmon_kind::in, "in", "_input", 0, 8},
                                                {hwmon_kind::temp, "temp", "_input", 1, 3},
                                                {hwmon_kind::fan_div, "fan", "_div", 1, 7},
                                                {hwmon_kind::fan, "fan", "_input", 1, 7}};

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
    if (in.low_reg == 0) {
        regs[in.reg] = static_cast<uint8_t>(clamp(floor_div(mv - in.offset, in.step), 0, 255));
        return;
    }
    long value = clamp(floor_div(mv - in.offset, in.step), 0, 1023);
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

} // namespace

bool hwmon_driver_named(const char *name, hwmon_driver &driver) {
    if (strcmp(name, "w83793") == 0)
        driver = hwmon_driver::w83793;
    else if (strcmp(name, "w83792d") == 0)
        driver = hwmon_driver::w83792d;
    else
        return false;
    return true;
}

void hwmon_recover(hwmon_driver driver, hwmon_kind kind, int index, long value,
                   hwmon_registers &regs) {
    switch (driver) {
    case hwmon_driver::w83793:
        switch (kind) {
        case hwmon_kind::in:
            if (index >= 0 && index < 10)
                recover_voltage(w83793_in[index], value, regs);
            return;
        case hwmon_kind::temp:
            // temp1-temp6 at 0x1C-0x21, two's complement. The driver adds the quarter
            // degrees of temp1-temp4 away from zero (0x81 with 3 quarters is -127750), so
            // the whole-degree byte is the value rounded toward zero.
            if (index >= 1 && index <= 6)
                regs[0x1B + index] = static_cast<uint8_t>(clamp(value / 1000, -128, 127));
            return;
        case hwmon_kind::fan:
            // 16-bit counts at 0x23-0x3A, high byte first. The driver reads 12 bits of them.
            if (index >= 1 && index <= 12) {
                long count = fan_count(value, 1, 0x0ffe);
                regs[0x23 + 2 * (index - 1)] = static_cast<uint8_t>(count >> 8);
                regs[0x24 + 2 * (index - 1)] = static_cast<uint8_t>(count);
            }
            return;
        case hwmon_kind::fan_div:
            return;
        }
        return;
    case hwmon_driver::w83792d:
        switch (kind) {
        case hwmon_kind::in:
            if (index >= 0 && index < 9)
                recover_voltage(w83792d_in[index], value, regs);
            return;
        case hwmon_kind::temp:
            // Two's complement whole degrees, with a half-degree bit below: -15500 is 0xF0
            // and a half, so the byte is the value rounded toward minus infinity.
            if (index >= 1 && index <= 3)
                regs[w83792d_temp[index - 1]] =
                    static_cast<uint8_t>(clamp(floor_div(value, 1000), -128, 127));
            return;
        case hwmon_kind::fan_div:
            if (index >= 1 && index <= 7) {
                // The divisor is 2^code; anything else is left as code 0.
                long code = 0;
                while (code < 7 && (1L << code) < value)
                    code++;
                if ((1L << code) != value)
                    code = 0;
                const fan_input &f = w83792d_fan[index - 1];
                set_bits(regs, f.divisor_reg, f.divisor_shift, 7, code);
            }
            return;
        case hwmon_kind::fan:
            if (index >= 1 && index <= 7) {
                const fan_input &f = w83792d_fan[index - 1];
                long divisor = 1L << ((regs[f.divisor_reg] >> f.divisor_shift) & 7);
                regs[f.count_reg] = static_cast<uint8_t>(fan_count(value, divisor, 0xfe));
            }
            return;
        }
        return;
    }
}

int hwmon_read_registers(const char *sysfs_root, int adapter, int address, hwmon_driver driver,
                         hwmon_registers &regs) {
    regs = hwmon_registers{};
    char client[PATH_MAX];
    if (!fits(snprintf(client, sizeof client, "%s/bus/i2c/devices/%d-%04x", sysfs_root, adapter,
                       address),
              sizeof client))
        return ENAMETOOLONG;
    char dir[PATH_MAX];
    attribute_dir(client, dir);
    debug_print("hwmon_read_registers(dir = %s)\n", dir);

    const auto sets = driver == hwmon_driver::w83793
                          ? std::span<const attribute_set>(w83793_attributes)
                          : std::span<const attribute_set>(w83792d_attributes);
    for (const attribute_set &set : sets) {
        for (int i = set.first; i <= set.last; i++) {
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
            hwmon_recover(driver, set.kind, i, value, regs);
        }
    }
    debug_print("hwmon_read_registers() returning 0\n");
    return 0;
}
