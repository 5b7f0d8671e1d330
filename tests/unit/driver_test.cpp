// The run sequence in-process over the simulated platform: which kind of open a run makes,
// and that a setuid-root run asks nothing of the bus while it is still root.
#include "capture.h"
#include "main/driver.h"
#include "main/trace.h"
#include "platform/sim.h"

#include <gtest/gtest.h>

#include <string>
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
    sim_set_kenv("smbios.planar.maker", "Supermicro");
    sim_set_kenv("smbios.planar.product", "X7DBP");
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
    ASSERT_EQ(sim_log_size(), 43u);
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

} // namespace
