// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Fuzz target: the recovery of a chip's registers from its kernel driver's attributes
// (Linux), over a fuzzed attribute tree laid out in a scratch directory.
//
// Input: the chip (W83793G or W83792D layout), whether the attributes sit in the client's
// directory or in its hwmon/hwmon3, whether the run reads the limits and status bits too, a
// flaw of the tree or none (client directory missing, hwmon directory missing or a file,
// driver link missing or naming another driver), then for each attribute of the chip in the
// order the driver numbers them (the limit and status attributes after the readings', when
// read): absent, a directory, arbitrary bytes, or a number near the range of the chip's
// registers.
//
// Checked: the read succeeds exactly when the tree has no flaw and every attribute is a
// decimal number in its range, present unless it belongs to a fan that may be off (a
// divided fan's divisor with its count or minimum); then every recovered register reads
// back what the driver published (voltage steps rounded down, a limit's as its reading's,
// whole degrees as the driver's rounding says, the largest fan count of the published
// speed, a status bit of 0 or 1), and no register bit outside the chip's inputs (and, when
// read, their limits and status bits) is set. Nothing is left open, whatever the outcome.
#include "chips/chip_tables.h"
#include "registers/chip_layout.h"
#include "registers/registers.h"
#include "platform/linux/hwmon_image.h"
#include "scratch.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

enum class flaw { none, no_client, no_hwmon, hwmon_file, no_driver_link, other_driver };

// One attribute of the chip: which input, and what the tree holds for it.
struct attribute {
    hwmon_kind kind;
    size_t at; // index into the layout's list of that kind
    std::string name;
    enum { absent, directory, bytes } is = absent;
    std::string content = {};
};

// Every attribute of LAYOUT, in the order the driver numbers them; then, for a run that reads
// them, the limit and status attributes.
std::vector<attribute> attributes_of(const chip_layout &layout, chip_reading what) {
    std::vector<attribute> list;
    for (size_t i = 0; i < layout.voltages.size(); i++)
        list.push_back({hwmon_kind::in, i, "in" + std::to_string(i) + "_input"});
    for (size_t i = 0; i < layout.temperatures.size(); i++)
        list.push_back({hwmon_kind::temp, i, "temp" + std::to_string(i + 1) + "_input"});
    for (size_t i = 0; i < layout.fans.size(); i++) {
        if (layout.fans[i].divided)
            list.push_back({hwmon_kind::fan_div, i, "fan" + std::to_string(i + 1) + "_div"});
        list.push_back({hwmon_kind::fan, i, "fan" + std::to_string(i + 1) + "_input"});
    }
    if (what != chip_reading::with_limits)
        return list;
    for (size_t i = 0; i < layout.voltages.size(); i++) {
        const std::string in = "in" + std::to_string(i);
        list.push_back({hwmon_kind::in_min, i, in + "_min"});
        list.push_back({hwmon_kind::in_max, i, in + "_max"});
        list.push_back({hwmon_kind::in_alarm, i, in + "_alarm"});
    }
    for (size_t i = 0; i < layout.temperatures.size(); i++) {
        const std::string temp = "temp" + std::to_string(i + 1);
        list.push_back({hwmon_kind::temp_max, i, temp + "_max"});
        list.push_back({hwmon_kind::temp_max_hyst, i, temp + "_max_hyst"});
        if (layout.temperatures[i].has_warn) {
            list.push_back({hwmon_kind::temp_warn, i, temp + "_warn"});
            list.push_back({hwmon_kind::temp_warn_hyst, i, temp + "_warn_hyst"});
        }
        list.push_back({hwmon_kind::temp_alarm, i, temp + "_alarm"});
    }
    for (size_t i = 0; i < layout.fans.size(); i++) {
        list.push_back({hwmon_kind::fan_min, i, "fan" + std::to_string(i + 1) + "_min"});
        list.push_back({hwmon_kind::fan_alarm, i, "fan" + std::to_string(i + 1) + "_alarm"});
    }
    list.push_back({hwmon_kind::intrusion, 0, "intrusion0_alarm"});
    return list;
}

// How many of an input's values one unit of its limit registers counts: four for an 8-bit
// limit of a 10-bit input (its low bits not kept), one otherwise.
long limit_scale(const register_field &limit) {
    return limit.low_zero ? 1L << limit.low_bits : 1;
}

// The field of a voltage limit attribute of KIND.
const register_field &voltage_limit(const voltage_input &v, hwmon_kind kind) {
    return kind == hwmon_kind::in_max ? v.high_limit : v.low_limit;
}

// The field of a temperature limit attribute of KIND.
const register_field &temperature_limit(const temperature_input &t, hwmon_kind kind) {
    switch (kind) {
    case hwmon_kind::temp_max:
        return t.max;
    case hwmon_kind::temp_max_hyst:
        return t.max_hyst;
    case hwmon_kind::temp_warn:
        return t.warn;
    default:
        return t.warn_hyst;
    }
}

// The status bit of a status attribute.
status_bit bit_of(const chip_layout &layout, const attribute &a) {
    switch (a.kind) {
    case hwmon_kind::in_alarm:
        return layout.voltages[a.at].alarm;
    case hwmon_kind::temp_alarm:
        return layout.temperatures[a.at].alarm;
    case hwmon_kind::fan_alarm:
        return layout.fans[a.at].alarm;
    default:
        return layout.intrusion;
    }
}

// A number near the range of ATTR's kind, its edges and a step beyond them included.
long plausible(FuzzedDataProvider &in, const chip_layout &layout, const attribute &attr) {
    switch (attr.kind) {
    case hwmon_kind::in: {
        const voltage_input &v = layout.voltages[attr.at];
        const long top = v.offset_mv + (v.reading.max() + 1L) * v.step_mv;
        return in.ConsumeIntegralInRange<long>(v.offset_mv - 2, top + 2);
    }
    case hwmon_kind::in_min:
    case hwmon_kind::in_max: {
        const voltage_input &v = layout.voltages[attr.at];
        const long top = v.offset_mv + (voltage_limit(v, attr.kind).max() + 1L) * v.step_mv;
        return in.ConsumeIntegralInRange<long>(v.offset_mv - 2, top + 2);
    }
    case hwmon_kind::temp:
    case hwmon_kind::temp_max:
    case hwmon_kind::temp_max_hyst:
    case hwmon_kind::temp_warn:
    case hwmon_kind::temp_warn_hyst:
        return in.ConsumeIntegralInRange<long>(-130000, 130000);
    case hwmon_kind::fan_div: {
        const long divisor = in.ConsumeIntegralInRange<long>(-1, 260);
        return in.ConsumeBool() ? divisor : divisor | 1L << 62;
    }
    case hwmon_kind::in_alarm:
    case hwmon_kind::temp_alarm:
    case hwmon_kind::fan_alarm:
    case hwmon_kind::intrusion:
        return in.ConsumeIntegralInRange<long>(-1, 2);
    case hwmon_kind::fan:
    case hwmon_kind::fan_min:
        break;
    }
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<long>(-3, 6000)
                            : in.ConsumeIntegralInRange<long>(-3, fan_clock + 3);
}

// The number that the program must take from CONTENT: what read_attribute leaves of it
// (cut at 31 bytes, then at a newline or NUL) when that is a decimal number, of at most 30
// characters, that a long holds.
std::optional<long> number_in(const std::string &content) {
    std::string text = content.substr(0, 31);
    text = text.substr(0, text.find_first_of(std::string("\n\0", 2)));
    long value = 0;
    const char *end = text.data() + text.size();
    if (text.empty() || text.size() == 31 || text[0] == '+')
        return std::nullopt;
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

// The fan count that the recovery of RPM at DIVISOR must give, or nothing when RPM is out of
// the chip's range. Worked in 128 bits: no product can overflow here.
std::optional<long> expected_count(long rpm, long divisor, long max) {
    if (rpm == 0 || rpm == -1)
        return 0;
    const __int128 r = rpm;
    if (r < 1 || r * divisor > fan_clock)
        return std::nullopt;
    const __int128 count = fan_clock / (r * divisor);
    if (count > max) {
        // Only the slowest speed the largest count shows may stand for it.
        if (fan_clock / (static_cast<__int128>(max) * divisor) != r)
            return std::nullopt;
        return max;
    }
    return static_cast<long>(count);
}

long floor_div(long a, long b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    const chip_layout &layout = in.ConsumeBool() ? w83793g_layout : w83792d_layout;
    const bool in_hwmon = in.ConsumeBool();
    const flaw flaws[] = {flaw::none,           flaw::none,        flaw::none,     flaw::none,
                          flaw::none,           flaw::no_client,   flaw::no_hwmon, flaw::hwmon_file,
                          flaw::no_driver_link, flaw::other_driver};
    const flaw tree_flaw = in.PickValueInArray(flaws);
    const chip_reading what = in.ConsumeBool() ? chip_reading::with_limits : chip_reading::readings;
    std::vector<attribute> attrs = attributes_of(layout, what);
    for (attribute &a : attrs) {
        switch (in.ConsumeIntegralInRange(0, 15)) {
        case 0:
            a.is = attribute::absent;
            break;
        case 1:
            a.is = attribute::directory;
            break;
        case 2:
            a.is = attribute::bytes;
            a.content = in.ConsumeRandomLengthString(40);
            break;
        default:
            a.is = attribute::bytes;
            a.content = std::to_string(plausible(in, layout, a)) + "\n";
            break;
        }
    }

    // The tree: sys/bus/i2c/devices/0-002f, bound to the layout's driver.
    const fs::path sys = fresh_tree("recovery") / "sys";
    const fs::path client = sys / "bus/i2c/devices/0-002f";
    fs::create_directories(client / "hwmon/hwmon3");
    const fs::path dir = in_hwmon ? client / "hwmon/hwmon3" : client;
    for (const attribute &a : attrs) {
        if (a.is == attribute::directory)
            fs::create_directory(dir / a.name);
        else if (a.is == attribute::bytes)
            write_file(dir / a.name, a.content);
    }
    const char *driver = tree_flaw == flaw::other_driver ? "at24" : layout.driver;
    if (tree_flaw != flaw::no_driver_link)
        fs::create_directory_symlink(std::string("../../../bus/i2c/drivers/") + driver,
                                     client / "driver");
    if (tree_flaw == flaw::no_client)
        fs::remove_all(client);
    if (tree_flaw == flaw::no_hwmon || tree_flaw == flaw::hwmon_file)
        fs::remove_all(client / "hwmon");
    if (tree_flaw == flaw::hwmon_file)
        write_file(client / "hwmon", "");

    register_image regs;
    regs.fill(0xa5);
    const int free_fd = lowest_free_fd();
    const int e = hwmon_read_registers(sys.c_str(), 0, 0x2f, layout, what, regs);
    if (lowest_free_fd() != free_fd)
        __builtin_trap();

    // What the read must make of the tree, attribute by attribute in reading order.
    bool ok = tree_flaw == flaw::none;
    std::map<size_t, long> divisor; // by fan
    std::map<size_t, bool> divisor_published;
    for (const attribute &a : attrs) {
        const bool fan = a.kind == hwmon_kind::fan || a.kind == hwmon_kind::fan_div ||
                         a.kind == hwmon_kind::fan_min || a.kind == hwmon_kind::fan_alarm;
        if (a.is == attribute::absent) {
            ok = ok && fan && layout.fans[a.at].may_be_off;
            continue;
        }
        std::optional<long> value = a.is == attribute::bytes ? number_in(a.content) : std::nullopt;
        if (!value) {
            ok = false;
            continue;
        }
        const long v = *value;
        switch (a.kind) {
        case hwmon_kind::in: {
            const voltage_input &input = layout.voltages[a.at];
            const __int128 steps = (static_cast<__int128>(v) - input.offset_mv) / input.step_mv;
            ok = ok && v >= input.offset_mv && steps <= input.reading.max();
            if (ok && e == 0 && input.reading.value(regs) != steps)
                __builtin_trap();
            break;
        }
        case hwmon_kind::temp: {
            const long degrees = layout.fraction == temperature_fraction::away_from_zero
                                     ? v / 1000
                                     : floor_div(v, 1000);
            ok = ok && degrees >= -128 && degrees <= 127;
            if (ok && e == 0 &&
                static_cast<int8_t>(layout.temperatures[a.at].reading.value(regs)) != degrees)
                __builtin_trap();
            break;
        }
        case hwmon_kind::fan_div: {
            const bool power = v >= 1 && v <= 128 && (v & (v - 1)) == 0;
            ok = ok && power;
            divisor[a.at] = power ? v : 1;
            divisor_published[a.at] = true;
            break;
        }
        case hwmon_kind::fan:
        case hwmon_kind::fan_min: {
            const fan_input &f = layout.fans[a.at];
            if (f.divided && !divisor_published[a.at]) {
                ok = false;
                break;
            }
            const long d = f.divided ? divisor[a.at] : 1;
            const std::optional<long> count = expected_count(v, d, layout.no_reading_count - 1);
            ok = ok && count.has_value();
            if (!ok || e != 0)
                break;
            const long got = (a.kind == hwmon_kind::fan_min ? f.min : f.count).value(regs);
            if (got != *count || (f.divided && 1L << divisor_code(regs, f) != d))
                __builtin_trap();
            break;
        }
        case hwmon_kind::in_min:
        case hwmon_kind::in_max: {
            const voltage_input &input = layout.voltages[a.at];
            const register_field &limit = voltage_limit(input, a.kind);
            const long unit = limit_scale(limit) * input.step_mv;
            const __int128 steps = (static_cast<__int128>(v) - input.offset_mv) / unit;
            ok = ok && v >= input.offset_mv && steps <= limit.max() / limit_scale(limit);
            if (ok && e == 0 && limit.value(regs) != steps * limit_scale(limit))
                __builtin_trap();
            break;
        }
        case hwmon_kind::temp_max:
        case hwmon_kind::temp_max_hyst:
        case hwmon_kind::temp_warn:
        case hwmon_kind::temp_warn_hyst: {
            // Signed steps of 2^-low_bits degrees: whole degrees, or the W83792D's halves.
            const register_field &limit = temperature_limit(layout.temperatures[a.at], a.kind);
            const __int128 scaled = static_cast<__int128>(v) << limit.low_bits;
            const __int128 steps = layout.fraction == temperature_fraction::away_from_zero
                                       ? scaled / 1000
                                       : (scaled - ((scaled % 1000 + 1000) % 1000)) / 1000;
            const long bound = 128L << limit.low_bits;
            ok = ok && steps >= -bound && steps < bound;
            if (ok && e == 0 && temperature_steps(limit, regs) != steps)
                __builtin_trap();
            break;
        }
        case hwmon_kind::in_alarm:
        case hwmon_kind::temp_alarm:
        case hwmon_kind::fan_alarm:
        case hwmon_kind::intrusion: {
            ok = ok && (v == 0 || v == 1);
            const status_bit bit = bit_of(layout, a);
            if (ok && e == 0 && ((regs[bit.reg] >> bit.bit) & 1) != v)
                __builtin_trap();
            break;
        }
        }
    }
    if ((e == 0) != ok)
        __builtin_trap();
    if (e != 0)
        return 0;

    // No bit outside the chip's inputs.
    register_image covered{};
    auto field = [&](const register_field &f) {
        covered[f.reg] = 0xff;
        if (f.low_bits != 0 && !f.low_zero)
            covered[f.low_reg] |= static_cast<uint8_t>(((1u << f.low_bits) - 1) << f.low_shift);
    };
    for (const voltage_input &v : layout.voltages)
        field(v.reading);
    for (const temperature_input &t : layout.temperatures)
        field(t.reading);
    for (const fan_input &f : layout.fans) {
        field(f.count);
        if (f.divided)
            covered[f.divisor_reg] |= static_cast<uint8_t>(7u << f.divisor_shift);
    }
    // The limits and status bits, when read.
    auto bit = [&](status_bit b) { covered[b.reg] |= static_cast<uint8_t>(1u << b.bit); };
    if (what == chip_reading::with_limits) {
        for (const voltage_input &v : layout.voltages) {
            field(v.high_limit);
            field(v.low_limit);
            bit(v.alarm);
        }
        for (const temperature_input &t : layout.temperatures) {
            field(t.max);
            field(t.max_hyst);
            if (t.has_warn) {
                field(t.warn);
                field(t.warn_hyst);
            }
            bit(t.alarm);
        }
        for (const fan_input &f : layout.fans) {
            field(f.min);
            bit(f.alarm);
        }
        bit(layout.intrusion);
    }
    for (size_t r = 0; r < regs.size(); r++)
        if ((regs[r] & ~covered[r]) != 0)
            __builtin_trap();
    return 0;
}
