// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The command-line suite: a setuid-root installation run by an ordinary user.
#include "cli.h"

#include <fcntl.h>
#include <sys/file.h>

namespace {

struct named_device_case {
    const char *name;
    std::string (*make)(const std::string &scratch); // the path given to -f
    const char *refusal; // errno text of the failed open, nullptr when the report prints
};

std::string root_only_file(const std::string &scratch) {
    std::ofstream(scratch) << "";
    EXPECT_EQ(0, chmod(scratch.c_str(), 0600)) << scratch;
    return scratch;
}
std::string link_to_null(const std::string &scratch) {
    EXPECT_EQ(0, symlink("/dev/null", scratch.c_str())) << scratch;
    return scratch;
}
std::string open_regular_file(const std::string &scratch) {
    std::ofstream(scratch) << "";
    EXPECT_EQ(0, chmod(scratch.c_str(), 0666)) << scratch;
    return scratch;
}
std::string open_device(const std::string &) {
    return "/dev/null"; // a character device that everyone may read and write
}

class NamedDevice : public ::testing::TestWithParam<named_device_case> {
  protected:
    std::string scratch = temp_path("named");
    void TearDown() override {
        unlink(scratch.c_str());
    }
};

TEST_P(NamedDevice, OpensOnlyWhatTheUserCouldAsACharacterDevice) {
    const named_device_case &c = GetParam();
    std::string path = c.make(scratch);
    outcome o = run({sim, {"-c", "-f", path}, setuid_world + fixture("x7dbp.fix")});
    if (c.refusal == nullptr) {
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, expected("x7dbp.csv"));
        EXPECT_EQ(o.err, "");
    } else {
        EXPECT_EQ(o.status, 66);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, "vantorel: open() on " + path + " failed: " + c.refusal + "\n");
    }
    // Run by root, the same path opens as it always did: only a link or device is needed.
    o = run({sim, {"-c", "-f", path}, fixture("x7dbp.fix")});
    EXPECT_EQ(o.status, 0) << o.err;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, NamedDevice,
    ::testing::Values(named_device_case{"root_only_file", root_only_file, "Permission denied"},
                      named_device_case{"symbolic_link", link_to_null,
                                        "Too many levels of symbolic links"},
                      named_device_case{"regular_file", open_regular_file, "No such device"},
                      named_device_case{"device_the_user_may_open", open_device, nullptr}),
    by_case_name{});

TEST_F(Cli, RefusedDeviceIsNeverLockedSoARunFailsAtOnceWhileAnotherHoldsIt) {
    chmod(device.c_str(), 0600);
    int holder = open(device.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    std::string out = temp_path("out"), err = temp_path("err");
    pid_t pid = start({sim, {"-f", device}, setuid_world + x7dbp_world}, out, err);
    bool ended = false;
    for (int i = 0; i < 200 && !ended; i++) { // up to ten seconds, for slow wrapped runs
        siginfo_t info{};
        ended = waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
        if (!ended)
            usleep(50 * 1000);
    }
    if (!ended)
        kill(pid, SIGKILL);
    close(holder);
    outcome o = finish(pid, out, err);
    ASSERT_TRUE(ended) << "the refused run waited for the lock";
    EXPECT_EQ(o.status, 66);
    EXPECT_EQ(o.err, "vantorel: open() on " + device + " failed: Permission denied\n");
}

// While the device is open, the effective ids are the user's (the real and saved ones root's,
// so that the user cannot stop the run); root goes for good once the device is closed.
TEST_F(Cli, PrivilegesAreGoneBeforeTheFirstBusRequest) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{"-v", "-f", "/dev/null"}, std::vector<std::string>{"-v"}}) {
        SCOPED_TRACE(args.size() == 1 ? "default device" : "named device");
        outcome o = run({sim, args, setuid_world + fixture("x7dbp.fix")});
        if (args.size() == 1) {
            // The default device is opened with root's rights; there is none here to open.
            EXPECT_EQ(o.status, 66);
            EXPECT_EQ(count(o.out, "privileges dropped"), 0u);
            continue;
        }
        EXPECT_EQ(o.status, 0) << o.err;
        size_t held = o.out.find("==> privileges held while the device is locked: uid 0, euid "
                                 "12345\n");
        ASSERT_NE(held, std::string::npos) << o.out;
        EXPECT_LT(held, o.out.find("==> read_byte("));
        size_t dropped = o.out.find("==> privileges dropped: uid 12345, euid 12345\n");
        ASSERT_NE(dropped, std::string::npos) << o.out;
        EXPECT_GT(dropped, o.out.rfind("==> read_byte("));
        EXPECT_EQ(count(o.out, "privileges dropped"), 1u);
    }
    // Run by root there is nothing to drop and the trace says nothing of it.
    outcome o = sim_run({"-v"}, fixture("x7dbp.fix"));
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(count(o.out, "privileges dropped"), 0u);
}

// Ids that cannot be held end the run before the bus; root that cannot be given up once the
// device is closed ends it before the report, with its own diagnostic.
TEST_F(Cli, FailedPrivilegeDropEndsTheRunBeforeTheReportWithItsOwnDiagnostic) {
    const struct {
        const char *world;
        int status;
        bool bus_read;
        const char *message;
    } cases[] = {
        {"failhold", 66, false, "vantorel: open() on /dev/null failed: Operation not permitted\n"},
        {"faildrop group", 71, true,
         "vantorel: dropping group privileges failed: Operation not permitted\n"},
        {"faildrop user", 71, true,
         "vantorel: dropping user privileges failed: Operation not permitted\n"},
        {"faildrop regain", 71, true,
         "vantorel: root privileges could be regained after dropping them\n"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.world);
        outcome o = run(
            {sim, {"-v", "-f", "/dev/null"}, setuid_world + c.world + "\n" + fixture("x7dbp.fix")});
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(count(o.out, "read_byte") != 0, c.bus_read) << o.out;
        EXPECT_EQ(o.out.find(expected("x7dbp.txt")), std::string::npos) << o.out;
        EXPECT_EQ(o.err, c.message);
    }
}

} // namespace
