// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The run sequence in-process over the simulated platform: which kind of open a run makes,
// and that a setuid-root run asks nothing of the bus while it is still root.
#include "capture.h"
#include "chip_facts.h"
#include "main/run_sequence.h"
#include "trace/trace.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <string>
#include <sysexits.h>
#include <unistd.h>
#include <vector>

namespace {

struct open_case {
    const char *name;
    uid_t uid; // real user id; the effective one is root in every case
    std::vector<std::string> args;
    const char *opened;
    bool as_user;
};

class RunSequence : public ::testing::TestWithParam<open_case> {};

TEST_P(RunSequence, OpensWithTheUsersRightsOnlyWhatASetuidRunWasToldToOpen) {
    const open_case &c = GetParam();
    sim_reset();
    sim_set_uid(c.uid);
    sim_set_board_string(board_string::maker, "Supermicro");
    sim_set_board_string(board_string::product, "X7DBP");
    sim_add_chip(0x2f);
    sim_detach_opens(0);

    std::vector<std::string> words = {"vantorel"};
    words.insert(words.end(), c.args.begin(), c.args.end());
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    optind = 0; // a fresh getopt(3) scan
    int status = -1;
    capture_traced(false,
                   [&] { status = run_program(static_cast<int>(words.size()), argv.data()); });
    EXPECT_EQ(status, 0);

    bool as_user = false;
    const char *opened = sim_last_open(&as_user);
    ASSERT_NE(opened, nullptr);
    EXPECT_STREQ(opened, c.opened);
    EXPECT_EQ(as_user, c.as_user);
    ASSERT_EQ(sim_log_size(), facts_of(chip_kind::w83793g).reads.size());
    for (size_t i = 0; i < sim_log_size(); i++)
        ASSERT_EQ(sim_log_entry(i).euid, c.uid) << "request " << i << " made as root";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunSequence,
    ::testing::Values(
        open_case{"setuid_default_device", 12345, {}, "/dev/smb0", false},
        open_case{"setuid_named_default_path", 12345, {"-f", "/dev/smb0"}, "/dev/smb0", true},
        open_case{"setuid_named_device", 12345, {"-f", "/dev/i2c-3"}, "/dev/i2c-3", true},
        open_case{"root_named_device", 0, {"-f", "/dev/i2c-3"}, "/dev/i2c-3", false}),
    [](const auto &info) { return std::string(info.param.name); });

// Runs the program in-process with ARGS after its name; its exit status.
int run_with(std::vector<std::string> args) {
    std::vector<std::string> words = {"vantorel"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    optind = 0; // a fresh getopt(3) scan
    return run_program(static_cast<int>(words.size()), argv.data());
}

// A run leaves nothing set that the next run in the process would see: not the trace of -v,
// not the silence that -N asks of getopt(3), whatever way the first run ended.
TEST(RunSequence, LeavesNothingSetForTheNextRun) {
    struct next_case {
        std::vector<std::string> first;
        std::vector<std::string> second;
    } cases[] = {
        {{"-v", "-l"}, {"-l"}},                    // ended by the listing
        {{"-v", "-J", "-c"}, {"-l"}},              // a usage error after parsing
        {{"-v", "-f", "/no/such/device"}, {"-l"}}, // a failed open
        {{"-N", "-v", "-Z"}, {"-Z"}},              // a bad option of a check
    };
    for (const next_case &c : cases) {
        sim_reset();
        sim_set_board_string(board_string::maker, "Supermicro");
        sim_set_board_string(board_string::product, "X7DBP");
        sim_add_chip(0x2f);
        std::string second_out, second_err;
        capture_stderr([&] { capture_stdout([&] { run_with(c.first); }); });
        EXPECT_FALSE(opt_verbose) << c.first[0];
        second_err =
            capture_stderr([&] { second_out = capture_stdout([&] { run_with(c.second); }); });
        EXPECT_EQ(second_out.find("==> "), std::string::npos) << second_out;
        if (c.second[0] == "-Z") {
            EXPECT_NE(second_err.find("invalid option"), std::string::npos) << second_err;
        }
    }
}

} // namespace
