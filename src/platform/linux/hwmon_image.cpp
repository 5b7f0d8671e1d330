// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Linux: the registers of a chip that the kernel's hardware-monitoring driver holds,
// recovered from the driver's sysfs attributes by the chip's layout.
#include "platform/linux/hwmon_image.h"
#include "platform/linux/i2c_adapters.h"
#include "platform/linux/sysfs.h"
#include "registers/driver_numbering.h"
#include "trace/trace.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

// Division rounding toward minus infinity.
long floor_div(long a, long b) {
    long q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// A voltage or one of its limits, published as the driver publishes the reading at that
// value: VALUE * STEP + OFFSET mV. The value is what lies in whole steps above the offset,
// rounded down, stored into the field where it lives (an 8-bit limit of a 10-bit input keeps
// its upper eight bits). False below the offset or above what the field holds.
bool recover_voltage(const voltage_input &in, const register_field &field, long mv,
                     register_image &regs) {
    if (mv < in.offset_mv)
        return false;
    return field.store((mv - in.offset_mv) / in.step_mv, regs);
}

// A temperature or one of its limits, two's complement in steps of 2^-low_bits degrees (whole
// degrees, or the W83792D's half-degree limits). A fraction below the field's step added away
// from zero (0x81 with three quarters is -127750) leaves the field as the value rounded toward
// zero; one added upward (0xF0 and a half is -15500 in a whole-degree reading), as the value
// rounded down. A limit with its half degree (-9500: 0xF6 and the half-degree bit) is a whole
// number of steps and comes back exactly.
bool recover_temperature(temperature_fraction fraction, const register_field &field, long mdeg,
                         register_image &regs) {
    if (mdeg < -1000000 || mdeg > 1000000) // far outside any field; scaled stays in range
        return false;
    const long scaled = mdeg * (1L << field.low_bits);
    const long steps =
        fraction == temperature_fraction::away_from_zero ? scaled / 1000 : floor_div(scaled, 1000);
    return store_temperature_steps(field, steps, regs);
}

// The count that gives back RPM, into COUNT: the largest count whose reading is still RPM.
// The readers compute CLOCK / count rounded down, and for any count c, CLOCK / (CLOCK /
// (CLOCK / c)) rounded down at each step is CLOCK / c rounded down again, so this reads back
// exactly; at the slowest speed the chip can show, the largest count MAX reads it as well.
// 0 (and the W83792D driver's -1 for a count of 0) is no reading: count 0. False for a speed
// that no count from 1 to MAX gives at DIVISOR.
bool fan_count(long rpm, long divisor, long max, long &count) {
    if (rpm == 0 || rpm == -1) {
        count = 0;
        return true;
    }
    if (rpm < 0 || rpm > fan_clock / divisor || rpm < fan_clock / (max * divisor))
        return false;
    count = fan_clock / (rpm * divisor); // rpm * divisor <= fan_clock
    if (count > max)
        count = max;
    return true;
}

// A fan's count or its minimum, published as the reading at that count under the fan's
// divisor (recovered before it); no reading, or no minimum, is count 0.
bool recover_fan(const chip_layout &layout, const fan_input &f, const register_field &field,
                 long rpm, register_image &regs) {
    long count;
    if (!fan_count(rpm, 1L << divisor_code(regs, f), layout.no_reading_count - 1L, count))
        return false;
    return field.store(count, regs);
}

// A divisor of 2^code, code 0 to 7.
bool recover_divisor(const fan_input &f, long divisor, register_image &regs) {
    if (!f.divided)
        return false;
    for (unsigned code = 0; code < 8; code++)
        if (divisor == 1L << code) {
            regs[f.divisor_reg] = static_cast<uint8_t>(
                (regs[f.divisor_reg] & ~(7u << f.divisor_shift)) | code << f.divisor_shift);
            return true;
        }
    return false;
}

// The kind of input whose number an attribute kind's name carries.
constexpr driver_input input_of(hwmon_kind kind) {
    switch (kind) {
    case hwmon_kind::in:
    case hwmon_kind::in_min:
    case hwmon_kind::in_max:
    case hwmon_kind::in_alarm:
        return driver_input::voltage;
    case hwmon_kind::temp:
    case hwmon_kind::temp_max:
    case hwmon_kind::temp_max_hyst:
    case hwmon_kind::temp_warn:
    case hwmon_kind::temp_warn_hyst:
    case hwmon_kind::temp_alarm:
        return driver_input::temperature;
    case hwmon_kind::fan:
    case hwmon_kind::fan_div:
    case hwmon_kind::fan_min:
    case hwmon_kind::fan_alarm:
        break;
    case hwmon_kind::intrusion:
        return driver_input::intrusion;
    }
    return driver_input::fan;
}

// The attributes of one kind, the driver's name of each input with SUFFIX after it; a LIMIT
// kind is read only by a run that reads the limits and status bits.
struct attribute_set {
    hwmon_kind kind;
    const char *suffix;
    bool limit = false;
};

// In the order they are read: a divided fan's count and minimum need its divisor first.
constexpr attribute_set attribute_sets[] = {
    {hwmon_kind::in, "_input"},
    {hwmon_kind::temp, "_input"},
    {hwmon_kind::fan_div, "_div"},
    {hwmon_kind::fan, "_input"},
    {hwmon_kind::in_min, "_min", true},
    {hwmon_kind::in_max, "_max", true},
    {hwmon_kind::in_alarm, "_alarm", true},
    {hwmon_kind::temp_max, "_max", true},
    {hwmon_kind::temp_max_hyst, "_max_hyst", true},
    {hwmon_kind::temp_warn, "_warn", true},
    {hwmon_kind::temp_warn_hyst, "_warn_hyst", true},
    {hwmon_kind::temp_alarm, "_alarm", true},
    {hwmon_kind::fan_min, "_min", true},
    {hwmon_kind::fan_alarm, "_alarm", true},
    {hwmon_kind::intrusion, "_alarm", true},
};

// How many inputs of KIND the layout has (fan_div: every fan, divided or not).
size_t inputs_of(const chip_layout &layout, hwmon_kind kind) {
    return inputs_of(layout, input_of(kind));
}

// Whether the driver publishes attribute KIND of input AT at all: a fan's divisor only where
// the chip divides it, a warning level only where the chip has one.
bool has_attribute(const chip_layout &layout, hwmon_kind kind, size_t at) {
    switch (kind) {
    case hwmon_kind::fan_div:
        return layout.fans[at].divided;
    case hwmon_kind::temp_warn:
    case hwmon_kind::temp_warn_hyst:
        return layout.temperatures[at].has_warn;
    default:
        return true;
    }
}

// The number of the first input of KIND's numbering.
int first_of(hwmon_kind kind) {
    return static_cast<int>(numbering_of(input_of(kind)).first);
}

// Says on standard error that PATH failed with errno E, reading through LAYOUT's driver.
int complain(const chip_layout &layout, const char *path, int e) {
    errno = e;
    say_warn("reading through the %s driver: %s", layout.driver, path);
    return e;
}

// An attribute's content as a message shows it: the bytes outside printable ASCII as '?'.
void printable(char *text) {
    for (; *text != '\0'; text++)
        if (*text < ' ' || *text > '~')
            *text = '?';
}

// The attribute that stays open through the read: in0_input, which both drivers publish
// whenever they are bound. Its open file belongs to the driver instance it was opened from:
// reading it again fails (ENODEV) once that instance is gone, even when the driver has been
// bound to the client again since.
constexpr char anchor_name[] = "in0_input";

// The decimal number in the attribute open on FD at PATH, into VALUE. 0; or, said on
// standard error, the errno of a failed read or EINVAL for content that is no number.
int read_number(const chip_layout &layout, int fd, const char *path, long &value) {
    char buf[32];
    if (int e = read_open_attribute(fd, buf); e != 0)
        return complain(layout, path, e);
    // No number the drivers publish comes near filling the buffer.
    bool sign_or_digit = buf[0] == '-' || (buf[0] >= '0' && buf[0] <= '9');
    char *end = buf;
    errno = 0;
    if (sign_or_digit && strlen(buf) < sizeof buf - 1)
        value = strtol(buf, &end, 10);
    if (end == buf || errno != 0 || *end != '\0') {
        printable(buf);
        say_warnx("reading through the %s driver: %s: \"%s\" is not a number", layout.driver, path,
                  buf);
        return EINVAL;
    }
    return 0;
}

// The directory that holds the attributes, into DIR: the client's hwmon/hwmonK/ that holds
// in0_input where the driver puts them there, else the client's own directory. A bound
// driver has registered its hwmon device, so the client's directory and hwmon/ must both be
// listable: 0, or the errno after saying which is not.
int attribute_dir(const chip_layout &layout, const char *client, char (&dir)[PATH_MAX]) {
    DIR *d = opendir(client);
    if (d == nullptr)
        return complain(layout, client, errno);
    closedir(d);
    char path[PATH_MAX];
    if (!fits(snprintf(path, sizeof path, "%s/hwmon", client), sizeof path))
        return complain(layout, client, ENAMETOOLONG);
    d = opendir(path);
    if (d == nullptr)
        return complain(layout, path, errno);
    snprintf(dir, sizeof dir, "%s", client);
    int e = 0;
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(d);
        if (entry == nullptr) {
            e = errno;
            break;
        }
        if (strncmp(entry->d_name, "hwmon", 5) != 0)
            continue;
        char sub[PATH_MAX], probe[PATH_MAX];
        if (fits(snprintf(sub, sizeof sub, "%s/%s", path, entry->d_name), sizeof sub) &&
            fits(snprintf(probe, sizeof probe, "%s/%s", sub, anchor_name), sizeof probe) &&
            access(probe, F_OK) == 0) {
            memcpy(dir, sub, sizeof dir);
            break;
        }
    }
    closedir(d);
    return e == 0 ? 0 : complain(layout, path, e);
}

// Every attribute of LAYOUT in DIR into REGS, ANCHOR (in0_input, open) among them; those of
// the limits and status bits only WITH_LIMITS. A fan that may be off reads 0 when the driver
// does not publish it; had the driver gone for a moment instead, the anchor says so
// afterwards.
int read_attributes(const chip_layout &layout, chip_reading what, const char *dir, int anchor,
                    register_image &regs) {
    for (const attribute_set &set : attribute_sets) {
        if (set.limit && what != chip_reading::with_limits)
            continue;
        for (size_t at = 0; at < inputs_of(layout, set.kind); at++) {
            const bool fan = input_of(set.kind) == driver_input::fan;
            if (!has_attribute(layout, set.kind, at))
                continue;
            const int n = first_of(set.kind) + static_cast<int>(at);
            char name[32];
            snprintf(name, sizeof name, "%s%d%s", numbering_of(input_of(set.kind)).prefix, n,
                     set.suffix);
            char path[PATH_MAX];
            if (!fits(snprintf(path, sizeof path, "%s/%s", dir, name), sizeof path))
                return complain(layout, dir, ENAMETOOLONG);

            const int fd =
                strcmp(name, anchor_name) == 0 ? anchor : open(path, O_RDONLY | O_CLOEXEC);
            if (fd < 0 && errno == ENOENT && fan && layout.fans[at].may_be_off) {
                debug_print("\t%s: not published, reads 0\n", name);
                continue;
            }
            if (fd < 0)
                return complain(layout, path, errno);
            // A divided fan's count or minimum means nothing without its divisor, which the
            // driver leaves out only together with them. (fanN_div is shorter than fanN_input.)
            char divisor[PATH_MAX];
            if ((set.kind == hwmon_kind::fan || set.kind == hwmon_kind::fan_min) &&
                layout.fans[at].divided &&
                snprintf(divisor, sizeof divisor, "%s/fan%d_div", dir, n) > 0 &&
                access(divisor, F_OK) != 0) {
                close(fd);
                return complain(layout, divisor, ENOENT);
            }
            long value = 0;
            const int e = read_number(layout, fd, path, value);
            if (fd != anchor)
                close(fd);
            if (e != 0)
                return e;
            debug_print("\t%s = %ld\n", name, value);
            if (!hwmon_recover(layout, set.kind, n, value, regs)) {
                say_warnx("reading through the %s driver: %s: %ld is out of range for the chip",
                          layout.driver, path, value);
                return EINVAL;
            }
        }
    }
    return 0;
}

} // namespace

bool hwmon_recover(const chip_layout &layout, hwmon_kind kind, int index, long value,
                   register_image &regs) {
    if (index < first_of(kind))
        return false;
    const auto at = static_cast<size_t>(index - first_of(kind));
    if (at >= inputs_of(layout, kind))
        return false;
    if (!has_attribute(layout, kind, at))
        return false;
    switch (kind) {
    case hwmon_kind::in:
        return recover_voltage(layout.voltages[at], layout.voltages[at].reading, value, regs);
    case hwmon_kind::in_min:
        return recover_voltage(layout.voltages[at], layout.voltages[at].low_limit, value, regs);
    case hwmon_kind::in_max:
        return recover_voltage(layout.voltages[at], layout.voltages[at].high_limit, value, regs);
    case hwmon_kind::temp:
        return recover_temperature(layout.fraction, layout.temperatures[at].reading, value, regs);
    case hwmon_kind::temp_max:
        return recover_temperature(layout.fraction, layout.temperatures[at].max, value, regs);
    case hwmon_kind::temp_max_hyst:
        return recover_temperature(layout.fraction, layout.temperatures[at].max_hyst, value, regs);
    case hwmon_kind::temp_warn:
        return recover_temperature(layout.fraction, layout.temperatures[at].warn, value, regs);
    case hwmon_kind::temp_warn_hyst:
        return recover_temperature(layout.fraction, layout.temperatures[at].warn_hyst, value, regs);
    case hwmon_kind::fan_div:
        return recover_divisor(layout.fans[at], value, regs);
    case hwmon_kind::fan:
        return recover_fan(layout, layout.fans[at], layout.fans[at].count, value, regs);
    case hwmon_kind::fan_min:
        return recover_fan(layout, layout.fans[at], layout.fans[at].min, value, regs);
    case hwmon_kind::in_alarm:
        return layout.voltages[at].alarm.store(value, regs);
    case hwmon_kind::temp_alarm:
        return layout.temperatures[at].alarm.store(value, regs);
    case hwmon_kind::fan_alarm:
        return layout.fans[at].alarm.store(value, regs);
    case hwmon_kind::intrusion:
        return layout.intrusion.store(value, regs);
    }
    return false;
}

int hwmon_read_registers(const char *sysfs_root, int adapter, int address,
                         const chip_layout &layout, chip_reading what, register_image &regs) {
    regs = {};
    auto failed = [](int e) {
        debug_print("hwmon_read_registers() returning error\n");
        return e;
    };
    char client[PATH_MAX];
    if (!fits(snprintf(client, sizeof client, "%s/bus/i2c/devices/%d-%04x", sysfs_root, adapter,
                       address),
              sizeof client))
        return failed(complain(layout, sysfs_root, ENAMETOOLONG));
    char dir[PATH_MAX];
    if (int e = attribute_dir(layout, client, dir); e != 0)
        return failed(e);
    debug_print("hwmon_read_registers(dir = %s)\n", dir);

    char path[PATH_MAX];
    if (!fits(snprintf(path, sizeof path, "%s/%s", dir, anchor_name), sizeof path))
        return failed(complain(layout, dir, ENAMETOOLONG));
    const int anchor = open(path, O_RDONLY | O_CLOEXEC);
    if (anchor < 0)
        return failed(complain(layout, path, errno));
    int e = read_attributes(layout, what, dir, anchor, regs);
    // Every value came from the driver instance that published in0_input, and that instance
    // is still bound: the driver has not let go of the chip, even for a moment, during the
    // read.
    char buf[32];
    if (int gone = e == 0 ? read_open_attribute(anchor, buf) : 0; gone != 0)
        e = complain(layout, path, gone);
    close(anchor);
    chip_holder holder;
    if (e == 0 && (!find_chip_holder(sysfs_root, adapter, address, holder) ||
                   strcmp(holder.driver, layout.driver) != 0)) {
        say_warnx("reading through the %s driver: %s/driver: the driver let go of the chip during "
                  "the read",
                  layout.driver, client);
        e = ENODEV;
    }
    if (e != 0)
        return failed(e);
    debug_print("hwmon_read_registers() returning 0\n");
    return 0;
}
