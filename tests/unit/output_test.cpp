// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The report forms, byte for byte.
#include "capture.h"
#include "output/report_forms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr sensor_label temps[] = {{0, "CPU Temperature"}, {4, "System Temperature"}};
constexpr sensor_label fans[] = {{0, "FAN1"}, {1, "FAN2"}};
constexpr sensor_label volts[] = {{0, "Vcore"}, {3, "-12V"}};
constexpr label_list none{};

const board example = {"Supermicro", "TEST", chip_kind::w83793g, 0x2f, volts, temps, fans};
const board empty = {"Supermicro", "EMPTY", chip_kind::x6dva, SLAVE_CUSTOM, none, none, none};

readings example_readings() {
    readings s{};
    s.temps[0] = 38;
    s.temps[4] = 31;
    s.fans[0] = 3000;
    s.fans[1] = 0;
    s.voltages[0] = 1.202;
    s.voltages[3] = -11.904;
    s.temps[1] = 99; // cells no entry names are never printed
    s.fans[2] = 99;
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

// One form: the function its trace names, its text for the worked example, and for a board
// whose three lists are empty.
struct form_case {
    const char *name;
    report_form form;
    std::string example;
    std::string empty;
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
                  ""},
        form_case{"sensors_output_delim", report_form::delimited,
                  "CPU Temperature,38,C\n"
                  "System Temperature,31,C\n"
                  "FAN1,3000,RPM\n"
                  "FAN2,0,RPM\n"
                  "Vcore,1.202,V\n"
                  "-12V,-11.904,V\n",
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
                  "{\n\t\"temps\": {\n\t},\n\t\"fans\": {\n\t},\n\t\"voltages\": {\n\t}\n}\n"},
        // The chip's name comes from the board row.
        form_case{"sensors_output_prom", report_form::prometheus,
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
                      temp_family + fan_family + volt_family + up_family + "vantorel_up 1\n"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Report, FailedExpositionIsUpZeroAlone) {
    EXPECT_EQ(capture_stdout([] { sensors_output_prom_failed(); }), up_family + "vantorel_up 0\n");
}

TEST(Report, PrometheusLabelValuesAreEscaped) {
    constexpr sensor_label odd[] = {{0, "back\\slash \"quoted\"\nnext line"}};
    const board b = {"Maker \"M\"", "P\\1\n2", chip_kind::w83793g, 0x2f, none, odd, none};
    readings s{};
    s.temps[0] = 40;
    std::string out = capture_stdout([&] { sensors_output_prom(b, s); });
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
    EXPECT_EQ(capture_stdout([&] { sensors_output(b, s); }), "FAN1                 123456789 RPM\n"
                                                             "FAN2                        0 RPM\n"
                                                             "A label of 21 letters    2.000 V\n"
                                                             "Z                      -0.000 V\n");
    EXPECT_EQ(capture_stdout([&] { sensors_output_delim(b, s); }),
              "FAN1,123456789,RPM\nFAN2,0,RPM\nA label of 21 letters,2.000,V\nZ,-0.000,V\n");
}

} // namespace
