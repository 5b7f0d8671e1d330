// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The command-line suite: the device lock.
#include "cli.h"

#include <fcntl.h>
#include <sys/file.h>

namespace {

struct lock_case {
    const char *name;
    std::vector<std::string> args;
    bool released; // the lock is let go 300 ms into the run; otherwise held while it lasts
    int status;
    const char *stdout_file;
    int seconds; // of -t, for a run that gives up: its message and its duration
};

class DeviceLock : public Cli, public ::testing::WithParamInterface<lock_case> {};

// Another run holds the device: a run waits for it without -t, and with -t (or -N's own
// bound) takes it once it is free, or gives up when the seconds have passed, naming the
// holder (this process, through /proc/locks).
TEST_P(DeviceLock, IsWaitedForAsLongAsTheOptionsSay) {
    const lock_case &c = GetParam();
    int holder = open(device.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    std::vector<std::string> args = {"-f", device};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::string out = temp_path("out"), err = temp_path("err");
    const auto began = std::chrono::steady_clock::now();
    pid_t pid = start({sim, args, fixture("x7dbp.fix") + x7dbp_limits}, out, err);
    const bool ended = ended_within(pid, c.released ? 0.3 : c.seconds + slack());
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    EXPECT_EQ(ended, !c.released) << "after " << took.count() << " s";
    close(holder);
    outcome o = finish(pid, out, err);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.out, expected(c.stdout_file));
    if (c.released) {
        EXPECT_EQ(o.err, "");
    } else {
        EXPECT_EQ(o.err, warn_prefix + still_locked(device, c.seconds) + "\n");
        EXPECT_GE(took.count(), c.seconds);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceLock,
    ::testing::Values(
        lock_case{"waited_for_without_bound", {"-c"}, true, 0, "x7dbp.csv", 0},
        lock_case{"taken_once_free_within_the_bound", {"-c", "-t", "5"}, true, 0, "x7dbp.csv", 0},
        lock_case{"taken_once_free_within_the_plugins_bound", {"-N"}, true, 0, "x7dbp.plugin", 0},
        lock_case{"given_up_after_the_bound", {"-c", "-t", "1"}, false, 75, "/dev/null", 1},
        lock_case{"tried_once_without_waiting", {"-J", "-t", "0"}, false, 75, "/dev/null", 0}),
    by_case_name{});

// The kernel's wait channel of a process: what it sleeps in.
std::string wait_channel(pid_t pid) {
    return read_file("/proc/" + std::to_string(pid) + "/wchan");
}

// The trace is held while the device is open and written out once it is closed; it reads
// exactly as when it went straight to standard output, and a message on standard error
// stands among its lines where the streams' own buffering puts it (standard output to a file
// is flushed at the end, standard error at once).
TEST_F(Cli, VerboseOutputAndItsMessagesReadAsWhenWrittenStraightOut) {
    struct {
        const char *name;
        std::vector<std::string> args;
        std::string world;
        int status;
        const char *expected;
    } cases[] = {
        {"plain", {"-v"}, fixture("x7dbp.fix"), 0, "x7dbp-verbose.txt"},
        {"csv", {"-v", "-c"}, fixture("p8sc8.fix"), 0, "p8sc8-verbose.csv"},
        {"json", {"-v", "-J"}, fixture("x6dva.fix"), 0, "x6dva-verbose.json"},
        {"bus failure", {"-v"}, x7dbp_world + "failreg 0x2f 0x22\n", 74, "bus-failure-verbose.txt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.status == 74 && wrapped_runs())
            continue; // ends_in_byte_access
        std::vector<std::string> args = {"-f", device};
        args.insert(args.end(), c.args.begin(), c.args.end());
        invocation inv{sim, args, c.world};
        inv.stderr_as_stdout = true;
        outcome o = run(inv);
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(normalised(o.out), normalised(expected(c.expected)));
    }
}

// A reader who never drains standard output or standard error, with -v or without, blocks
// the run only once the device is closed: a second run on the same device goes ahead at once,
// and once the reader does drain, every byte of the first run comes through, in order.
struct undrained_case {
    const char *name;
    std::vector<std::string> args;
    const char *world;
    bool out, err; // which of the run's streams go to the full pipe
    int status;
};

class Undrained : public Cli, public ::testing::WithParamInterface<undrained_case> {};

const char *const failing_x7dbp = "maker Supermicro\nproduct X7DBP\nchip 0x2f\nfailreg 0x2f 0x22\n";

TEST_P(Undrained, OutputHoldsNoLockAndLosesNothing) {
    if (wrapped_runs())
        GTEST_SKIP() << "the wrapper, not the program, is the process the test watches";
    const undrained_case &c = GetParam();
    const std::string world = c.world != nullptr ? c.world : fixture("x7dbp.fix");
    std::vector<std::string> args = {"-f", device};
    args.insert(args.end(), c.args.begin(), c.args.end());

    // What the pipe is to receive: the same run with nothing in its way.
    invocation unhindered{sim, args, world};
    unhindered.stderr_as_stdout = c.out && c.err;
    outcome reference = run(unhindered);
    ASSERT_EQ(reference.status, c.status);
    const std::string want = c.out ? reference.out : reference.err;

    // A pipe already full, that nobody reads: the run blocks on its first write to it.
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC | O_NONBLOCK), 0);
    char block[4096] = {};
    size_t filled = 0;
    for (ssize_t n; (n = write(p[1], block, sizeof block)) > 0;)
        filled += static_cast<size_t>(n);
    ASSERT_EQ(fcntl(p[0], F_SETFL, 0), 0);
    ASSERT_EQ(fcntl(p[1], F_SETFL, 0), 0);
    invocation blocked{sim, args, world};
    if (c.out) {
        blocked.out = stdout_mode::descriptor;
        blocked.stdout_fd = p[1];
        blocked.stderr_as_stdout = c.err;
    } else {
        blocked.stderr_fd = p[1];
    }
    std::string out = temp_path("out"), err = temp_path("err");
    pid_t stuck = start(blocked, out, err);
    close(p[1]);
    for (int i = 0; i < 400 && !wait_channel(stuck).ends_with("pipe_write"); i++)
        usleep(50 * 1000);
    EXPECT_TRUE(wait_channel(stuck).ends_with("pipe_write")) << "the first run never blocked";

    // A second run on the same device goes ahead at once.
    std::string out2 = temp_path("out"), err2 = temp_path("err");
    pid_t second = start({sim, {"-f", device, "-c"}, fixture("x7dbp.fix")}, out2, err2);
    bool ended = false;
    for (int i = 0; i < 400 && !ended; i++) { // up to twenty seconds
        siginfo_t info{};
        ended =
            waitid(P_PID, second, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == second;
        if (!ended)
            usleep(50 * 1000);
    }
    if (!ended)
        kill(second, SIGKILL);
    outcome o = finish(second, out2, err2);
    EXPECT_TRUE(ended) << "the second run waited for the lock of a run blocked on its output";
    if (ended) {
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.out, expected("x7dbp.csv"));
    }

    // The reader drains at last: the filler, then all the first run wrote.
    std::string drained;
    char buf[4096];
    for (ssize_t n; (n = read(p[0], buf, sizeof buf)) > 0;)
        drained.append(buf, static_cast<size_t>(n));
    close(p[0]);
    outcome first = finish(stuck, out, err);
    EXPECT_EQ(first.status, c.status);
    ASSERT_GE(drained.size(), filled);
    EXPECT_EQ(normalised(drained.substr(filled)), normalised(want));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Undrained,
    ::testing::Values(undrained_case{"report", {"-c"}, nullptr, true, false, 0},
                      undrained_case{"trace", {"-v", "-c"}, nullptr, true, false, 0},
                      undrained_case{"bus_failure_message", {}, failing_x7dbp, false, true, 74},
                      undrained_case{"trace_and_message", {"-v"}, failing_x7dbp, true, true, 74}),
    by_case_name{});

} // namespace
