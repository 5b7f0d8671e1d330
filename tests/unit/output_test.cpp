// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The report forms, byte for byte.
#include "capture.h"
#include "output/output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr sensor_label temps[] = {{0, "CPU Temperature"}, {4, "System Temperature"}};
constexpr sensor_label fans[] = {{0, "FAN1"}, {1, "FAN2"}};
constexpr sensor_label volts[] = {{0, "Vcore"}, {3, "-12V"}};
constexpr label_list none{};

const board example = {"Supermicro", "TEST", chip_kind::w83793g, 0x2f, volts, temps, fans};

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

TEST(Report, PlainFormOfTheWorkedExample) {
    readings s = example_readings();
    EXPECT_EQ(capture_stdout([&] { sensors_output(example, s); }),
              "CPU Temperature            38 C\n"
              "System Temperature         31 C\n"
              "FAN1                     3000 RPM\n"
              "FAN2                        0 RPM\n"
              "Vcore                   1.202 V\n"
              "-12V                  -11.904 V\n");
}

TEST(Report, DelimitedFormOfTheWorkedExample) {
    readings s = example_readings();
    EXPECT_EQ(capture_stdout([&] { sensors_output_delim(example, s); }), "CPU Temperature,38,C\n"
                                                                         "System Temperature,31,C\n"
                                                                         "FAN1,3000,RPM\n"
                                                                         "FAN2,0,RPM\n"
                                                                         "Vcore,1.202,V\n"
                                                                         "-12V,-11.904,V\n");
}

TEST(Report, JsonFormOfTheWorkedExample) {
    readings s = example_readings();
    EXPECT_EQ(capture_stdout([&] { sensors_output_json(example, s); }),
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
              "}\n");
}

const std::string up_family =
    "# HELP vantorel_up Whether the last reading of the board succeeded (1) or failed (0).\n"
    "# TYPE vantorel_up gauge\n";

TEST(Report, PrometheusFormOfTheWorkedExample) {
    readings s = example_readings();
    EXPECT_EQ(capture_stdout([&] { sensors_output_prom(example, s, "Winbond W83793G"); }),
              "# HELP vantorel_board_info The board read: its SMBIOS maker and product, and its "
              "monitoring chip.\n"
              "# TYPE vantorel_board_info gauge\n"
              "vantorel_board_info{maker=\"Supermicro\",product=\"TEST\",chip=\"Winbond "
              "W83793G\"} 1\n"
              "# HELP vantorel_temperature_celsius Temperature read by vantorel.\n"
              "# TYPE vantorel_temperature_celsius gauge\n"
              "vantorel_temperature_celsius{sensor=\"CPU Temperature\"} 38\n"
              "vantorel_temperature_celsius{sensor=\"System Temperature\"} 31\n"
              "# HELP vantorel_fan_rpm Fan speed read by vantorel (0: no reading).\n"
              "# TYPE vantorel_fan_rpm gauge\n"
              "vantorel_fan_rpm{sensor=\"FAN1\"} 3000\n"
              "vantorel_fan_rpm{sensor=\"FAN2\"} 0\n"
              "# HELP vantorel_voltage_volts Voltage read by vantorel.\n"
              "# TYPE vantorel_voltage_volts gauge\n"
              "vantorel_voltage_volts{sensor=\"Vcore\"} 1.202\n"
              "vantorel_voltage_volts{sensor=\"-12V\"} -11.904\n" +
                  up_family + "vantorel_up 1\n");
    EXPECT_EQ(capture_stdout([] { sensors_output_prom_failed(); }), up_family + "vantorel_up 0\n");
}

TEST(Report, PrometheusLabelValuesAreEscapedAndEmptyFamiliesKeepTheirHeaders) {
    constexpr sensor_label odd[] = {{0, "back\\slash \"quoted\"\nnext line"}};
    const board b = {"Maker \"M\"", "P\\1", chip_kind::w83793g, 0x2f, none, odd, none};
    readings s{};
    s.temps[0] = 40;
    std::string out = capture_stdout([&] { sensors_output_prom(b, s, "C\nD"); });
    EXPECT_NE(out.find("vantorel_board_info{maker=\"Maker \\\"M\\\"\",product=\"P\\\\1\","
                       "chip=\"C\\nD\"} 1\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("# TYPE vantorel_temperature_celsius gauge\n"
                       "vantorel_temperature_celsius{sensor=\"back\\\\slash \\\"quoted\\\"\\nnext "
                       "line\"} 40\n"
                       "# HELP vantorel_fan_rpm Fan speed read by vantorel (0: no reading).\n"
                       "# TYPE vantorel_fan_rpm gauge\n"
                       "# HELP vantorel_voltage_volts Voltage read by vantorel.\n"
                       "# TYPE vantorel_voltage_volts gauge\n" +
                       up_family),
              std::string::npos)
        << out;
}

TEST(Report, EmptyListsPrintNoLinesButKeepTheJsonSections) {
    const board empty = {"Supermicro", "EMPTY", chip_kind::w83793g, 0x2f, none, none, none};
    readings s{};
    EXPECT_EQ(capture_stdout([&] { sensors_output(empty, s); }), "");
    EXPECT_EQ(capture_stdout([&] { sensors_output_delim(empty, s); }), "");
    EXPECT_EQ(capture_stdout([&] { sensors_output_json(empty, s); }),
              "{\n\t\"temps\": {\n\t},\n\t\"fans\": {\n\t},\n\t\"voltages\": {\n\t}\n}\n");
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

TEST(Report, TraceLinesFrameTheReportWhenVerbose) {
    readings s = example_readings();
    std::string out = capture_traced(true, [&] { sensors_output_json(example, s); });
    char head[96];
    snprintf(head, sizeof head, "==> sensors_output_json(b = %p, s = %p)\n{\n",
             static_cast<const void *>(&example), static_cast<const void *>(&s));
    EXPECT_TRUE(out.starts_with(head)) << out;
    EXPECT_TRUE(out.ends_with("\t}\n}\n==> sensors_output_json() returning\n")) << out;

    out = capture_traced(true, [&] { sensors_output(example, s); });
    EXPECT_TRUE(out.starts_with("==> sensors_output(b = ")) << out;
    EXPECT_TRUE(out.ends_with("-11.904 V\n==> sensors_output() returning\n")) << out;
    out = capture_traced(true, [&] { sensors_output_delim(example, s); });
    EXPECT_TRUE(out.starts_with("==> sensors_output_delim(b = ")) << out;
    EXPECT_TRUE(out.ends_with("-12V,-11.904,V\n==> sensors_output_delim() returning\n")) << out;
    out = capture_traced(true, [&] { sensors_output_prom(example, s, "chip"); });
    EXPECT_TRUE(out.starts_with("==> sensors_output_prom(b = ")) << out;
    EXPECT_TRUE(out.ends_with("vantorel_up 1\n==> sensors_output_prom() returning\n")) << out;
}

} // namespace
