// The board table as data, chip names and the board lookup.
#include "boards/boards.h"
#include "capture.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>

namespace {

TEST(ChipName, NamesTheThreeHandlingsAndNothingElse) {
    EXPECT_STREQ(chip_name(CHIP_X6DVA), "X6DVA/X6DVL/X6DAL");
    EXPECT_STREQ(chip_name(CHIP_W83792D), "Winbond W83792D");
    EXPECT_STREQ(chip_name(CHIP_W83793G), "Winbond W83793G");
    EXPECT_STREQ(chip_name(3), "Unknown");
    EXPECT_STREQ(chip_name(std::numeric_limits<uint64_t>::max()), "Unknown");
}

TEST(SensorData, StartsZeroFilledWhenValueInitialised) {
    sdata s{};
    for (double v : s.voltages)
        EXPECT_EQ(v, 0.0);
    for (uint64_t t : s.temps)
        EXPECT_EQ(t, 0u);
    for (uint32_t f : s.fans)
        EXPECT_EQ(f, 0u);
}

// Cells each chip handling fills: a label must never name a cell its reader leaves at zero.
struct filled {
    std::set<uint64_t> volts, temps, fans;
};

filled cells_of(uint64_t chip) {
    switch (chip) {
    case CHIP_W83792D:
        return {{0, 1, 7, 8, 10, 11, 12, 13, 14}, {0, 1, 2}, {0, 1, 2, 3, 4, 5, 6}};
    case CHIP_W83793G:
        return {{0, 1, 2, 3, 4, 5, 6, 7, 9, 10},
                {0, 1, 2, 3, 4, 5},
                {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
    default:
        return {{0, 1, 3, 6, 11, 12, 13, 14}, {0, 1, 2}, {0, 1, 2, 3, 4, 5}};
    }
}

void check_list(const char *what, const sensor_label *list, const std::set<uint64_t> &filled) {
    std::set<uint64_t> seen;
    for (const sensor_label *l = list; l->label != nullptr; l++) {
        std::string label = l->label;
        SCOPED_TRACE(std::string(what) + " " + label);
        EXPECT_TRUE(filled.count(l->index)) << "names a cell its reader does not fill";
        EXPECT_TRUE(seen.insert(l->index).second) << "index named twice";
        EXPECT_LE(label.size(), 18u);
        for (char c : label) {
            EXPECT_TRUE(c >= 0x20 && c < 0x7f);
            EXPECT_EQ(std::string("\"\\,").find(c), std::string::npos) << "needs escaping";
        }
    }
}

TEST(BoardTable, EveryRowKeepsTheInvariantsTheReadersAndReportsRelyOn) {
    int rows = 0;
    std::set<std::string> idents;
    for (const boards *b = board_table; b->maker != nullptr; b++, rows++) {
        SCOPED_TRACE(b->product);
        EXPECT_STREQ(b->maker, "Supermicro");
        EXPECT_LT(std::string(b->product).size(), 128u);
        EXPECT_TRUE(idents.insert(b->product).second) << "duplicate row";
        EXPECT_LE(b->chip, 2u);
        EXPECT_EQ(b->slave, b->chip == CHIP_X6DVA ? SLAVE_CUSTOM : 0x2f);
        filled f = cells_of(b->chip);
        check_list("voltages", b->voltages, f.volts);
        check_list("temps", b->temps, f.temps);
        check_list("fans", b->fans, f.fans);
    }
    EXPECT_EQ(rows, 17);
    const boards &end = board_table[17];
    EXPECT_EQ(end.product, nullptr);
    EXPECT_EQ(end.voltages, nullptr);
}

// Rows share lists by reference, exactly where the boards share a layout.
TEST(BoardTable, SharesLabelListsBetweenRows) {
    auto row = [](const char *product) { return board_lookup("Supermicro", product); };
    EXPECT_EQ(row("X7DB8")->voltages, row("X7DBP")->voltages);
    EXPECT_NE(row("X7DB8")->temps, row("X7DBP")->temps);
    EXPECT_EQ(row("X7DB8")->fans, row("X7DBT")->fans);
    EXPECT_EQ(row("X7SB4/E")->fans, row("X7DCL")->fans);
    EXPECT_EQ(row("X6DVA")->fans, row("PDSMU")->fans);
    EXPECT_EQ(row("X6DHR-8G2/X6DHR-TG")->fans, row("P8SC8")->fans);
    int pdsma_users = 0;
    for (const boards *b = board_table; b->maker != nullptr; b++)
        pdsma_users += b->voltages == row("PDSMA+")->voltages;
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
    const boards *b = board_lookup(c.maker, c.product);
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

TEST(LookupTrace, DescribesTheWholeRowFound) {
    const boards *found = nullptr;
    std::string out = capture_traced(true, [&] { found = board_lookup("Supermicro", "X6DVA"); });
    char head[128];
    snprintf(head, sizeof head, "==> \tboards struct: %p\n==> \t\tchip  = X6DVA/X6DVL/X6DAL\n",
             static_cast<const void *>(found));
    EXPECT_NE(out.find(head), std::string::npos) << out;
    EXPECT_NE(out.find("==> \tmaker   = Supermicro\n==> \tproduct = X6DVA\n"), std::string::npos);
    EXPECT_NE(out.find("==> \t\tslave = 0xffffffff\n"), std::string::npos);
    EXPECT_NE(out.find("==> \t\tb->temps[0] = 1, CPU Temp 1\n"
                       "==> \t\tb->temps[1] = 2, CPU Temp 2\n"
                       "==> \t\tb->temps[2] = 0, Sys Temp\n==> \tfans struct: "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("==> \t\tb->voltages[7] = 3, -12V\n==> \ttemps struct: "),
              std::string::npos);
    char tail[64];
    snprintf(tail, sizeof tail, "==> board_lookup() returning %p\n",
             static_cast<const void *>(found));
    EXPECT_TRUE(out.ends_with(tail)) << out;
}

TEST(LookupTrace, CountsOneLinePerListEntry) {
    std::string out = capture_traced(true, [] { board_lookup("Supermicro", "P8SC8"); });
    auto count = [&](const std::string &needle) {
        size_t n = 0;
        for (size_t p = out.find(needle); p != std::string::npos; p = out.find(needle, p + 1))
            n++;
        return n;
    };
    EXPECT_EQ(count("\t\tb->voltages["), 7u);
    EXPECT_EQ(count("\t\tb->temps["), 2u);
    EXPECT_EQ(count("\t\tb->fans["), 5u);
    EXPECT_NE(out.find("\t\tchip  = Winbond W83792D\n==> \t\tslave = 0x2f\n"), std::string::npos);
}

TEST(LookupTrace, EndsWithNullWhenNothingMatchesAndIsSilentWithoutVerbose) {
    std::string out = capture_traced(true, [] { board_lookup("Supermicro", "X6DVL"); });
    EXPECT_TRUE(out.ends_with("==> \tproduct = X6DVL\n==> board_lookup() returning NULL\n")) << out;
    EXPECT_EQ(capture_traced(false, [] { board_lookup("Supermicro", "X7DBP"); }), "");
}

} // namespace
