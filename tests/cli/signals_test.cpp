// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// What other processes can do to a run: stop it while it holds the device (its user with
// kill(2), a terminal with job control's signals), learn from it who holds the device, and
// close the pipe it writes into. The setuid-root cases install a setuid-root copy of the
// simulated program, run by nobody, and need root.
#include "cli.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// The world of a setuid-root run by nobody.
const std::string nobody_setuid_world = "uid 65534\neuid 0\n";

// A directory of the test's own with a character device in it that everyone may read and
// write (the null device's numbers: the simulated bus lies behind it) and whose lock no other
// test takes, and, on request, a setuid-root copy of the simulated program.
class Installed : public ::testing::Test {
  protected:
    std::string dir = temp_path("installed");
    std::string device = dir + "/bus";
    std::string program = dir + "/vantorel";
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root for a device node and a setuid-root program";
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0) << dir;
        ASSERT_EQ(mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0) << device;
        ASSERT_EQ(chmod(device.c_str(), 0666), 0);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
    }
    // Whether another process holds the device's lock: tried, and let go again at once.
    bool device_locked() const {
        int fd = open(device.c_str(), O_RDWR | O_CLOEXEC);
        bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
        close(fd);
        return locked;
    }
};

// The user ids of process PID as /proc/PID/status lists them: real, effective, saved, file
// system.
std::string user_ids(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Uid:"))
            return line.substr(4);
    }
    return "";
}

// Which of SIGNALS a process of USER may send to PID: the signals that kill(2) accepted.
std::vector<int> sent_as(uid_t user, pid_t pid, const std::vector<int> &signals) {
    int report[2];
    EXPECT_EQ(pipe(report), 0);
    pid_t sender = fork();
    if (sender == 0) {
        close(report[0]);
        if (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0)
            _exit(126);
        for (int sig : signals) {
            if (kill(pid, sig) == 0 || errno != EPERM)
                (void)!write(report[1], &sig, sizeof sig);
        }
        _exit(0);
    }
    close(report[1]);
    std::vector<int> sent;
    int sig;
    while (read(report[0], &sig, sizeof sig) == sizeof sig)
        sent.push_back(sig);
    close(report[0]);
    int wstatus = 0;
    waitpid(sender, &wstatus, 0);
    EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0)
        << "the sender could not be nobody";
    return sent;
}

// Waits up to SECONDS for PID to end, without reaping it. False when it stopped instead, or
// was still running.
bool ends_unstopped(pid_t pid, double seconds, bool &stopped) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    stopped = false;
    while (std::chrono::steady_clock::now() < end) {
        siginfo_t info{};
        if (waitid(P_PID, pid, &info, WEXITED | WSTOPPED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid) {
            stopped = info.si_code == CLD_STOPPED;
            return !stopped;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

struct stop_case {
    const char *name;
    bool setuid; // a setuid-root copy run by nobody; else the program run by root
};

class Stops : public Installed, public ::testing::WithParamInterface<stop_case> {};

// A run inside its hold on the device (a slow bus keeps it there): nobody, who ran the
// setuid-root copy, may send it nothing, SIGSTOP included, and the stop signals that a
// terminal sends its foreground group (SIGTSTP, SIGTTIN, SIGTTOU) are ignored. It holds the
// lock through them and finishes its report.
TEST_P(Stops, NeitherTheUserNorTheTerminalStopsARunThatHoldsTheDevice) {
    const stop_case &c = GetParam();
    if (c.setuid && wrapped_runs())
        GTEST_SKIP() << "a wrapped program is not run setuid-root";
    if (c.setuid) {
        ASSERT_NO_FATAL_FAILURE(install_setuid_root_copy(sim, program));
    }
    invocation inv{c.setuid ? program : sim,
                   {"-c", "-f", device},
                   (c.setuid ? nobody_setuid_world : std::string("euid 0\n")) +
                       fixture("x7dbp.fix") + "slow 40\n",
                   c.setuid ? nobody : 0};
    inv.own_process_group = true;
    std::string out = temp_path("out"), err = temp_path("err");
    pid_t pid = start(inv, out, err);
    bool locked = false;
    for (int i = 0; i < 500 && !locked; i++) {
        locked = device_locked();
        if (!locked)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(locked) << "the run never took the device's lock";
    bool nosuid = false;
    if (locked && c.setuid) {
        const std::string ids = user_ids(pid);
        nosuid = ids == "\t65534\t65534\t65534\t65534";
        if (!nosuid) {
            EXPECT_EQ(ids, "\t0\t65534\t0\t65534") << "real, effective, saved, file system";
            EXPECT_EQ(sent_as(nobody, pid, {SIGSTOP, SIGTERM, SIGKILL}), std::vector<int>{});
        }
    }
    for (int sig : {SIGTSTP, SIGTTIN, SIGTTOU})
        EXPECT_EQ(kill(-pid, sig), 0);
    EXPECT_TRUE(device_locked()) << "the signals came after the lock was let go";
    bool stopped = false;
    const bool ended = ends_unstopped(pid, 30, stopped);
    if (!ended)
        kill(pid, SIGKILL);
    outcome o = finish(pid, out, err);
    if (nosuid)
        GTEST_SKIP() << "the setuid bit has no effect in " << dir << " (mounted nosuid?)";
    EXPECT_FALSE(stopped) << "the run was stopped";
    EXPECT_TRUE(ended);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, expected("x7dbp.csv"));
}

INSTANTIATE_TEST_SUITE_P(Runs, Stops,
                         ::testing::Values(stop_case{"run_by_root", false},
                                           stop_case{"setuid_root_run_by_its_user", true}),
                         [](const auto &info) { return std::string(info.param.name); });

// The device locked by this process (root's): a setuid-root run by nobody that gives up on
// the lock names the process that took it, and its command name only where nobody could see
// it with ps(1): not under hidepid=invisible.
TEST_F(Installed, TheLockHoldersNameIsSaidOnlyWhereTheUserCouldSeeIt) {
    if (wrapped_runs())
        GTEST_SKIP() << "a wrapped program is not run setuid-root";
    ASSERT_NO_FATAL_FAILURE(install_setuid_root_copy(sim, program));
    int holder = open(device.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    const std::string taken = "vantorel: " + device + " locked for 0 s: lock taken by process " +
                              std::to_string(getpid());
    for (bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "hidepid=invisible" : "every process visible");
        invocation inv{program,
                       {"-c", "-t", "0", "-f", device},
                       nobody_setuid_world + fixture("x7dbp.fix"),
                       nobody};
        inv.proc_hidepid = hidden;
        outcome o = run(inv);
        if (o.status == 125) {
            close(holder);
            GTEST_SKIP() << "no mount namespace with a proc of its own";
        }
        EXPECT_EQ(o.status, 75);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, taken + (hidden ? "" : " (" + own_command() + ")") + "\n");
    }
    close(holder);
}

// --- a reader that has gone ---

// Standard output a pipe whose reading end is closed; the device a file of the run's own.
outcome run_into_closed_pipe(invocation inv) {
    const std::string device = temp_path("device");
    std::ofstream(device) << "";
    inv.args.insert(inv.args.begin(), {"-f", device});
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    close(ends[0]);
    inv.out = stdout_mode::descriptor;
    inv.stdout_fd = ends[1];
    // As a shell starts a command: SIGPIPE at its default action, which ends the process.
    void (*was)(int) = signal(SIGPIPE, SIG_DFL);
    outcome o = run(inv);
    signal(SIGPIPE, was);
    close(ends[1]);
    unlink(device.c_str());
    return o;
}

const std::string broken_pipe = "vantorel: write error on standard output: Broken pipe\n";

class ClosedPipe : public ::testing::TestWithParam<std::vector<std::string>> {};

// Every form: a write into the closed pipe is a write error, said, with status 74; the run is
// never ended by SIGPIPE.
TEST_P(ClosedPipe, IsAWriteErrorInEveryForm) {
    std::vector<std::string> args = GetParam();
    outcome o = run_into_closed_pipe({sim, args, fixture("x7dbp.fix")});
    EXPECT_EQ(o.status, 74) << "-1: ended by a signal";
    EXPECT_EQ(o.err, broken_pipe);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ClosedPipe,
    ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"-a"},
                      std::vector<std::string>{"-c"}, std::vector<std::string>{"-J"},
                      std::vector<std::string>{"-P"}, std::vector<std::string>{"-v", "-c"},
                      std::vector<std::string>{"-S"}, std::vector<std::string>{"-l"}),
    [](const auto &info) {
        std::string name = "plain";
        for (const std::string &a : info.param)
            name += "_" + a.substr(1);
        return name;
    });

// -P -v -o FILE | true: the report goes to FILE, the trace into the closed pipe. The run
// fails on the trace, and the failed run's rule replaces FILE: vantorel_up 0, never the file
// as it was.
TEST(ClosedPipeWithFile, LeavesTheFailedExpositionInTheFile) {
    const std::string dir = temp_path("closed-pipe");
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    const std::string file = dir + "/vantorel.prom";
    std::ofstream(file) << "an old reading\n";
    outcome o = run_into_closed_pipe({sim, {"-P", "-v", "-o", file}, fixture("x7dbp.fix")});
    EXPECT_EQ(o.status, 74);
    EXPECT_EQ(o.err, broken_pipe);
    EXPECT_EQ(read_file(file), expected("failed.prom"));
    std::filesystem::remove_all(dir);
}

} // namespace
