// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The report forms, byte for byte.
#include "capture.h"
#include "output/numbers.h"
#include "output/report_forms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <float.h>
#include <stdio.h>
#include <string>

namespace {

constexpr sensor_label temps[] = {{0, "CPU Temperature"}, {4, "System Temperature"}};
constexpr sensor_label fans[] = {{0, "FAN1"}, {1, "FAN2"}};
constexpr sensor_label volts[] = {{0, "Vcore"}, {3, "-12V"}};
constexpr label_list none{};

const board example = {"Supermicro", "TEST", chip_kind::w83793g, 0x2f, volts, temps, fans};
const board empty = {"Supermicro", "EMPTY", chip_kind::x6dva, SLAVE_CUSTOM, none, none, none};

// Temperature cell CELL reading DEGREES, in the table's form and as the chip holds it.
void set_temp(readings &s, unsigned cell, unsigned degrees) {
    s.temps[cell] = degrees;
    s.celsius[cell] = degrees;
}

readings example_readings() {
    readings s{};
    set_temp(s, 0, 38);
    set_temp(s, 4, 31);
    s.fans[0] = 3000;
    s.fans[1] = 0;
    s.voltages[0] = 1.202;
    s.voltages[3] = -11.904;
    set_temp(s, 1, 99); // cells no entry names are never printed
    s.fans[2] = 99;
    return s;
}

// The worked example's board with limits: one cell of each case. A W83793G-like temperature
// with both levels over its limit, a W83792D-like one with one level, and one from a chip
// that has no limits; fans with a minimum, under it, and without one; voltages with a
// window, a negative rail out of its window, and a plain register value. The case was opened.
constexpr sensor_label limited_temps[] = {
    {0, "CPU Temperature"}, {1, "Sys Temp"}, {4, "System Temperature"}};
constexpr sensor_label limited_fans[] = {{0, "FAN1"}, {1, "FAN2"}, {2, "FAN3"}};
constexpr sensor_label limited_volts[] = {{0, "Vcore"}, {3, "-12V"}, {5, "+12V"}};

const board limited = {"Supermicro",  "LIMITS",      chip_kind::w83793g, 0x2f,
                       limited_volts, limited_temps, limited_fans};

readings limited_readings() {
    readings s{};
    set_temp(s, 0, 80);
    s.limits.temps[0] = {{true, 75}, {true, 70}, {true, 65}, {true, 60}, alarm_bit::set};
    set_temp(s, 1, 40);
    s.limits.temps[1] = {{true, 60}, {true, 55}, {}, {}, alarm_bit::clear};
    set_temp(s, 4, 31);
    s.fans[0] = 3000;
    s.limits.fans[0] = {{true, 1500}, alarm_bit::clear};
    s.fans[1] = 0;
    s.limits.fans[1] = {{true, 712}, alarm_bit::set};
    s.fans[2] = 2250;
    s.limits.fans[2] = {{}, alarm_bit::clear};
    s.voltages[0] = 1.202;
    s.limits.voltages[0] = {{true, 1.1}, {true, 1.3}, alarm_bit::clear};
    s.voltages[3] = -11.904;
    s.limits.voltages[3] = {{true, -13.2}, {true, -10.8}, alarm_bit::set};
    s.voltages[5] = 93;
    s.voltage_units[5] = voltage_unit::register_value;
    s.limits.intrusion = alarm_bit::set;
    return s;
}

const std::string up_family =
    "# HELP vantorel_up Whether the last reading of the board succeeded (1) or failed (0).\n"
    "# TYPE vantorel_up gauge\n";
const std::string info_family = "# HELP vantorel_board_info The board read: its SMBIOS maker "
                                "and product, and its monitoring chip.\n"
                                "# TYPE vantorel_board_info gauge\n";
const std::string temp_family = "# HELP vantorel_temperature_celsius Temperature read by "
                                "vantorel.\n# TYPE vantorel_temperature_celsius gauge\n";
const std::string fan_family = "# HELP vantorel_fan_rpm Fan speed read by vantorel (0: no "
                               "reading).\n# TYPE vantorel_fan_rpm gauge\n";
const std::string volt_family = "# HELP vantorel_voltage_volts Voltage read by vantorel.\n"
                                "# TYPE vantorel_voltage_volts gauge\n";

// The families of the limits that the exposition carries whatever -a says.
std::string family_lines(const std::string &name, const std::string &help) {
    return "# HELP " + name + " " + help + "\n# TYPE " + name + " gauge\n";
}

// One form: the function its trace names, its text for the worked example, for a board whose
// three lists are empty, and, with -a, for the board with limits and for the empty board.
struct form_case {
    const char *name;
    report_form form;
    std::string example;
    std::string empty;
    std::string limited;
    std::string empty_limited;
};

class Forms : public ::testing::TestWithParam<form_case> {};

TEST_P(Forms, PrintTheWorkedExampleExactly) {
    const form_case &c = GetParam();
    readings s = example_readings();
    EXPECT_EQ(capture_stdout([&] { write_form(c.form, example, s, stdout); }), c.example);
}

TEST_P(Forms, PrintNoEntryLinesForEmptyLists) {
    const form_case &c = GetParam();
    readings s{};
    EXPECT_EQ(capture_stdout([&] { write_form(c.form, empty, s, stdout); }), c.empty);
    EXPECT_EQ(capture_stdout([&] { write_form(c.form, empty, s, stdout, with_limits::yes); }),
              c.empty_limited);
}

TEST_P(Forms, PrintEachLimitAndAlarmWithA) {
    const form_case &c = GetParam();
    readings s = limited_readings();
    EXPECT_EQ(capture_stdout([&] { write_form(c.form, limited, s, stdout, with_limits::yes); }),
              c.limited);
}

// Without -a the plain, CSV and JSON forms are those of the readings alone, whatever the
// record holds beside them; the exposition has the limits either way.
TEST_P(Forms, ShowTheLimitsOnlyWithAOrInTheExposition) {
    const form_case &c = GetParam();
    readings s = limited_readings();
    readings bare = s;
    bare.limits = {};
    const std::string without_a = capture_stdout([&] { write_form(c.form, limited, s, stdout); });
    if (c.form == report_form::prometheus)
        EXPECT_EQ(without_a, c.limited);
    else
        EXPECT_EQ(without_a, capture_stdout([&] { write_form(c.form, limited, bare, stdout); }));
}

// The trace frames the report: the entry line right before it, the return line right after.
TEST_P(Forms, TraceTheirEntryAndReturnAroundTheReport) {
    const form_case &c = GetParam();
    readings s = example_readings();
    char entry[128];
    snprintf(entry, sizeof entry, "==> %s(b = %p, s = %p)\n", c.name,
             static_cast<const void *>(&example), static_cast<const void *>(&s));
    EXPECT_EQ(capture_traced(true, [&] { write_form(c.form, example, s, stdout); }),
              entry + c.example + "==> " + c.name + "() returning\n");
}

INSTANTIATE_TEST_SUITE_P(
    Each, Forms,
    ::testing::Values(
        form_case{"sensors_output", report_form::plain,
                  "CPU Temperature            38 C\n"
                  "System Temperature         31 C\n"
                  "FAN1                     3000 RPM\n"
                  "FAN2                        0 RPM\n"
                  "Vcore                   1.202 V\n"
                  "-12V                  -11.904 V\n",
                  "",
                  // The limits column starts after the widest unit, the ALARM marks line up
                  // after the widest limits, and no line ends in a blank.
                  "CPU Temperature            80 C    (max =  75 C, hyst =  70 C; warn =  65 C, "
                  "hyst =  60 C)  ALARM\n"
                  "Sys Temp                   40 C    (max =  60 C, hyst =  55 C)\n"
                  "System Temperature         31 C\n"
                  "FAN1                     3000 RPM  (min =  1500 RPM)\n"
                  "FAN2                        0 RPM  (min =   712 RPM)                        "
                  "                ALARM\n"
                  "FAN3                     2250 RPM\n"
                  "Vcore                   1.202 V    (min =   1.100 V, max =   1.300 V)\n"
                  "-12V                  -11.904 V    (min = -13.200 V, max = -10.800 V)       "
                  "                ALARM\n"
                  "+12V                   93.000 V\n"
                  "Chassis intrusion         yes                                             "
                  "                 ALARM\n",
                  ""},
        form_case{"sensors_output_delim", report_form::delimited,
                  "CPU Temperature,38,C\n"
                  "System Temperature,31,C\n"
                  "FAN1,3000,RPM\n"
                  "FAN2,0,RPM\n"
                  "Vcore,1.202,V\n"
                  "-12V,-11.904,V\n",
                  "",
                  // label,value,unit,min,max,alarm,max_hyst,warn,warn_hyst
                  "CPU Temperature,80,C,,75,1,70,65,60\n"
                  "Sys Temp,40,C,,60,0,55,,\n"
                  "System Temperature,31,C,,,,,,\n"
                  "FAN1,3000,RPM,1500,,0,,,\n"
                  "FAN2,0,RPM,712,,1,,,\n"
                  "FAN3,2250,RPM,,,0,,,\n"
                  "Vcore,1.202,V,1.100,1.300,0,,,\n"
                  "-12V,-11.904,V,-13.200,-10.800,1,,,\n"
                  "+12V,93.000,V,,,,,,\n"
                  "Chassis intrusion,1,,,,1,,,\n",
                  ""},
        form_case{"sensors_output_json", report_form::json,
                  "{\n"
                  "\t\"temps\": {\n"
                  "\t\t\"CPU Temperature\": \"38 C\",\n"
                  "\t\t\"System Temperature\": \"31 C\"\n"
                  "\t},\n"
                  "\t\"fans\": {\n"
                  "\t\t\"FAN1\": \"3000 RPM\",\n"
                  "\t\t\"FAN2\": \"0 RPM\"\n"
                  "\t},\n"
                  "\t\"voltages\": {\n"
                  "\t\t\"Vcore\": \"1.202 V\",\n"
                  "\t\t\"-12V\": \"-11.904 V\"\n"
                  "\t}\n"
                  "}\n",
                  "{\n\t\"temps\": {\n\t},\n\t\"fans\": {\n\t},\n\t\"voltages\": {\n\t}\n}\n",
                  "{\n"
                  "\t\"temps\": {\n"
                  "\t\t\"CPU Temperature\": \"80 C\",\n"
                  "\t\t\"Sys Temp\": \"40 C\",\n"
                  "\t\t\"System Temperature\": \"31 C\"\n"
                  "\t},\n"
                  "\t\"fans\": {\n"
                  "\t\t\"FAN1\": \"3000 RPM\",\n"
                  "\t\t\"FAN2\": \"0 RPM\",\n"
                  "\t\t\"FAN3\": \"2250 RPM\"\n"
                  "\t},\n"
                  "\t\"voltages\": {\n"
                  "\t\t\"Vcore\": \"1.202 V\",\n"
                  "\t\t\"-12V\": \"-11.904 V\",\n"
                  "\t\t\"+12V\": \"93.000 V\"\n"
                  "\t},\n"
                  "\t\"temp_limits\": {\n"
                  "\t\t\"CPU Temperature\": {\"max\": \"75 C\", \"max_hyst\": \"70 C\", "
                  "\"warn\": \"65 C\", \"warn_hyst\": \"60 C\"},\n"
                  "\t\t\"Sys Temp\": {\"max\": \"60 C\", \"max_hyst\": \"55 C\"},\n"
                  "\t\t\"System Temperature\": {}\n"
                  "\t},\n"
                  "\t\"fan_limits\": {\n"
                  "\t\t\"FAN1\": {\"min\": \"1500 RPM\"},\n"
                  "\t\t\"FAN2\": {\"min\": \"712 RPM\"},\n"
                  "\t\t\"FAN3\": {}\n"
                  "\t},\n"
                  "\t\"voltage_limits\": {\n"
                  "\t\t\"Vcore\": {\"min\": \"1.100 V\", \"max\": \"1.300 V\"},\n"
                  "\t\t\"-12V\": {\"min\": \"-13.200 V\", \"max\": \"-10.800 V\"},\n"
                  "\t\t\"+12V\": {}\n"
                  "\t},\n"
                  "\t\"temp_alarms\": {\n"
                  "\t\t\"CPU Temperature\": true,\n"
                  "\t\t\"Sys Temp\": false,\n"
                  "\t\t\"System Temperature\": null\n"
                  "\t},\n"
                  "\t\"fan_alarms\": {\n"
                  "\t\t\"FAN1\": false,\n"
                  "\t\t\"FAN2\": true,\n"
                  "\t\t\"FAN3\": false\n"
                  "\t},\n"
                  "\t\"voltage_alarms\": {\n"
                  "\t\t\"Vcore\": false,\n"
                  "\t\t\"-12V\": true,\n"
                  "\t\t\"+12V\": null\n"
                  "\t},\n"
                  "\t\"intrusion\": true\n"
                  "}\n",
                  // Every member is there, empty; intrusion only where the chip has the bit.
                  "{\n\t\"temps\": {\n\t},\n\t\"fans\": {\n\t},\n\t\"voltages\": {\n\t},\n"
                  "\t\"temp_limits\": {\n\t},\n\t\"fan_limits\": {\n\t},\n"
                  "\t\"voltage_limits\": {\n\t},\n\t\"temp_alarms\": {\n\t},\n"
                  "\t\"fan_alarms\": {\n\t},\n\t\"voltage_alarms\": {\n\t}\n}\n"},
        // The chip's name comes from the board row.
        form_case{
            "sensors_output_prom", report_form::prometheus,
            info_family +
                "vantorel_board_info{maker=\"Supermicro\",product=\"TEST\",chip=\"Winbond "
                "W83793G\"} 1\n" +
                temp_family +
                "vantorel_temperature_celsius{sensor=\"CPU Temperature\"} 38\n"
                "vantorel_temperature_celsius{sensor=\"System Temperature\"} 31\n" +
                fan_family +
                "vantorel_fan_rpm{sensor=\"FAN1\"} 3000\n"
                "vantorel_fan_rpm{sensor=\"FAN2\"} 0\n" +
                volt_family +
                "vantorel_voltage_volts{sensor=\"Vcore\"} 1.202\n"
                "vantorel_voltage_volts{sensor=\"-12V\"} -11.904\n" +
                up_family + "vantorel_up 1\n",
            info_family +
                "vantorel_board_info{maker=\"Supermicro\",product=\"EMPTY\","
                "chip=\"X6DVA/X6DVL/X6DAL\"} 1\n" +
                temp_family + fan_family + volt_family + up_family + "vantorel_up 1\n",
            // A register value leaves the volts for a family of its own, and so do its
            // limits, had it any; each limit family has the labels that have the limit.
            info_family +
                "vantorel_board_info{maker=\"Supermicro\",product=\"LIMITS\",chip=\"Winbond "
                "W83793G\"} 1\n" +
                temp_family +
                "vantorel_temperature_celsius{sensor=\"CPU Temperature\"} 80\n"
                "vantorel_temperature_celsius{sensor=\"Sys Temp\"} 40\n"
                "vantorel_temperature_celsius{sensor=\"System Temperature\"} 31\n" +
                fan_family +
                "vantorel_fan_rpm{sensor=\"FAN1\"} 3000\n"
                "vantorel_fan_rpm{sensor=\"FAN2\"} 0\n"
                "vantorel_fan_rpm{sensor=\"FAN3\"} 2250\n" +
                volt_family +
                "vantorel_voltage_volts{sensor=\"Vcore\"} 1.202\n"
                "vantorel_voltage_volts{sensor=\"-12V\"} -11.904\n" +
                family_lines("vantorel_register_value",
                             "Plain register value of a voltage input that the board's "
                             "chip stores without a scale (the X6DVA's chip at 0x2c): not "
                             "volts.") +
                "vantorel_register_value{sensor=\"+12V\"} 93.000\n" +
                family_lines("vantorel_temperature_max_celsius",
                             "The chip's temperature limit (on the W83793G its critical "
                             "level).") +
                "vantorel_temperature_max_celsius{sensor=\"CPU Temperature\"} 75\n"
                "vantorel_temperature_max_celsius{sensor=\"Sys Temp\"} 60\n" +
                family_lines("vantorel_temperature_max_hyst_celsius",
                             "Hysteresis of the temperature limit: where the chip clears "
                             "its alarm.") +
                "vantorel_temperature_max_hyst_celsius{sensor=\"CPU Temperature\"} 70\n"
                "vantorel_temperature_max_hyst_celsius{sensor=\"Sys Temp\"} 55\n" +
                family_lines("vantorel_temperature_warn_celsius",
                             "The chip's warning level for the temperature (W83793G).") +
                "vantorel_temperature_warn_celsius{sensor=\"CPU Temperature\"} 65\n" +
                family_lines("vantorel_temperature_warn_hyst_celsius",
                             "Hysteresis of the temperature warning level (W83793G).") +
                "vantorel_temperature_warn_hyst_celsius{sensor=\"CPU Temperature\"} 60\n" +
                family_lines("vantorel_fan_min_rpm", "The chip's minimum fan speed.") +
                "vantorel_fan_min_rpm{sensor=\"FAN1\"} 1500\n"
                "vantorel_fan_min_rpm{sensor=\"FAN2\"} 712\n" +
                family_lines("vantorel_voltage_min_volts", "The chip's lower voltage limit.") +
                "vantorel_voltage_min_volts{sensor=\"Vcore\"} 1.100\n"
                "vantorel_voltage_min_volts{sensor=\"-12V\"} -13.200\n" +
                family_lines("vantorel_voltage_max_volts", "The chip's upper voltage limit.") +
                "vantorel_voltage_max_volts{sensor=\"Vcore\"} 1.300\n"
                "vantorel_voltage_max_volts{sensor=\"-12V\"} -10.800\n" +
                family_lines("vantorel_temperature_alarm",
                             "The chip's status bit for the temperature (1: alarm).") +
                "vantorel_temperature_alarm{sensor=\"CPU Temperature\"} 1\n"
                "vantorel_temperature_alarm{sensor=\"Sys Temp\"} 0\n" +
                family_lines("vantorel_fan_alarm",
                             "The chip's status bit for the fan (1: alarm).") +
                "vantorel_fan_alarm{sensor=\"FAN1\"} 0\n"
                "vantorel_fan_alarm{sensor=\"FAN2\"} 1\n"
                "vantorel_fan_alarm{sensor=\"FAN3\"} 0\n" +
                family_lines("vantorel_voltage_alarm",
                             "The chip's status bit for the voltage (1: alarm).") +
                "vantorel_voltage_alarm{sensor=\"Vcore\"} 0\n"
                "vantorel_voltage_alarm{sensor=\"-12V\"} 1\n" +
                family_lines("vantorel_intrusion_alarm",
                             "The chip's latched case-open bit (1: the chassis has been "
                             "opened).") +
                "vantorel_intrusion_alarm 1\n" + up_family + "vantorel_up 1\n",
            // A family that no label has a sample of is left out, HELP and TYPE too.
            info_family +
                "vantorel_board_info{maker=\"Supermicro\",product=\"EMPTY\","
                "chip=\"X6DVA/X6DVL/X6DAL\"} 1\n" +
                temp_family + fan_family + volt_family + up_family + "vantorel_up 1\n"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Report, FailedExpositionIsUpZeroAlone) {
    EXPECT_EQ(capture_stdout([] { write_prometheus_failure(); }), up_family + "vantorel_up 0\n");
}

TEST(Report, PrometheusLabelValuesAreEscaped) {
    constexpr sensor_label odd[] = {{0, "back\\slash \"quoted\"\nnext line"}};
    const board b = {"Maker \"M\"", "P\\1\n2", chip_kind::w83793g, 0x2f, none, odd, none};
    readings s{};
    set_temp(s, 0, 40);
    std::string out = capture_stdout([&] { write_prometheus_exposition(b, s); });
    EXPECT_NE(out.find("vantorel_board_info{maker=\"Maker \\\"M\\\"\",product=\"P\\\\1\\n2\","
                       "chip=\"Winbond W83793G\"} 1\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("vantorel_temperature_celsius{sensor=\"back\\\\slash \\\"quoted\\\"\\nnext "
                       "line\"} 40\n"),
              std::string::npos)
        << out;
}

TEST(Report, WidthsAreMinimumsAndNegativeZeroKeepsItsSign) {
    constexpr sensor_label longv[] = {{0, "A label of 21 letters"}, {1, "Z"}};
    const board b = {"Supermicro", "WIDE", chip_kind::w83793g, 0x2f, longv, none, fans};
    readings s{};
    s.fans[0] = 123456789;
    s.voltages[0] = 2.0;
    s.voltages[1] = -0.0;
    ASSERT_TRUE(std::signbit(s.voltages[1]));
    EXPECT_EQ(capture_stdout([&] { write_plain_report(b, s); }),
              "FAN1                 123456789 RPM\n"
              "FAN2                        0 RPM\n"
              "A label of 21 letters    2.000 V\n"
              "Z                      -0.000 V\n");
    EXPECT_EQ(capture_stdout([&] { write_csv_report(b, s); }),
              "FAN1,123456789,RPM\nFAN2,0,RPM\nA label of 21 letters,2.000,V\nZ,-0.000,V\n");
}

// Whole numbers as the record keeps them, to the last digit of 64 bits; volts with three
// decimals, negative zero with its sign; degrees without trailing zeros; widths are minimums.
TEST(Numbers, AreWrittenAsTheirKindSays) {
    struct number_case {
        quantity q;
        int width;
        const char *text;
    } cases[] = {
        {whole_quantity(38), 0, "38"},
        {whole_quantity(38), 8, "      38"},
        {whole_quantity(UINT64_MAX), 8, "18446744073709551615"},
        {real_quantity(-11.904), 8, " -11.904"},
        {real_quantity(-0.0), 0, "-0.000"},
        {degrees_quantity(-10), 0, "-10"},
        {degrees_quantity(30.5), 6, "  30.5"},
        {degrees_quantity(0.25), 0, "0.25"},
    };
    for (const number_case &c : cases) {
        char buf[64];
        format_number(buf, sizeof buf, c.q, c.width);
        EXPECT_STREQ(buf, c.text);
        EXPECT_EQ(capture_stdout([&] { print_number(stdout, c.q, c.width); }), c.text);
    }
    // The longest number a double makes is written whole, never cut.
    char longest[400];
    snprintf(longest, sizeof longest, "%.3f", -DBL_MAX);
    EXPECT_EQ(capture_stdout([] { print_number(stdout, real_quantity(-DBL_MAX)); }), longest);
}

} // namespace
