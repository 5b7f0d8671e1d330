// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The board table as data, the board lookup, and the walk over the readings a board shows.
#include "boards/board_table.h"
#include "boards/boards.h"
#include "boards/readings_walk.h"
#include "capture.h"
#include "chip_facts.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>
#include <string>

namespace {

void check_list(const char *what, label_list list, const std::set<unsigned> &filled) {
    std::set<unsigned> seen;
    std::set<std::string> labels;
    for (const sensor_label &l : list) {
        std::string label = l.label;
        SCOPED_TRACE(std::string(what) + " " + label);
        EXPECT_TRUE(filled.count(l.index)) << "names a cell its reader does not fill";
        EXPECT_TRUE(seen.insert(l.index).second) << "index named twice";
        // The Prometheus form's series of a family differ by this label alone.
        EXPECT_TRUE(labels.insert(label).second) << "label named twice";
        EXPECT_LE(label.size(), 18u);
        for (char c : label) {
            EXPECT_TRUE(c >= 0x20 && c < 0x7f);
            EXPECT_EQ(std::string("\"\\,").find(c), std::string::npos) << "needs escaping";
        }
    }
}

static_assert(board_table.size() == 17, "seventeen supported boards");

TEST(BoardTable, EveryRowKeepsTheInvariantsTheReadersAndReportsRelyOn) {
    std::set<std::string> idents;
    for (const board &b : board_table) {
        SCOPED_TRACE(b.product);
        EXPECT_STREQ(b.maker, "Supermicro");
        EXPECT_LT(std::string(b.product).size(), 128u);
        EXPECT_TRUE(idents.insert(b.product).second) << "duplicate row";
        EXPECT_STRNE(chip_name(b.chip), "Unknown");
        EXPECT_EQ(b.slave, b.chip == chip_kind::x6dva ? SLAVE_CUSTOM : 0x2f);
        const chip_facts &f = facts_of(b.chip);
        check_list("voltages", b.voltages, f.volts);
        check_list("temps", b.temps, f.temps);
        check_list("fans", b.fans, f.fans);
    }
}

// Rows share lists by reference, exactly where the boards share a layout.
TEST(BoardTable, SharesLabelListsBetweenRows) {
    auto row = [](const char *product) { return board_lookup("Supermicro", product); };
    EXPECT_EQ(row("X7DB8")->voltages.data(), row("X7DBP")->voltages.data());
    EXPECT_NE(row("X7DB8")->temps.data(), row("X7DBP")->temps.data());
    EXPECT_EQ(row("X7DB8")->fans.data(), row("X7DBT")->fans.data());
    EXPECT_EQ(row("X7SB4/E")->fans.data(), row("X7DCL")->fans.data());
    EXPECT_EQ(row("X6DVA")->fans.data(), row("PDSMU")->fans.data());
    EXPECT_EQ(row("X6DHR-8G2/X6DHR-TG")->fans.data(), row("P8SC8")->fans.data());
    int pdsma_users = 0;
    for (const board &b : board_table)
        pdsma_users += b.voltages.data() == row("PDSMA+")->voltages.data();
    EXPECT_EQ(pdsma_users, 6);
}

struct lookup_case {
    const char *maker;
    const char *product;
    int row; // index into board_table, or -1 for no match
};

class Lookup : public ::testing::TestWithParam<lookup_case> {};

TEST_P(Lookup, FindsExactlyTheRowWhoseStringsAreEqual) {
    const lookup_case &c = GetParam();
    const board *b = board_lookup(c.maker, c.product);
    if (c.row < 0)
        EXPECT_EQ(b, nullptr);
    else
        EXPECT_EQ(b, &board_table[c.row]);
}

const std::string long_product(127, 'X');

INSTANTIATE_TEST_SUITE_P(
    Cases, Lookup,
    ::testing::Values(
        lookup_case{"Supermicro", "P8SC8", 0}, lookup_case{"Supermicro", "X6DVA", 6},
        lookup_case{"Supermicro", "X7DBP", 8}, lookup_case{"Supermicro", "X6DHR-8G2/X6DHR-TG", 5},
        lookup_case{"Supermicro", "X7SBi", 16}, lookup_case{"Supermicro", "PDSMi+", 3},
        lookup_case{"Supermicro", "X7SBI", -1}, lookup_case{"Supermicro", "PDSMI+", -1},
        lookup_case{"Supermicro", "X6DVL", -1}, lookup_case{"Supermicro", "X6DHR-8G2", -1},
        lookup_case{"Supermicro", "X7SB4", -1}, lookup_case{"Supermicro", "X7DBP ", -1},
        lookup_case{"Supermicro ", "X7DBP", -1}, lookup_case{"supermicro", "X7DBP", -1},
        lookup_case{"", "X7DBP", -1}, lookup_case{"Supermicro", "", -1},
        lookup_case{"Supermicro", long_product.c_str(), -1}));

// The address that %p prints for P.
std::string ptr(const void *p) {
    char text[32];
    snprintf(text, sizeof text, "%p", p);
    return text;
}

// The X6DVA row: a custom slave, and lists whose print order is not index order.
TEST(LookupTrace, IsExactForAFoundRow) {
    const char maker[] = "Supermicro", product[] = "X6DVA";
    const board *found = nullptr;
    std::string out = capture_traced(true, [&] { found = board_lookup(maker, product); });
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(out, "==> board_lookup(maker = " + ptr(maker) + ", product = " + ptr(product) +
                       ")\n"
                       "==> \tmaker   = Supermicro\n"
                       "==> \tproduct = X6DVA\n"
                       "==> \tboards struct: " +
                       ptr(found) +
                       "\n"
                       "==> \t\tchip  = X6DVA/X6DVL/X6DAL\n"
                       "==> \t\tslave = 0xffffffff\n"
                       "==> \tvoltages struct: " +
                       ptr(found->voltages.data()) +
                       "\n"
                       "==> \t\tb->voltages[0] = 0, CPU1 Vcore\n"
                       "==> \t\tb->voltages[1] = 1, CPU2 Vcore\n"
                       "==> \t\tb->voltages[2] = 11, +1.5V\n"
                       "==> \t\tb->voltages[3] = 13, +3.3V\n"
                       "==> \t\tb->voltages[4] = 12, +3.3VSB\n"
                       "==> \t\tb->voltages[5] = 14, +5V\n"
                       "==> \t\tb->voltages[6] = 6, +12V\n"
                       "==> \t\tb->voltages[7] = 3, -12V\n"
                       "==> \ttemps struct: " +
                       ptr(found->temps.data()) +
                       "\n"
                       "==> \t\tb->temps[0] = 1, CPU Temp 1\n"
                       "==> \t\tb->temps[1] = 2, CPU Temp 2\n"
                       "==> \t\tb->temps[2] = 0, Sys Temp\n"
                       "==> \tfans struct: " +
                       ptr(found->fans.data()) +
                       "\n"
                       "==> \t\tb->fans[0] = 0, FAN1\n"
                       "==> \t\tb->fans[1] = 1, FAN2\n"
                       "==> \t\tb->fans[2] = 2, FAN3\n"
                       "==> \t\tb->fans[3] = 3, FAN4\n"
                       "==> \t\tb->fans[4] = 4, FAN5\n"
                       "==> \t\tb->fans[5] = 5, FAN6\n"
                       "==> board_lookup() returning " +
                       ptr(found) + "\n");
}

TEST(LookupTrace, IsExactWhenNothingMatchesAndSilentWithoutVerbose) {
    const char maker[] = "Supermicro", product[] = "X6DVL";
    std::string out = capture_traced(true, [&] { board_lookup(maker, product); });
    EXPECT_EQ(out, "==> board_lookup(maker = " + ptr(maker) + ", product = " + ptr(product) +
                       ")\n"
                       "==> \tmaker   = Supermicro\n"
                       "==> \tproduct = X6DVL\n"
                       "==> board_lookup() returning NULL\n");
    EXPECT_EQ(capture_traced(false, [] { board_lookup("Supermicro", "X7DBP"); }), "");
}

// --- the walk ---

constexpr sensor_label two_temps[] = {{4, "T4"}, {1, "T1"}};
constexpr sensor_label one_fan[] = {{9, "F9"}};
constexpr sensor_label two_volts[] = {{14, "V14"}, {3, "V3"}};
constexpr label_list no_labels{};

// The walk as text: each reading as kind letter, cell and label, "." after the last of a list.
std::string walked(shown_readings walk) {
    std::string text;
    for (const shown_reading &r : walk) {
        const char kind = r.kind == reading_kind::temperature ? 'T'
                          : r.kind == reading_kind::fan       ? 'F'
                                                              : 'V';
        text +=
            std::string(1, kind) + std::to_string(r.cell) + ":" + r.label + (r.last ? ". " : " ");
    }
    return text;
}

struct walk_case {
    const char *name;
    board row;
    const char *all, *temps, *fans, *volts;
};

class Walk : public ::testing::TestWithParam<walk_case> {};

// Every list in report order and each in its own order, over empty lists at any place.
TEST_P(Walk, VisitsEveryLabelInReportOrder) {
    const walk_case &c = GetParam();
    const readings s{};
    EXPECT_EQ(walked(shown_readings(c.row, s)), c.all);
    EXPECT_EQ(walked(shown_readings(c.row, s, reading_kind::temperature)), c.temps);
    EXPECT_EQ(walked(shown_readings(c.row, s, reading_kind::fan)), c.fans);
    EXPECT_EQ(walked(shown_readings(c.row, s, reading_kind::voltage)), c.volts);
}

board row_of(label_list volts, label_list temps, label_list fans) {
    return {"Supermicro", "WALK", chip_kind::w83793g, 0x2f, volts, temps, fans};
}

INSTANTIATE_TEST_SUITE_P(
    Lists, Walk,
    ::testing::Values(walk_case{"all", row_of(two_volts, two_temps, one_fan),
                                "T4:T4 T1:T1. F9:F9. V14:V14 V3:V3. ", "T4:T4 T1:T1. ", "F9:F9. ",
                                "V14:V14 V3:V3. "},
                      walk_case{"no_temps", row_of(two_volts, no_labels, one_fan),
                                "F9:F9. V14:V14 V3:V3. ", "", "F9:F9. ", "V14:V14 V3:V3. "},
                      walk_case{"no_fans", row_of(two_volts, two_temps, no_labels),
                                "T4:T4 T1:T1. V14:V14 V3:V3. ", "T4:T4 T1:T1. ", "",
                                "V14:V14 V3:V3. "},
                      walk_case{"no_volts", row_of(no_labels, two_temps, one_fan),
                                "T4:T4 T1:T1. F9:F9. ", "T4:T4 T1:T1. ", "F9:F9. ", ""},
                      walk_case{"none", row_of(no_labels, no_labels, no_labels), "", "", "", ""}),
    [](const auto &info) { return std::string(info.param.name); });

// Each reading carries its own cell of the record: the value, the limits under their names
// (no other), the status bit and what the cell holds, whatever its place in the list.
TEST(Walk, CarriesTheCellsValueLimitsAlarmAndUnit) {
    readings s{};
    s.temps[1] = 38;
    s.limits.temps[1] = {{true, 80}, {true, 75}, {true, 70}, {false, 0}, alarm_bit::set};
    s.fans[9] = 2250;
    s.limits.fans[9] = {{true, 712}, alarm_bit::clear};
    s.voltages[3] = -11.904;
    s.limits.voltages[3] = {{true, -13.2}, {true, -10.8}, alarm_bit::absent};
    s.voltages[14] = 93;
    s.voltage_units[14] = voltage_unit::register_value;
    const board b = row_of(two_volts, two_temps, one_fan);

    std::vector<shown_reading> r;
    for (const shown_reading &each : shown_readings(b, s))
        r.push_back(each);
    ASSERT_EQ(r.size(), 5u);
    auto has = [](const shown_reading &x, std::initializer_list<limit_name> names) {
        std::string present;
        for (size_t n = 0; n < limit_names; n++)
            present += x.limits[n].present ? '1' : '0';
        std::string wanted(limit_names, '0');
        for (limit_name n : names)
            wanted[static_cast<size_t>(n)] = '1';
        return present == wanted;
    };
    const shown_reading &t1 = r[1], &f9 = r[2], &v14 = r[3], &v3 = r[4];
    EXPECT_EQ(r[0].value.whole, 0u);
    EXPECT_TRUE(has(r[0], {}));
    EXPECT_EQ(t1.value.format, number_format::whole);
    EXPECT_EQ(t1.value.whole, 38u);
    EXPECT_TRUE(has(t1, {limit_name::max, limit_name::max_hyst, limit_name::warn}));
    EXPECT_EQ(t1.limit_of(limit_name::max).value.real, 80);
    EXPECT_EQ(t1.limit_of(limit_name::max_hyst).value.real, 75);
    EXPECT_EQ(t1.limit_of(limit_name::warn).value.real, 70);
    EXPECT_EQ(t1.alarm, alarm_bit::set);
    EXPECT_STREQ(t1.unit_text(), "C");
    EXPECT_EQ(f9.value.whole, 2250u);
    EXPECT_TRUE(has(f9, {limit_name::min}));
    EXPECT_EQ(f9.limit_of(limit_name::min).value.whole, 712u);
    EXPECT_EQ(f9.alarm, alarm_bit::clear);
    EXPECT_STREQ(f9.unit_text(), "RPM");
    EXPECT_EQ(v14.unit, voltage_unit::register_value);
    EXPECT_EQ(v14.value.real, 93.0);
    EXPECT_EQ(v3.unit, voltage_unit::volts);
    EXPECT_EQ(v3.value.format, number_format::three_decimals);
    EXPECT_EQ(v3.value.real, -11.904);
    EXPECT_TRUE(has(v3, {limit_name::min, limit_name::max}));
    EXPECT_EQ(v3.limit_of(limit_name::min).value.real, -13.2);
    EXPECT_EQ(v3.alarm, alarm_bit::absent);
}

} // namespace
