// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The command-line suite: successful reports, byte for byte.
#include "chip_facts.h"
#include "cli.h"

#include <sstream>
#include <tuple>

namespace {

// A report form: its option (nullptr for the plain form) and the suffix of its expected files.
struct report_form {
    const char *option;
    const char *suffix;
};

void PrintTo(const report_form &f, std::ostream *os) {
    *os << (f.option != nullptr ? f.option : "plain");
}

// Every board of a chip kind in every form, without and with -a: with -a over the board's
// fixture and its limit and status registers (BOARD-limits.fix), into BOARD-limits.SUFFIX.
class Reports : public Cli,
                public ::testing::WithParamInterface<std::tuple<const char *, report_form, bool>> {
};

TEST_P(Reports, MatchTheHandWrittenText) {
    const auto &[board, form, limits] = GetParam();
    std::vector<std::string> args;
    std::string world = fixture(std::string(board) + ".fix");
    std::string name = board;
    if (limits) {
        args.push_back("-a");
        world += fixture(name + "-limits.fix");
        name += "-limits";
    }
    if (form.option)
        args.push_back(form.option);
    outcome o = sim_run(args, world);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, expected(name + form.suffix));
    EXPECT_EQ(o.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Boards, Reports,
    ::testing::Combine(::testing::Values("x7dbp", "p8sc8", "x6dva"),
                       ::testing::Values(report_form{nullptr, ".txt"}, report_form{"-c", ".csv"},
                                         report_form{"-J", ".json"}, report_form{"-P", ".prom"}),
                       ::testing::Bool()),
    [](const auto &info) {
        const char *suffix = std::get<report_form>(info.param).suffix;
        return std::string(std::get<const char *>(info.param)) +
               (std::get<bool>(info.param) ? "_limits_" : "_") + (suffix + 1);
    });

TEST_F(Cli, ZeroChipShowsZerosAndTheFixedOffsets) {
    outcome o = sim_run({}, "maker Supermicro\nproduct X7SBA\nchip 0x2f\n");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, expected("x7sba-zero.txt"));
}

TEST_F(Cli, VerboseRunTracesEveryStepAroundAnIntactReport) {
    struct {
        const char *board;
        size_t reads;
        const char *reader;
    } cases[] = {{"x7dbp", facts_of(chip_kind::w83793g).reads.size(), "w83793g_main"},
                 {"p8sc8", facts_of(chip_kind::w83792d).reads.size(), "w83792d_main"},
                 {"x6dva", facts_of(chip_kind::x6dva).reads.size(), "x6dva_main"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.board);
        outcome o = sim_run({"-v", "-J"}, fixture(std::string(c.board) + ".fix"));
        EXPECT_EQ(o.status, 0);
        std::string report = expected(std::string(c.board) + ".json");
        size_t at = o.out.find(report);
        ASSERT_NE(at, std::string::npos) << o.out;
        std::string before = o.out.substr(0, at), after = o.out.substr(at + report.size());
        EXPECT_TRUE(before.starts_with("==> board_lookup(maker = 0x")) << before;
        EXPECT_EQ(count(before, "==> read_byte(fd = "), c.reads);
        EXPECT_EQ(count(before, "==> read_byte() returning 0x"), c.reads);
        EXPECT_NE(before.find(std::string("==> ") + c.reader +
                              "() returning\n==> "
                              "sensors_output_json(b = 0x"),
                  std::string::npos);
        EXPECT_EQ(after, "==> sensors_output_json() returning\n");
        // Every line of the trace carries the prefix.
        std::istringstream lines(before);
        for (std::string line; std::getline(lines, line);)
            EXPECT_TRUE(line.starts_with("==> ")) << line;
    }
}

} // namespace
