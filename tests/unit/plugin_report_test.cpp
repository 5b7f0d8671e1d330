// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The monitoring-plugin verdict and report over hand-filled records: each rule of the verdict
// at its edges, the limits that cannot be meant, -x, and the status line's perfdata.
#include "capture.h"
#include "output/plugin_report.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr sensor_label temps[] = {{0, "CPU1 Temperature"}, {4, "System Temperature"}};
constexpr sensor_label fans[] = {{0, "FAN1"}, {3, "FAN4"}};
constexpr sensor_label volts[] = {{0, "Vcore"}, {3, "-12V"}, {6, "Bob's +5V"}};

const board example = {"Supermicro", "X7TEST", chip_kind::w83793g, 0x2f, volts, temps, fans};

template <typename T> limit<T> at(T value) {
    return {true, value};
}

// Temperature cell CELL reading DEGREES, as the chip holds it and as the table shows it.
void set_temp(readings &s, unsigned cell, double degrees) {
    s.celsius[cell] = degrees;
    s.temps[cell] = static_cast<uint8_t>(static_cast<int>(degrees)); // the register's byte
}

// A board in order: every reading inside meant limits, no status bit set.
readings within() {
    readings s{};
    set_temp(s, 0, 40);
    s.limits.temps[0] = {at<double>(80), at<double>(75), at<double>(70), at<double>(65),
                         alarm_bit::clear};
    set_temp(s, 4, 30);
    s.limits.temps[4] = {at<double>(60), at<double>(55), {}, {}, alarm_bit::clear};
    s.fans[0] = 3000;
    s.limits.fans[0] = {at<uint32_t>(1200), alarm_bit::clear};
    s.fans[3] = 2000;
    s.limits.fans[3] = {{}, alarm_bit::clear};
    s.voltages[0] = 1.2;
    s.limits.voltages[0] = {at(1.0), at(1.5), alarm_bit::clear};
    s.voltages[3] = -12.1;
    s.limits.voltages[3] = {at(-13.2), at(-10.8), alarm_bit::clear};
    s.voltages[6] = 5.0;
    s.limits.voltages[6] = {at(4.5), at(5.5), alarm_bit::clear};
    s.limits.intrusion = alarm_bit::clear;
    return s;
}

struct verdict_case {
    const char *name;
    std::function<void(readings &)> change;
    plugin_state state;
    const char *problem; // the label of the one problem, "case" for the case-open bit, or ""
};

class Verdict : public ::testing::TestWithParam<verdict_case> {};

TEST_P(Verdict, FollowsTheChipsLimitsAndStatusBits) {
    const verdict_case &c = GetParam();
    readings s = within();
    c.change(s);
    const plugin_verdict v = judge(example, s, excluded_labels{});
    EXPECT_EQ(v.state, c.state);
    EXPECT_EQ(v.judged, 7u);
    if (*c.problem == '\0') {
        EXPECT_EQ(v.count, 0u);
        return;
    }
    ASSERT_EQ(v.count, 1u);
    const problem &p = v.list()[0];
    EXPECT_EQ(p.state, c.state);
    EXPECT_STREQ(p.cause == problem_cause::case_open ? "case" : p.reading.label, c.problem);
}

using ps = plugin_state;

INSTANTIATE_TEST_SUITE_P(
    Cases, Verdict,
    ::testing::Values(
        verdict_case{"within", [](readings &) {}, ps::ok, ""},
        // Temperatures: at the limit is over it; the warning level only below the limit.
        verdict_case{"temp_at_max", [](readings &s) { set_temp(s, 0, 80); }, ps::critical,
                     "CPU1 Temperature"},
        verdict_case{"temp_under_max_over_warn", [](readings &s) { set_temp(s, 0, 79); },
                     ps::warning, "CPU1 Temperature"},
        verdict_case{"temp_at_warn", [](readings &s) { set_temp(s, 0, 70); }, ps::warning,
                     "CPU1 Temperature"},
        verdict_case{"temp_under_warn", [](readings &s) { set_temp(s, 0, 69); }, ps::ok, ""},
        verdict_case{"temp_warn_without_meant_max",
                     [](readings &s) {
                         set_temp(s, 0, 72);
                         s.limits.temps[0].max = at<double>(0);
                     },
                     ps::warning, "CPU1 Temperature"},
        // A limit of 0 or of 127 and over is not meant, and neither is the bit set against it.
        verdict_case{"temp_max_0_and_its_bit",
                     [](readings &s) {
                         set_temp(s, 4, 45);
                         s.limits.temps[4].max = at<double>(0);
                         s.limits.temps[4].alarm = alarm_bit::set;
                     },
                     ps::ok, ""},
        verdict_case{"temp_max_127",
                     [](readings &s) {
                         set_temp(s, 4, 127);
                         s.limits.temps[4].max = at<double>(127);
                     },
                     ps::ok, ""},
        verdict_case{"temp_max_126",
                     [](readings &s) {
                         set_temp(s, 4, 125);
                         s.limits.temps[4].max = at<double>(124.5);
                     },
                     ps::critical, "System Temperature"},
        // Signed, as the chip keeps them: -10 C (0xF6, which the table shows as 246) is under
        // any limit; a half-degree limit is over a reading at its whole degree.
        verdict_case{"temp_below_zero",
                     [](readings &s) {
                         s.celsius[4] = -10;
                         s.temps[4] = 246;
                     },
                     ps::ok, ""},
        verdict_case{"temp_under_a_half_degree_limit",
                     [](readings &s) {
                         set_temp(s, 4, 30);
                         s.limits.temps[4].max = at<double>(30.5);
                     },
                     ps::ok, ""},
        // An input with no sensor attached (0x80, -128 C) never pages, nor does its bit; every
        // other reading does at or over a meant limit, the register's ceiling 127 C included.
        verdict_case{"temp_no_sensor_and_its_bit",
                     [](readings &s) {
                         set_temp(s, 4, -128);
                         s.limits.temps[4].max = at<double>(-128);
                         s.limits.temps[4].alarm = alarm_bit::set;
                     },
                     ps::ok, ""},
        verdict_case{"temp_126_and_its_bit",
                     [](readings &s) {
                         set_temp(s, 0, 126);
                         s.limits.temps[0].alarm = alarm_bit::set;
                     },
                     ps::critical, "CPU1 Temperature"},
        verdict_case{"temp_at_the_ceiling", [](readings &s) { set_temp(s, 4, 127); },
                     ps::critical, "System Temperature"},
        verdict_case{"temp_bit_with_meant_max",
                     [](readings &s) { s.limits.temps[4].alarm = alarm_bit::set; }, ps::critical,
                     "System Temperature"},
        verdict_case{"temp_bit_without_limits",
                     [](readings &s) {
                         s.limits.temps[4] = {};
                         s.limits.temps[4].alarm = alarm_bit::set;
                     },
                     ps::critical, "System Temperature"},
        // Fans: under the minimum, not at it. A fan without a minimum (a count of 0, which
        // every fan is slower than, or the no-reading count) has a bit that means nothing.
        verdict_case{"fan_under_min", [](readings &s) { s.fans[0] = 1199; }, ps::critical,
                     "FAN1"},
        verdict_case{"fan_stopped", [](readings &s) { s.fans[0] = 0; }, ps::critical, "FAN1"},
        verdict_case{"fan_at_min", [](readings &s) { s.fans[0] = 1200; }, ps::ok, ""},
        verdict_case{"fan_bit_without_min", [](readings &s) { s.limits.fans[3].alarm = alarm_bit::set; },
                     ps::ok, ""},
        verdict_case{"fan_bit_with_min", [](readings &s) { s.limits.fans[0].alarm = alarm_bit::set; },
                     ps::critical, "FAN1"},
        // Voltages: outside the window on either side, the -12 V rail's included; its edges in.
        verdict_case{"volt_over_max", [](readings &s) { s.voltages[0] = 1.51; }, ps::critical,
                     "Vcore"},
        verdict_case{"volt_under_min", [](readings &s) { s.voltages[0] = 0.99; }, ps::critical,
                     "Vcore"},
        verdict_case{"volt_at_edges",
                     [](readings &s) {
                         s.voltages[0] = 1.5;
                         s.voltages[6] = 4.5;
                     },
                     ps::ok, ""},
        verdict_case{"minus_12_too_high", [](readings &s) { s.voltages[3] = -10.7; },
                     ps::critical, "-12V"},
        verdict_case{"minus_12_too_low", [](readings &s) { s.voltages[3] = -13.3; },
                     ps::critical, "-12V"},
        // Equal limits (power-on registers) give no window, and the chip's bit means nothing.
        verdict_case{"volt_equal_limits_and_bit",
                     [](readings &s) {
                         s.voltages[0] = 3.0;
                         s.limits.voltages[0] = {at(0.0), at(0.0), alarm_bit::set};
                     },
                     ps::ok, ""},
        verdict_case{"volt_bit_with_window",
                     [](readings &s) { s.limits.voltages[6].alarm = alarm_bit::set; }, ps::critical,
                     "Bob's +5V"},
        // The X6DVA's first chip: register values with neither limits nor bits.
        verdict_case{"register_value_cell",
                     [](readings &s) {
                         s.voltages[0] = 200;
                         s.voltage_units[0] = voltage_unit::register_value;
                         s.limits.voltages[0] = {};
                     },
                     ps::ok, ""},
        verdict_case{"case_open", [](readings &s) { s.limits.intrusion = alarm_bit::set; },
                     ps::critical, "case"}),
    [](const auto &info) { return std::string(info.param.name); });

// The verdict on one reading as a truth table: where its value lies against its limits,
// whether those limits are meant, set aside as not meant, or absent, and its status bit, in
// every order; and whether the reading was compared with a meant limit at all, without which
// a board of this one reading has no verdict (UNKNOWN), its problem listed all the same. A
// temperature's limit 80 and warning level 70 (X7DBP, CPU1 Temperature), a fan's minimum
// 1200, a voltage's window 1.0 to 1.5 V.
struct truth_case {
    const char *name;
    reading_kind kind;
    double value;
    limit<double> low;  // a fan's minimum, a voltage's min
    limit<double> high; // a temperature's limit, a voltage's max
    limit<double> warn; // a temperature's warning level
    alarm_bit bit;
    plugin_state state;  // of the reading on its own
    problem_cause cause; // of the one problem, where the state is not OK
    bool compared;       // with a meant limit
};

void PrintTo(const truth_case &c, std::ostream *os) {
    *os << c.name;
}

class VerdictTruth : public ::testing::TestWithParam<truth_case> {};

constexpr sensor_label one_temp[] = {{2, "T"}};
constexpr sensor_label one_fan[] = {{5, "F"}};
constexpr sensor_label one_volt[] = {{7, "V"}};

TEST_P(VerdictTruth, OfOneReading) {
    const truth_case &c = GetParam();
    readings s{};
    const board b = {"Supermicro",
                     "ONE",
                     chip_kind::w83793g,
                     0x2f,
                     c.kind == reading_kind::voltage ? label_list(one_volt) : label_list{},
                     c.kind == reading_kind::temperature ? label_list(one_temp) : label_list{},
                     c.kind == reading_kind::fan ? label_list(one_fan) : label_list{}};
    switch (c.kind) {
    case reading_kind::temperature:
        set_temp(s, 2, c.value);
        s.limits.temps[2] = {c.high, {}, c.warn, {}, c.bit};
        break;
    case reading_kind::fan:
        s.fans[5] = static_cast<uint32_t>(c.value);
        s.limits.fans[5] = {{c.low.present, static_cast<uint32_t>(c.low.value)}, c.bit};
        break;
    case reading_kind::voltage:
        s.voltages[7] = c.value;
        s.limits.voltages[7] = {c.low, c.high, c.bit};
        break;
    }
    const plugin_verdict v = judge(b, s, excluded_labels{});
    EXPECT_EQ(v.state, c.compared ? c.state : plugin_state::unknown);
    EXPECT_EQ(v.judged, 1u);
    EXPECT_EQ(v.compared, c.compared ? 1u : 0u);
    ASSERT_EQ(v.count, c.state == plugin_state::ok ? 0u : 1u);
    if (v.count == 1) {
        EXPECT_EQ(v.list()[0].cause, c.cause);
    }
}

constexpr limit<double> none{};
constexpr limit<double> lim(double value) {
    return {true, value};
}
constexpr auto temperature = reading_kind::temperature;
constexpr auto fan = reading_kind::fan;
constexpr auto voltage = reading_kind::voltage;
constexpr auto clear = alarm_bit::clear;
constexpr auto set = alarm_bit::set;
constexpr auto no_bit = alarm_bit::absent;
constexpr auto ok = plugin_state::ok;
constexpr auto warning = plugin_state::warning;
constexpr auto critical = plugin_state::critical;
constexpr auto fine = problem_cause::alarm; // no problem: the cause is not looked at
constexpr bool judged = true;
constexpr bool unjudged = false;

INSTANTIATE_TEST_SUITE_P(
    Cases, VerdictTruth,
    ::testing::Values(
        // Temperatures: under the warning level, at it, between it and the limit, at the limit
        // and over it, each with the bit clear and set. The bit is CRITICAL at any value.
        truth_case{"t40_clear", temperature, 40, none, lim(80), lim(70), clear, ok, fine, judged},
        truth_case{"t69_set", temperature, 69, none, lim(80), lim(70), set, critical,
                   problem_cause::alarm, judged},
        truth_case{"t70_clear", temperature, 70, none, lim(80), lim(70), clear, warning,
                   problem_cause::over_warn, judged},
        truth_case{"t76_clear", temperature, 76, none, lim(80), lim(70), clear, warning,
                   problem_cause::over_warn, judged},
        truth_case{"t76_set", temperature, 76, none, lim(80), lim(70), set, critical,
                   problem_cause::alarm, judged},
        truth_case{"t76_no_bit", temperature, 76, none, lim(80), lim(70), no_bit, warning,
                   problem_cause::over_warn, judged},
        truth_case{"t80_clear", temperature, 80, none, lim(80), lim(70), clear, critical,
                   problem_cause::over_max, judged},
        truth_case{"t85_set", temperature, 85, none, lim(80), lim(70), set, critical,
                   problem_cause::over_max, judged},
        // A warning level without a limit: the bit still wins over it.
        truth_case{"t76_set_warn_only", temperature, 76, none, none, lim(70), set, critical,
                   problem_cause::alarm, judged},
        // A limit set aside as not meant (0, 127) takes the bit with it; the warning level
        // still warns.
        truth_case{"t76_set_max_0", temperature, 76, none, lim(0), lim(70), set, warning,
                   problem_cause::over_warn, judged},
        truth_case{"t40_set_max_127", temperature, 40, none, lim(127), lim(70), set, ok, fine,
                   judged},
        truth_case{"t127_set_max_127", temperature, 127, none, lim(127), lim(127), set, ok, fine,
                   unjudged},
        // A warning level set aside leaves the limit and the bit as they are.
        truth_case{"t76_clear_warn_0", temperature, 76, none, lim(80), lim(0), clear, ok, fine,
                   judged},
        truth_case{"t40_set_warn_127", temperature, 40, none, lim(80), lim(127), set, critical,
                   problem_cause::alarm, judged},
        truth_case{"t40_set_no_limits", temperature, 40, none, none, none, set, critical,
                   problem_cause::alarm, unjudged},
        truth_case{"t40_clear_no_limits", temperature, 40, none, none, none, clear, ok, fine,
                   unjudged},
        // The top of the register: 126 and 127 C (0x7F) are judged as any other value, the
        // limit meant or not, the bit clear or set. Only -128 C (0x80, no sensor) is not, nor
        // its bit; any other value below zero is.
        truth_case{"t126_clear", temperature, 126, none, lim(80), lim(70), clear, critical,
                   problem_cause::over_max, judged},
        truth_case{"t126_set", temperature, 126, none, lim(80), none, set, critical,
                   problem_cause::over_max, judged},
        truth_case{"t127_clear", temperature, 127, none, lim(80), none, clear, critical,
                   problem_cause::over_max, judged},
        truth_case{"t127_set", temperature, 127, none, lim(80), lim(70), set, critical,
                   problem_cause::over_max, judged},
        truth_case{"t127_no_bit", temperature, 127, none, lim(80), none, no_bit, critical,
                   problem_cause::over_max, judged},
        truth_case{"t127_clear_warn_only", temperature, 127, none, lim(0), lim(70), clear, warning,
                   problem_cause::over_warn, judged},
        truth_case{"t127_set_no_limits", temperature, 127, none, none, none, set, critical,
                   problem_cause::alarm, unjudged},
        truth_case{"t127_clear_max_127", temperature, 127, none, lim(127), none, clear, ok, fine,
                   unjudged},
        truth_case{"t126_set_max_0", temperature, 126, none, lim(0), none, set, ok, fine, unjudged},
        truth_case{"tminus128_set", temperature, -128, none, lim(80), lim(70), set, ok, fine,
                   unjudged},
        truth_case{"tminus128_clear", temperature, -128, none, lim(80), none, clear, ok, fine,
                   unjudged},
        truth_case{"tminus127_set", temperature, -127, none, lim(80), none, set, critical,
                   problem_cause::alarm, judged},
        truth_case{"tminus100_clear", temperature, -100, none, lim(80), none, clear, ok, fine,
                   judged},
        // Fans: over, at and under the minimum, with and without a minimum.
        truth_case{"f3000_clear", fan, 3000, lim(1200), none, none, clear, ok, fine, judged},
        truth_case{"f3000_set", fan, 3000, lim(1200), none, none, set, critical,
                   problem_cause::alarm, judged},
        truth_case{"f1200_clear", fan, 1200, lim(1200), none, none, clear, ok, fine, judged},
        truth_case{"f1199_clear", fan, 1199, lim(1200), none, none, clear, critical,
                   problem_cause::under_min, judged},
        truth_case{"f0_set", fan, 0, lim(1200), none, none, set, critical, problem_cause::under_min,
                   judged},
        // A fan without a minimum (count 0 or the no-reading count): its bit means nothing,
        // stopped or turning.
        truth_case{"f0_set_no_min", fan, 0, none, none, none, set, ok, fine, unjudged},
        truth_case{"f3000_set_no_min", fan, 3000, none, none, none, set, ok, fine, unjudged},
        truth_case{"f0_no_bit_no_min", fan, 0, none, none, none, no_bit, ok, fine, unjudged},
        // Voltages: inside, at the edges, outside on either side, with the bit clear and set;
        // a window that cannot be meant (equal limits, one limit alone) takes the bit with it.
        truth_case{"v1.2_clear", voltage, 1.2, lim(1.0), lim(1.5), none, clear, ok, fine, judged},
        truth_case{"v1.2_set", voltage, 1.2, lim(1.0), lim(1.5), none, set, critical,
                   problem_cause::alarm, judged},
        truth_case{"v1.5_clear", voltage, 1.5, lim(1.0), lim(1.5), none, clear, ok, fine, judged},
        truth_case{"v0.9_clear", voltage, 0.9, lim(1.0), lim(1.5), none, clear, critical,
                   problem_cause::outside_window, judged},
        truth_case{"v1.6_set", voltage, 1.6, lim(1.0), lim(1.5), none, set, critical,
                   problem_cause::outside_window, judged},
        // An inverted window (max under min: the high register under the low one) is none,
        // and its bit, which the chip then sets at every value, means nothing.
        truth_case{"v1.2_set_inverted", voltage, 1.2, lim(1.5), lim(1.0), none, set, ok, fine,
                   unjudged},
        truth_case{"v0.5_clear_inverted", voltage, 0.5, lim(1.5), lim(1.0), none, clear, ok, fine,
                   unjudged},
        truth_case{"vminus12_set_inverted", voltage, -12.0, lim(-10.8), lim(-13.2), none, set, ok,
                   fine, unjudged},
        truth_case{"v3_set_equal_limits", voltage, 3.0, lim(0.0), lim(0.0), none, set, ok, fine,
                   unjudged},
        truth_case{"v3_set_min_alone", voltage, 3.0, lim(1.0), none, none, set, ok, fine, unjudged},
        truth_case{"v3_set_no_limits", voltage, 3.0, none, none, none, set, critical,
                   problem_cause::alarm, unjudged}),
    by_case_name{});

TEST(Verdict, TheWorstStateWinsAndEveryProblemIsListedInReportOrder) {
    readings s = within();
    set_temp(s, 0, 72);   // warning
    s.voltages[3] = -9.0; // critical
    s.fans[3] = 0;        // no minimum, no bit: fine
    s.limits.intrusion = alarm_bit::set;
    const plugin_verdict v = judge(example, s, excluded_labels{});
    EXPECT_EQ(v.state, plugin_state::critical);
    ASSERT_EQ(v.count, 3u);
    EXPECT_EQ(v.list()[0].cause, problem_cause::over_warn);
    EXPECT_EQ(v.list()[1].cause, problem_cause::outside_window);
    EXPECT_EQ(v.list()[2].cause, problem_cause::case_open);
}

TEST(Verdict, ExcludedReadingsAreNotJudgedButTheCaseStillIs) {
    readings s = within();
    s.fans[0] = 0;
    s.limits.fans[0].alarm = alarm_bit::set; // a header without a fan
    excluded_labels x;
    ASSERT_TRUE(x.add("FAN1"));
    plugin_verdict v = judge(example, s, x);
    EXPECT_EQ(v.state, plugin_state::ok);
    EXPECT_EQ(v.judged, 6u);

    s.limits.intrusion = alarm_bit::set;
    ASSERT_TRUE(x.add("Vcore"));
    v = judge(example, s, x);
    EXPECT_EQ(v.state, plugin_state::critical);
    ASSERT_EQ(v.count, 1u);
    EXPECT_EQ(v.list()[0].cause, problem_cause::case_open);
}

// A run that compared no reading with a meant limit has no verdict, whatever the status bits
// and the case-open bit say: they are listed, and the state is UNKNOWN. One meant limit
// compared is enough for a verdict. On the example board: its limits all at 0 (a chip at
// power-on, or an all-zero image), every label left out, bits set only where no limit is
// meant, the case opened alone, and each of those with one meant limit back.
struct unjudged_case {
    const char *name;
    std::function<void(readings &, excluded_labels &)> change;
    plugin_state state;
    unsigned judged, compared;
    std::vector<problem_cause> problems;
};

void PrintTo(const unjudged_case &c, std::ostream *os) {
    *os << c.name;
}

class NothingJudged : public ::testing::TestWithParam<unjudged_case> {};

TEST_P(NothingJudged, IsUnknownWithItsProblemsListed) {
    const unjudged_case &c = GetParam();
    readings s{};
    excluded_labels x;
    c.change(s, x);
    const plugin_verdict v = judge(example, s, x);
    EXPECT_EQ(v.state, c.state);
    EXPECT_EQ(v.judged, c.judged);
    EXPECT_EQ(v.compared, c.compared);
    std::vector<problem_cause> causes;
    for (const problem &p : v.list())
        causes.push_back(p.cause);
    EXPECT_EQ(causes, c.problems);
}

// Every limit the chip holds at 0, every status bit clear: what an all-zero image gives.
void zero_limits(readings &s) {
    for (unsigned t : {0u, 4u})
        s.limits.temps[t] = {at<double>(0), at<double>(0), at<double>(0), at<double>(0),
                             alarm_bit::clear};
    for (unsigned f : {0u, 3u})
        s.limits.fans[f] = {{}, alarm_bit::clear};
    for (unsigned v : {0u, 3u, 6u})
        s.limits.voltages[v] = {at(0.0), at(0.0), alarm_bit::clear};
    s.limits.intrusion = alarm_bit::clear;
}

void every_bit(readings &s) {
    for (unsigned t : {0u, 4u})
        s.limits.temps[t].alarm = alarm_bit::set;
    for (unsigned f : {0u, 3u})
        s.limits.fans[f].alarm = alarm_bit::set;
    for (unsigned v : {0u, 3u, 6u})
        s.limits.voltages[v].alarm = alarm_bit::set;
}

void exclude_all(excluded_labels &x) {
    for (const char *l :
         {"CPU1 Temperature", "System Temperature", "FAN1", "FAN4", "Vcore", "-12V", "Bob's +5V"})
        EXPECT_TRUE(x.add(l));
}

using pc = problem_cause;
using none_out = excluded_labels;

INSTANTIATE_TEST_SUITE_P(
    Cases, NothingJudged,
    ::testing::Values(
        unjudged_case{
            "all_zero", [](readings &s, none_out &) { zero_limits(s); }, ps::unknown, 7, 0, {}},
        unjudged_case{"nothing_at_all", [](readings &, none_out &) {}, ps::unknown, 7, 0, {}},
        unjudged_case{"every_label_left_out",
                      [](readings &s, none_out &x) {
                          s = within();
                          exclude_all(x);
                      },
                      ps::unknown,
                      0,
                      0,
                      {}},
        unjudged_case{"every_label_left_out_case_open",
                      [](readings &s, none_out &x) {
                          s = within();
                          s.limits.intrusion = alarm_bit::set;
                          exclude_all(x);
                      },
                      ps::unknown,
                      0,
                      0,
                      {pc::case_open}},
        unjudged_case{"bits_against_limits_not_meant",
                      [](readings &s, none_out &) {
                          zero_limits(s);
                          set_temp(s, 0, 40);
                          s.fans[0] = 3000;
                          every_bit(s);
                      },
                      ps::unknown,
                      7,
                      0,
                      {}},
        // A bit that counts by itself (a reading without any limit) is listed, but no
        // reading was compared with a limit.
        unjudged_case{"bit_of_a_reading_without_limits",
                      [](readings &s, none_out &) {
                          zero_limits(s);
                          s.limits.temps[4] = {};
                          s.limits.temps[4].alarm = alarm_bit::set;
                      },
                      ps::unknown,
                      7,
                      0,
                      {pc::alarm}},
        unjudged_case{"case_open_alone",
                      [](readings &s, none_out &) {
                          zero_limits(s);
                          s.limits.intrusion = alarm_bit::set;
                      },
                      ps::unknown,
                      7,
                      0,
                      {pc::case_open}},
        // One meant limit gives a verdict, on the bits and the case too.
        unjudged_case{"one_meant_limit",
                      [](readings &s, none_out &) {
                          zero_limits(s);
                          s.fans[0] = 3000;
                          s.limits.fans[0].min = at<uint32_t>(1200);
                      },
                      ps::ok,
                      7,
                      1,
                      {}},
        unjudged_case{"one_meant_limit_case_open",
                      [](readings &s, none_out &) {
                          zero_limits(s);
                          s.voltages[6] = 5.0;
                          s.limits.voltages[6] = {at(4.5), at(5.5), alarm_bit::clear};
                          s.limits.intrusion = alarm_bit::set;
                      },
                      ps::critical,
                      7,
                      1,
                      {pc::case_open}},
        unjudged_case{"one_meant_warning_level_bit_elsewhere",
                      [](readings &s, none_out &) {
                          zero_limits(s);
                          set_temp(s, 0, 40);
                          s.limits.temps[0].warn = at<double>(70);
                          s.limits.temps[4] = {};
                          s.limits.temps[4].alarm = alarm_bit::set;
                      },
                      ps::critical,
                      7,
                      1,
                      {pc::alarm}},
        unjudged_case{"one_label_kept",
                      [](readings &s, none_out &x) {
                          s = within();
                          for (const char *l : {"CPU1 Temperature", "System Temperature", "FAN1",
                                                "FAN4", "Vcore", "-12V"})
                              EXPECT_TRUE(x.add(l));
                      },
                      ps::ok,
                      1,
                      1,
                      {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ExcludedLabels, KeepEachLabelOnceUpToOnePerCellOfTheRecord) {
    excluded_labels x;
    char names[max_readings + 1][8];
    for (size_t i = 0; i <= max_readings; i++)
        snprintf(names[i], sizeof names[i], "L%zu", i);
    for (size_t i = 0; i < max_readings; i++) {
        ASSERT_TRUE(x.add(names[i]));
        ASSERT_TRUE(x.add(names[i])); // again: nothing new
    }
    EXPECT_EQ(x.list().size(), max_readings);
    EXPECT_FALSE(x.add(names[max_readings]));
    EXPECT_TRUE(x.contains("L0"));
    EXPECT_FALSE(x.contains("L"));
}

std::string report(const readings &s, const excluded_labels &x, plugin_state *state = nullptr) {
    return capture_stdout([&] {
        plugin_state st = write_plugin_report(example, s, x, stdout);
        if (state)
            *state = st;
    });
}

// Perfdata: every label quoted (a quote in it doubled), the value as -J prints it, no unit;
// temperatures warn;crit, voltages crit min:max (negative on the -12 V rail), fans crit min:.
TEST(PluginReport, StatusLineWithPerfdataOfEveryReading) {
    plugin_state state{};
    EXPECT_EQ(report(within(), excluded_labels{}, &state),
              "VANTOREL OK - X7TEST: 7 readings within the board's limits | "
              "'CPU1 Temperature'=40;70;80 'System Temperature'=30;;60 'FAN1'=3000;;1200: "
              "'FAN4'=2000 'Vcore'=1.200;;1.000:1.500 '-12V'=-12.100;;-13.200:-10.800 "
              "'Bob''s +5V'=5.000;;4.500:5.500\n");
    EXPECT_EQ(state, plugin_state::ok);
}

TEST(PluginReport, OnlyMeantLimitsBecomeThresholds) {
    readings s = within();
    s.limits.temps[0].max = at<double>(0);   // warn alone
    s.limits.temps[4].max = at<double>(255); // nothing
    s.limits.voltages[0] = {at(0.0), at(0.0), alarm_bit::clear};
    s.limits.voltages[3] = {};
    EXPECT_EQ(report(s, excluded_labels{}),
              "VANTOREL OK - X7TEST: 7 readings within the board's limits | "
              "'CPU1 Temperature'=40;70 'System Temperature'=30 'FAN1'=3000;;1200: "
              "'FAN4'=2000 'Vcore'=1.200 '-12V'=-12.100 'Bob''s +5V'=5.000;;4.500:5.500\n");
}

TEST(PluginReport, NamesWhatIsWrongOnTheStatusLineAndALineForEach) {
    readings s = within();
    set_temp(s, 0, 81);
    set_temp(s, 4, 55);
    s.limits.temps[4].warn = at<double>(50);
    s.fans[0] = 0;
    s.limits.fans[3] = {at<uint32_t>(1000), alarm_bit::set};
    s.voltages[3] = -9.5;
    s.limits.intrusion = alarm_bit::set;
    excluded_labels x;
    ASSERT_TRUE(x.add("Vcore"));
    ASSERT_TRUE(x.add("Bob's +5V"));
    plugin_state state{};
    EXPECT_EQ(report(s, x, &state),
              "VANTOREL CRITICAL - X7TEST: the case has been opened, 5 of 5 readings out of the "
              "board's limits (CPU1 Temperature, System Temperature, FAN1, FAN4, -12V) | "
              "'CPU1 Temperature'=81;70;80 'System Temperature'=55;50;60 'FAN1'=0;;1200: "
              "'FAN4'=2000;;1000: '-12V'=-9.500;;-13.200:-10.800\n"
              "CPU1 Temperature: 81 C, at or over its limit of 80 C\n"
              "System Temperature: 55 C, at or over its warning limit of 50 C\n"
              "FAN1: 0 RPM, under its minimum of 1200 RPM\n"
              "FAN4: 2000 RPM, the chip's alarm for it is set\n"
              "-12V: -9.500 V, outside its limits -13.200 to -10.800 V\n"
              "the case has been opened: the chip's case-open bit is set\n");
    EXPECT_EQ(state, plugin_state::critical);
}

// A message as the run hands it to the report: its text, without a terminator.
std::span<const char> text(const char *message) {
    return {message, strlen(message)};
}

TEST(PluginReport, WithEveryReadingLeftOutThereIsNoPerfdataAndNoVerdict) {
    excluded_labels x;
    exclude_all(x);
    plugin_state state{};
    EXPECT_EQ(report(within(), x, &state),
              "VANTOREL UNKNOWN - X7TEST: no reading could be judged: -x leaves out every "
              "reading\n");
    EXPECT_EQ(state, plugin_state::unknown);
}

// Without a meant limit the status line says so, with the perfdata of every reading (and no
// thresholds) and a line for each problem all the same.
TEST(PluginReport, WithoutMeantLimitsTheStatusLineSaysNothingCouldBeJudged) {
    readings s = within();
    zero_limits(s);
    s.limits.temps[4] = {};
    s.limits.temps[4].alarm = alarm_bit::set;
    s.limits.intrusion = alarm_bit::set;
    plugin_state state{};
    EXPECT_EQ(report(s, excluded_labels{}, &state),
              "VANTOREL UNKNOWN - X7TEST: the case has been opened, no reading could be judged: "
              "the chip holds no meant limit for any of its 7 readings | "
              "'CPU1 Temperature'=40 'System Temperature'=30 'FAN1'=3000 'FAN4'=2000 "
              "'Vcore'=1.200 '-12V'=-12.100 'Bob''s +5V'=5.000\n"
              "System Temperature: 30 C, the chip's alarm for it is set\n"
              "the case has been opened: the chip's case-open bit is set\n");
    EXPECT_EQ(state, plugin_state::unknown);
}

// A daemon takes the first '|' of any line for the start of the perfdata, and a ';' ends a
// perfdata field: in text from elsewhere (board strings, labels, messages) each becomes '_'.
TEST(PluginReport, TextFromElsewhereCarriesNoPerfdataCharacters) {
    constexpr sensor_label odd[] = {{0, "T|1;"}};
    const board b = {"Supermicro", "X|Y;Z", chip_kind::w83793g, 0x2f, {}, odd, {}};
    readings s{};
    set_temp(s, 0, 90);
    s.limits.temps[0].max = at<double>(80);
    EXPECT_EQ(capture_stdout([&] { write_plugin_report(b, s, excluded_labels{}, stdout); }),
              "VANTOREL CRITICAL - X_Y_Z: 1 of 1 readings out of the board's limits (T_1_) | "
              "'T_1_'=90;;80\n"
              "T_1_: 90 C, at or over its limit of 80 C\n");
    const std::span<const char> said[] = {text("-x a|b;c: no such reading"),
                                          text("open() on /x|y failed")};
    EXPECT_EQ(capture_stdout([&] { write_plugin_unknown(said, stdout); }),
              "VANTOREL UNKNOWN - -x a_b_c: no such reading\nopen() on /x_y failed\n");
}

TEST(PluginReport, UnknownPutsTheFirstMessageOnTheStatusLineAndEachOnALineOfItsOwn) {
    const std::span<const char> said[] = {text("one"), text("two\nlines")};
    EXPECT_EQ(capture_stdout([&] { write_plugin_unknown(said, stdout); }),
              "VANTOREL UNKNOWN - one\ntwo lines\n");
    EXPECT_EQ(capture_stdout([] { write_plugin_unknown({}, stdout); }),
              "VANTOREL UNKNOWN - the board could not be read\n");
}

} // namespace
