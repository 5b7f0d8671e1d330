// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The libsensors configuration: which driver feature feeds each cell and how its value
// converts, against the kernel drivers' scaling; and the statements written for the boards.
#include "boards/board_table.h"
#include "chips/chip_tables.h"
#include "chips/driver_features.h"
#include "chips/chips.h"
#include "output/sensors_config.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// What a voltage cell's feature is expected to be: the driver's inN, the scale from the
// driver's volts to the board's, and whether libsensors can write it exactly.
struct voltage_expectation {
    unsigned cell;
    unsigned input;
    double scale;
    feature_deviation deviation = feature_deviation::none;
};

// One table per chip kind, every voltage cell the chip handling fills. The scales are the
// boards' conversions over the drivers' steps: the W83793G's -12V is 32 mV x -12 a count
// where w83793 publishes 16 mV, so -24; its +12V 8 mV x 12 over 8 mV, 12. The W83792D's -12V
// is 8 mV x -12 over w83792d's 4 mV, -24; its 12V 16 mV over 4 mV, 4; its 5VSB takes in7's
// upper eight bits at 24 mV, four of the driver's 6 mV steps.
struct chip_case {
    const char *name;
    const chip_cells &cells;
    std::vector<voltage_expectation> voltages;
};

const chip_case chip_cases[] = {
    {"w83793g",
     w83793g_cells,
     {{0, 0, 1},
      {1, 1, 1},
      {2, 2, 1},
      {3, 3, -24},
      {4, 4, 1},
      {5, 5, 1},
      {6, 6, 12},
      {7, 8, 1},
      {9, 7, 1},
      {10, 9, 1}}},
    {"w83792d",
     w83792d_cells,
     {{0, 0, 1},
      {1, 1, 1},
      {7, 7, 1, feature_deviation::low_bits_dropped},
      {8, 6, 1},
      {10, 8, 1},
      {11, 2, 1},
      {12, 3, 1},
      {13, 4, -24},
      {14, 5, 4}}},
    {"x6dva second chip", x6dva_second_cells, {{0, 0, 1}, {1, 1, 1}}},
};

class ChipFeatures : public ::testing::TestWithParam<chip_case> {};

// Every voltage cell comes from its input at the expected scale; and for every value the
// input can hold, the compute of what the driver publishes (value x step + offset, in mV) is
// what the reader converts the value to, the upper eight bits aside. Cells the chip handling
// does not fill have no feature.
TEST_P(ChipFeatures, VoltageComputesGiveTheReadersValuesFromTheDriversOwn) {
    const chip_case &c = GetParam();
    std::set<unsigned> filled;
    for (const voltage_expectation &e : c.voltages) {
        SCOPED_TRACE("voltages[" + std::to_string(e.cell) + "]");
        filled.insert(e.cell);
        const auto f = feature_of_cell(c.cells, reading_kind::voltage, e.cell);
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->number, e.input);
        EXPECT_NEAR(f->compute.scale, e.scale, 1e-12);
        EXPECT_EQ(f->deviation, e.deviation);
        EXPECT_EQ(is_identity(f->compute), e.scale == 1);

        const voltage_input &in = c.cells.layout.voltages[e.input];
        const voltage_cell *cell = nullptr;
        for (const voltage_cell &vc : c.cells.voltages)
            if (vc.cell == e.cell)
                cell = &vc;
        ASSERT_NE(cell, nullptr);
        const unsigned dropped =
            in.reading.low_bits - field_of(c.cells.layout, *cell, voltage_value::reading).low_bits;
        // Where the cell drops low bits, the compute holds where they are 0.
        for (unsigned value = 0; value <= in.reading.max(); value += 1u << dropped) {
            const double driver = (value * in.step_mv + in.offset_mv) / 1000.0;
            const double board =
                (driver - f->compute.driver_offset) * f->compute.scale + f->compute.board_offset;
            const unsigned converted = value >> dropped;
            EXPECT_NEAR(board, convert(*cell, converted), 1e-9) << "value " << value;
        }
    }
    for (unsigned cell = 0; cell < 15; cell++) {
        if (!filled.count(cell)) {
            EXPECT_FALSE(feature_of_cell(c.cells, reading_kind::voltage, cell).has_value()) << cell;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Chips, ChipFeatures, ::testing::ValuesIn(chip_cases), by_case_name{});

// Temperatures and fans: the driver's feature by number, the CPU temperatures of the W83793G
// clamped as w83793g_tempadj, every other temperature unsigned whole degrees, fans exact.
TEST(ChipFeatures, TemperaturesAndFansByTheDriversNumbers) {
    const auto t1 = feature_of_cell(w83793g_cells, reading_kind::temperature, 0);
    const auto t5 = feature_of_cell(w83793g_cells, reading_kind::temperature, 4);
    ASSERT_TRUE(t1 && t5);
    EXPECT_EQ(t1->number, 1u);
    EXPECT_EQ(t1->deviation, feature_deviation::clamped_whole_degrees);
    EXPECT_EQ(t5->number, 5u);
    EXPECT_EQ(t5->deviation, feature_deviation::unsigned_whole_degrees);
    // The X6DVA's second chip fills temperature cells 1 and 2 from temp2 and temp3; cell 0
    // is the driverless chip's.
    EXPECT_FALSE(feature_of_cell(x6dva_second_cells, reading_kind::temperature, 0));
    EXPECT_EQ(feature_of_cell(x6dva_second_cells, reading_kind::temperature, 2)->number, 3u);
    const auto fan12 = feature_of_cell(w83793g_cells, reading_kind::fan, 11);
    ASSERT_TRUE(fan12);
    EXPECT_EQ(fan12->number, 12u);
    EXPECT_EQ(fan12->deviation, feature_deviation::none);
    EXPECT_TRUE(is_identity(fan12->compute));
    EXPECT_FALSE(feature_of_cell(w83792d_cells, reading_kind::fan, 7));
}

// --- the statements ---

std::string config_of(const board &b) {
    char *text = nullptr;
    size_t size = 0;
    const std::optional<board_features> features = driver_features_of(b);
    EXPECT_TRUE(features.has_value());
    if (!features)
        return "";
    FILE *out = open_memstream(&text, &size);
    write_sensors_config(b, *features, out);
    fclose(out);
    std::string s(text, size);
    free(text);
    return s;
}

// The statements of a configuration, comments and blank lines left out, blanks squeezed.
std::vector<std::string> statements(const std::string &config) {
    std::vector<std::string> list;
    std::istringstream in(config);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string statement, word;
        while (words >> word)
            statement += (statement.empty() ? "" : " ") + word;
        if (!statement.empty())
            list.push_back(statement);
    }
    return list;
}

const board &row(const char *product) {
    for (const board &b : board_table)
        if (std::string(b.product) == product)
            return b;
    abort();
}

// One board of each chip kind, its statements whole: the chip at the board's address, a label
// for each reading the board shows in the forms' order with the computes of the -12 V and
// 12 V rails, and an ignore for each other feature of the driver.
struct statements_case {
    const char *product;
    std::vector<std::string> statements;
};

const statements_case statements_cases[] = {
    {"X7SB4/E",
     {R"(chip "w83793-i2c-*-2f")",
      R"(label temp1 "CPU Temperature")",
      R"(label temp6 "System Temperature")",
      R"(label fan2 "FAN1")",
      R"(label fan1 "FAN2")",
      R"(label fan3 "FAN3")",
      R"(label fan4 "FAN4")",
      R"(label fan5 "FAN5")",
      R"(label fan7 "FAN6")",
      R"(label in0 "VcoreA")",
      R"(label in3 "-12V")",
      R"(compute in3 -@*24, -@/24)",
      R"(label in4 "V_DIMM")",
      R"(label in5 "+3.3V")",
      R"(label in6 "+12V")",
      R"(compute in6 @*12, @/12)",
      R"(label in8 "5Vsb")",
      R"(label in7 "5VDD")",
      R"(label in9 "Vbat")",
      R"(label intrusion0 "Chassis intrusion")",
      "ignore in1",
      "ignore in2",
      "ignore temp2",
      "ignore temp3",
      "ignore temp4",
      "ignore temp5",
      "ignore fan6",
      "ignore fan8",
      "ignore fan9",
      "ignore fan10",
      "ignore fan11",
      "ignore fan12",
      "ignore cpu0_vid",
      "ignore cpu1_vid"}},
    {"X6DHR-8G2/X6DHR-TG",
     {R"(chip "w83792d-i2c-*-2f")",
      R"(label temp1 "CPU1 Temperature")",
      R"(label temp2 "CPU2 Temperature")",
      R"(label temp3 "System Temperature")",
      R"(label fan1 "FAN1")",
      R"(label fan2 "FAN2")",
      R"(label fan3 "FAN3")",
      R"(label fan4 "FAN4")",
      R"(label fan5 "FAN5")",
      R"(label in0 "VcoreA")",
      R"(label in1 "VcoreB")",
      R"(label in2 "P3V3")",
      R"(label in3 "P5V")",
      R"(label in4 "N12V")",
      R"(compute in4 -@*24, -@/24)",
      R"(label in5 "P12V")",
      R"(compute in5 @*4, @/4)",
      R"(label in6 "VDD")",
      R"(label in7 "P5Vsb")",
      R"(label intrusion0 "Chassis intrusion")",
      "ignore in8",
      "ignore fan6",
      "ignore fan7"}},
    {"X6DVA",
     {R"(chip "w83792d-i2c-*-2f")",
      R"(label temp2 "CPU Temp 1")",
      R"(label temp3 "CPU Temp 2")",
      R"(label fan1 "FAN1")",
      R"(label fan2 "FAN2")",
      R"(label fan3 "FAN3")",
      R"(label fan4 "FAN4")",
      R"(label fan5 "FAN5")",
      R"(label fan6 "FAN6")",
      R"(label in0 "CPU1 Vcore")",
      R"(label in1 "CPU2 Vcore")",
      R"(label intrusion0 "Chassis intrusion")",
      "ignore in2",
      "ignore in3",
      "ignore in4",
      "ignore in5",
      "ignore in6",
      "ignore in7",
      "ignore in8",
      "ignore temp1",
      "ignore fan7"}},
};

class Statements : public ::testing::TestWithParam<statements_case> {};

TEST_P(Statements, FromTheCellTablesUnderTheBoardsLabels) {
    EXPECT_EQ(statements(config_of(row(GetParam().product))), GetParam().statements);
}

INSTANTIATE_TEST_SUITE_P(Boards, Statements, ::testing::ValuesIn(statements_cases),
                         [](const auto &info) { return test_name(info.param.product); });

// For every board: one chip statement; each label once within it; every feature of the
// driver either labelled or ignored, never both; every reading the board shows labelled in
// the chip or named as the driverless chip's; and never a set statement, whatever the board.
TEST(Statements, EveryBoardLabelsOrIgnoresEachFeatureOnceAndSetsNothing) {
    for (const board &b : board_table) {
        SCOPED_TRACE(b.product);
        const std::string config = config_of(b);
        std::map<std::string, int> features, labels;
        int chips = 0;
        for (const std::string &s : statements(config)) {
            std::istringstream words(s);
            std::string keyword, feature;
            words >> keyword >> feature;
            EXPECT_NE(keyword, "set");
            if (keyword == "chip")
                chips++;
            if (keyword == "label" || keyword == "ignore")
                features[feature]++;
            if (keyword == "label")
                labels[s.substr(s.find('"'))]++;
        }
        EXPECT_EQ(chips, 1);
        for (const auto &[feature, n] : features)
            EXPECT_EQ(n, 1) << feature;
        for (const auto &[label, n] : labels)
            EXPECT_EQ(n, 1) << label;
        const chip_layout &layout = chips_of(b)->driven.cells->layout;
        EXPECT_EQ(features.size(), layout.voltages.size() + layout.temperatures.size() +
                                       layout.fans.size() + 1 + other_features(layout).size());
        for (label_list list : {b.temps, b.fans, b.voltages})
            for (const sensor_label &l : list) {
                const std::string quoted = std::string("\"") + l.label + "\"";
                const size_t driverless = config.find("No libsensors program sees");
                EXPECT_TRUE(labels.count(quoted) ||
                            (driverless != std::string::npos &&
                             config.find(quoted, driverless) != std::string::npos))
                    << l.label;
            }
    }
}

} // namespace
