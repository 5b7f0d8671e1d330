// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// A chip that is not the board's, or is left on another register bank, as the program's
// forms end on it: the judging forms refuse it, the plain forms read it as they always have.
#include "cli.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

// A foreign image: the board's fixture, one identity register changed, and the message of
// its refusal.
struct foreign_image {
    const char *name;
    const char *board; // its fixture, and the stem of its expected reports
    const char *regs;  // over the fixture
    const char *message;
};

const foreign_image images[] = {
    {"w83793g_chip_id", "x7dbp", "reg 0x2f 0x0e 0x00\n",
     "the chip at 0x2f is not a Winbond W83793G: register 0x0e (chip ID) reads 0x00, expected "
     "0x7b"},
    {"w83793g_bank_2", "x7dbp", "reg 0x2f 0x00 0x82\n",
     "the Winbond W83793G at 0x2f is on bank 2: register 0x00 (bank select) reads 0x82, expected "
     "0x80 (bank 0), and vantorel does not switch banks"},
    {"w83792d_configuration", "p8sc8", "reg 0x2f 0x40 0x80\n",
     "the chip at 0x2f is not a Winbond W83792D that can be read: register 0x40 (configuration) "
     "reads 0x80, expected 0x00 (bits 0x80 clear)"},
    {"x6dva_vendor", "x6dva", "reg 0x2f 0x4f 0xa3\n",
     "the chip at 0x2f is not a Winbond W83792D: register 0x4f (vendor ID, high byte) reads 0xa3, "
     "expected 0x5c"},
};

class ForeignChip : public ::testing::TestWithParam<foreign_image> {
  protected:
    std::string dir = temp_path("identity");
    std::string device = dir + "/device";
    std::string file = dir + "/vantorel.prom";
    void SetUp() override {
        mkdir(dir.c_str(), 0755);
        std::ofstream(device) << "";
    }
    void TearDown() override {
        unlink(device.c_str());
        unlink(file.c_str());
        rmdir(dir.c_str());
    }
    std::string world() const {
        return "euid 0\n" + fixture(std::string(GetParam().board) + ".fix") + GetParam().regs;
    }
    outcome sim_run(std::vector<std::string> args) const {
        args.insert(args.begin(), {"-f", device});
        return run({sim, args, world()});
    }
};

TEST_P(ForeignChip, IsUnknownToThePlugin) {
    outcome o = sim_run({"-N"});
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.out, "VANTOREL UNKNOWN - " + std::string(GetParam().message) + "\n");
    EXPECT_EQ(o.err, "");
}

TEST_P(ForeignChip, FailsTheExpositionWithItsFailureFile) {
    std::ofstream(file) << "vantorel_up 1\n";
    outcome o = sim_run({"-P", "-o", file});
    EXPECT_EQ(o.status, 69);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "vantorel: " + std::string(GetParam().message) + "\n");
    EXPECT_EQ(read_file(file), expected("failed.prom"));
}

// With -a no form shows a reading; without it, each form reads the chip as it always has,
// the -v trace byte for byte.
TEST_P(ForeignChip, RefusesTheLimitsInEveryFormAndLeavesThePlainFormsAsTheyWere) {
    const std::string board = GetParam().board;
    const std::vector<std::string> forms[] = {{}, {"-c"}, {"-J"}};
    const char *const suffixes[] = {".txt", ".csv", ".json"};
    for (size_t i = 0; i < 3; i++) {
        std::vector<std::string> args = forms[i];
        SCOPED_TRACE(suffixes[i]);
        args.push_back("-a");
        outcome o = sim_run(args);
        EXPECT_EQ(o.status, 69);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, "vantorel: " + std::string(GetParam().message) + "\n");

        o = sim_run(forms[i]);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, expected(board + suffixes[i]));
    }
    // The hand-written transcript of the board's traced form, for the foreign image too.
    const std::vector<std::string> traced = board == "x7dbp" ? std::vector<std::string>{"-v"}
                                            : board == "p8sc8"
                                                ? std::vector<std::string>{"-v", "-c"}
                                                : std::vector<std::string>{"-v", "-J"};
    const char *const transcript = board == "x7dbp"   ? "x7dbp-verbose.txt"
                                   : board == "p8sc8" ? "p8sc8-verbose.csv"
                                                      : "x6dva-verbose.json";
    EXPECT_EQ(normalised(sim_run(traced).out), normalised(expected(transcript)));
}

INSTANTIATE_TEST_SUITE_P(Images, ForeignChip, ::testing::ValuesIn(images), by_case_name{});

// -v traces the identity reads through read_byte like every other transaction, before the
// reader's own.
using IdentityTrace = Cli;

TEST_F(IdentityTrace, ShowsTheIdentityReadsBeforeTheReadersOwn) {
    const outcome o = sim_run({"-v", "-a"}, fixture("x7dbp.fix"));
    EXPECT_EQ(o.status, 0) << o.err;
    std::string reads;
    for (auto [reg, value] : {std::pair{0x00, 0x80}, {0x0d, 0x5c}, {0x0b, 0x5e}, {0x0e, 0x7b}}) {
        char line[120];
        snprintf(line, sizeof line,
                 "==> read_byte(fd = 3, slave = 0x2f, idxreg = 0x%02x)\n"
                 "==> read_byte() returning 0x%02x\n",
                 reg, value);
        reads += line;
    }
    const size_t at = o.out.find(reads);
    ASSERT_NE(at, std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("==> read_byte("), at);
    EXPECT_EQ(o.out.find("==> w83793g_main(", at), at + reads.size()) << o.out;
}

} // namespace
