// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The program as a user and a script see it: standard output byte for byte, standard error,
// and the exit status, over the simulated platform (board identity, user id, chips) and, for
// what needs no hardware, the Linux build itself.
#include "chip_facts.h"
#include "run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <map>
#include <regex>
#include <set>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

const std::string sim = VANTOREL_SIM_BIN;
const std::string linux_build = VANTOREL_LINUX_BIN;
const std::string expected_dir = VANTOREL_EXPECTED_DIR;

std::string expected(const std::string &name) {
    return read_file(expected_dir + "/" + name);
}
std::string fixture(const std::string &name) {
    return read_file(expected_dir + "/../fixtures/" + name);
}

// The simulated build takes its effective user id from the world it is given.
std::string as_user(uid_t uid) {
    return "euid " + std::to_string(uid) + "\n";
}

// A stand-in device node: the simulated platform opens and locks a real file.
class Cli : public ::testing::Test {
  protected:
    std::string device = temp_path("device");
    void SetUp() override {
        std::ofstream(device) << "";
    }
    void TearDown() override {
        unlink(device.c_str());
    }
    outcome sim_run(std::vector<std::string> args, const std::string &world, uid_t uid = 0) {
        args.insert(args.begin(), {"-f", device});
        return run({sim, args, as_user(uid) + world});
    }
};

// A table's case prints as its name in test names and messages, not as its bytes.
template <typename Case>
requires requires(const Case &c) {
    c.name;
}
void PrintTo(const Case &c, std::ostream *os) {
    *os << c.name;
}

const std::string x7dbp_world = "maker Supermicro\nproduct X7DBP\nchip 0x2f\n";
const std::string warn_prefix = "vantorel: ";

// --- option parsing: everything decided before the run sequence starts ---

struct option_case {
    const char *name;
    std::vector<std::string> args;
    uid_t uid;
    int status;
    const char *stdout_file; // expected standard output
    const char *stderr_text; // standard error; up to the errno text after a warn(3) message
};

class Options : public Cli, public ::testing::WithParamInterface<option_case> {};

TEST_P(Options, EndWithTheirOutputAndStatus) {
    const option_case &c = GetParam();
    outcome o = run({sim, c.args, as_user(c.uid) + x7dbp_world});
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.out, expected(c.stdout_file));
    std::string err = c.stderr_text;
    if (err.ends_with(": ")) // warn(3): the errno text that follows is not ours
        EXPECT_TRUE(o.err.starts_with(err)) << o.err;
    else
        EXPECT_EQ(o.err, err);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Options,
    ::testing::Values(
        option_case{"list", {"-l"}, 0, 0, "list.txt", ""},
        option_case{"list_as_user", {"-l"}, 1000, 0, "list.txt", ""},
        option_case{"conflicting_formats_then_list", {"-J", "-c", "-l"}, 0, 0, "list.txt", ""},
        option_case{"bad_option_after_list_unseen", {"-l", "-z"}, 0, 0, "list.txt", ""},
        option_case{"help", {"-h"}, 0, 64, "usage.txt", ""},
        option_case{"help_as_user", {"-h"}, 1000, 64, "usage.txt", ""},
        option_case{"question_mark_without_diagnostic", {"-?"}, 0, 64, "usage.txt", ""},
        option_case{
            "unknown_option", {"-z"}, 0, 64, "usage.txt", "vantorel: invalid option -- 'z'\n"},
        option_case{"unknown_option_before_list",
                    {"-z", "-l"},
                    0,
                    64,
                    "usage.txt",
                    "vantorel: invalid option -- 'z'\n"},
        option_case{"n_as_device_path_is_no_plugin_mode",
                    {"-f", "-N", "-f"},
                    0,
                    64,
                    "usage.txt",
                    "vantorel: option requires an argument -- 'f'\n"},
        option_case{"timeout_not_a_number",
                    {"-t", "1.5"},
                    0,
                    64,
                    "/dev/null",
                    "vantorel: -t 1.5: not a whole number of seconds\n"},
        option_case{"timeout_without_argument",
                    {"-t"},
                    0,
                    64,
                    "usage.txt",
                    "vantorel: option requires an argument -- 't'\n"},
        option_case{"device_without_argument",
                    {"-f"},
                    0,
                    64,
                    "usage.txt",
                    "vantorel: option requires an argument -- 'f'\n"},
        option_case{"help_after_operand_unseen_then_root_check",
                    {"operand", "-h"},
                    1000,
                    77,
                    "/dev/null",
                    "vantorel: Must be run as root, or setuid root: "}),
    [](const auto &info) { return std::string(info.param.name); });

// warn(3) appends the text of whatever errno holds; only the message itself is ours.
void expect_warning(const outcome &o, const std::string &message) {
    EXPECT_TRUE(o.err.starts_with(warn_prefix + message + ": ")) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
}

TEST_F(Cli, TraceBeforeListFramesTheListingAndAfterItIsNeverParsed) {
    outcome o = run({sim, {"-v", "-l"}, ""});
    EXPECT_EQ(o.status, 0);
    std::regex framed(
        "==> list_models\\(b = 0x[0-9a-f]+\\)\n([^]*)==> list_models\\(\\) returning\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(o.out, m, framed)) << o.out;
    EXPECT_EQ(m[1].str(), expected("list.txt"));
    EXPECT_EQ(run({sim, {"-l", "-v"}, ""}).out, expected("list.txt"));
}

// --- the run sequence: each failing step with its message, channel and status ---

TEST_F(Cli, RootCheckComesFirst) {
    outcome o = sim_run({"-J", "-c"}, x7dbp_world, 1000);
    EXPECT_EQ(o.status, 77);
    EXPECT_EQ(o.out, "");
    expect_warning(o, "Must be run as root, or setuid root");
}

TEST_F(Cli, ConflictingFormatsAreRefusedBeforeAnythingIsRead) {
    // No board strings and no chip: the refusal must come before either is asked for. The file
    // of -o is left alone, unless the run asked for the exposition there: a failed run then
    // says so in it, as every failed run after the options does.
    const std::string file = temp_path("report");
    const std::vector<std::vector<std::string>> pairs = {{"-J", "-c"},
                                                         {"-P", "-J"},
                                                         {"-c", "-P"},
                                                         {"-J", "-c", "-o", file},
                                                         {"-P", "-J", "-o", file}};
    for (std::vector<std::string> args : pairs) {
        SCOPED_TRACE(args[0] + " " + args[1] + (args.size() > 2 ? " -o" : ""));
        const bool exposition = args.size() > 2 && args[0] == "-P";
        std::ofstream(file) << "old\n";
        args.insert(args.end(), {"-v", "-f", "/nonexistent"});
        outcome o = run({sim, args, "euid 0\n"});
        EXPECT_EQ(o.status, 64);
        if (exposition)
            EXPECT_TRUE(o.out.starts_with("==> replace_file(file = " + file + ")\n")) << o.out;
        else
            EXPECT_EQ(o.out, "");
        expect_warning(o, "Please choose only one output format");
        EXPECT_EQ(read_file(file), exposition ? expected("failed.prom") : "old\n");
    }
    unlink(file.c_str());
}

TEST_F(Cli, MissingBoardStringsNameTheVariable) {
    outcome o = sim_run({}, "product X7DBP\nchip 0x2f\n");
    EXPECT_EQ(o.status, 71);
    expect_warning(o, "kenv() for smbios.planar.maker failed");
    o = sim_run({}, "maker Supermicro\nchip 0x2f\n");
    EXPECT_EQ(o.status, 71);
    expect_warning(o, "kenv() for smbios.planar.product failed");
    EXPECT_EQ(o.out, "");
}

TEST_F(Cli, UnsupportedBoardsAreReportedOnStandardOutput) {
    const std::string products[] = {"X6DVL", "X7SBI", "X7DBP ", "X7SB4", std::string(200, 'P'), ""};
    for (const std::string &p : products) {
        SCOPED_TRACE("product '" + p + "'");
        outcome o = sim_run({}, "maker Supermicro\nproduct " + p + "\nchip 0x2f\n");
        EXPECT_EQ(o.status, 65);
        EXPECT_EQ(o.out, expected("unsupported.txt"));
        EXPECT_EQ(o.err, "");
    }
    outcome o = sim_run({}, "maker Supermicro Computer\nproduct X7DBP\nchip 0x2f\n");
    EXPECT_EQ(o.status, 65);
}

TEST_F(Cli, OverlongBoardStringIsCutInsideItsBufferAndTracedSo) {
    std::string product(200, 'P');
    outcome o = sim_run({"-v"}, "maker Supermicro\nproduct " + product + "\n");
    EXPECT_EQ(o.status, 65);
    EXPECT_NE(o.out.find("==> \tproduct = " + std::string(127, 'P') +
                         "\n==> board_lookup() "
                         "returning NULL\n"),
              std::string::npos)
        << o.out;
}

TEST_F(Cli, UnopenableDeviceNamesThePath) {
    outcome o = run({sim, {"-f", "/nonexistent/smb9"}, x7dbp_world});
    EXPECT_EQ(o.status, 66);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "vantorel: open() on /nonexistent/smb9 failed: No such file or directory\n");
}

TEST_F(Cli, DefaultDeviceIsSmb0) {
    if (access("/dev/smb0", F_OK) == 0)
        GTEST_SKIP() << "this machine has a /dev/smb0";
    outcome o = run({sim, {}, x7dbp_world});
    EXPECT_EQ(o.status, 66);
    EXPECT_EQ(o.err, "vantorel: open() on /dev/smb0 failed: No such file or directory\n");
}

TEST_F(Cli, DevicePathLengthIsBoundedBeforeAnythingIsOpened) {
    std::string longest(1023, 'd'); // 1023 bytes: fits with its terminator
    longest[0] = '/';
    outcome o = run({sim, {"-f", longest}, x7dbp_world});
    EXPECT_EQ(o.status, 66);
    EXPECT_EQ(o.err, "vantorel: open() on " + longest + " failed: File name too long\n");

    o = run({sim, {"-f", longest + "d", "-l"}, x7dbp_world});
    EXPECT_EQ(o.status, 64);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "vantorel: device path too long (1023 bytes at most)\n");
}

TEST_F(Cli, LaterDeviceReplacesEarlierAndOperandsEndTheOptions) {
    outcome o = run(
        {sim, {"-f", "/nonexistent", "-f", device, "-c", "operand", "-J"}, fixture("x7dbp.fix")});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, expected("x7dbp.csv"));
    EXPECT_EQ(o.err, "");
}

// --- successful reports, byte for byte ---

struct report_case {
    const char *board;
    const char *option; // nullptr for the plain form
    const char *suffix;
    // With -a, over the board's fixture and its limit and status registers (BOARD-limits.fix),
    // into BOARD-limits.SUFFIX.
    bool limits = false;
};

class Reports : public Cli, public ::testing::WithParamInterface<report_case> {};

TEST_P(Reports, MatchTheHandWrittenText) {
    const report_case &c = GetParam();
    std::vector<std::string> args;
    std::string world = fixture(std::string(c.board) + ".fix");
    std::string name = c.board;
    if (c.limits) {
        args.push_back("-a");
        world += fixture(name + "-limits.fix");
        name += "-limits";
    }
    if (c.option)
        args.push_back(c.option);
    outcome o = sim_run(args, world);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, expected(name + c.suffix));
    EXPECT_EQ(o.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Boards, Reports,
    ::testing::Values(
        report_case{"x7dbp", nullptr, ".txt"}, report_case{"x7dbp", "-c", ".csv"},
        report_case{"x7dbp", "-J", ".json"}, report_case{"p8sc8", nullptr, ".txt"},
        report_case{"p8sc8", "-c", ".csv"}, report_case{"p8sc8", "-J", ".json"},
        report_case{"x6dva", nullptr, ".txt"}, report_case{"x6dva", "-c", ".csv"},
        report_case{"x6dva", "-J", ".json"}, report_case{"x7dbp", "-P", ".prom"},
        report_case{"p8sc8", "-P", ".prom"}, report_case{"x6dva", "-P", ".prom"},
        report_case{"x7dbp", nullptr, ".txt", true}, report_case{"x7dbp", "-c", ".csv", true},
        report_case{"x7dbp", "-J", ".json", true}, report_case{"x7dbp", "-P", ".prom", true},
        report_case{"p8sc8", nullptr, ".txt", true}, report_case{"p8sc8", "-c", ".csv", true},
        report_case{"p8sc8", "-J", ".json", true}, report_case{"p8sc8", "-P", ".prom", true},
        report_case{"x6dva", nullptr, ".txt", true}, report_case{"x6dva", "-c", ".csv", true},
        report_case{"x6dva", "-J", ".json", true}, report_case{"x6dva", "-P", ".prom", true}),
    [](const auto &info) {
        std::string s = info.param.suffix;
        return std::string(info.param.board) + (info.param.limits ? "_limits_" : "_") + s.substr(1);
    });

TEST_F(Cli, ZeroChipShowsZerosAndTheFixedOffsets) {
    outcome o = sim_run({}, "maker Supermicro\nproduct X7SBA\nchip 0x2f\n");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, expected("x7sba-zero.txt"));
}

size_t count(const std::string &hay, const std::string &needle) {
    size_t n = 0;
    for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1))
        n++;
    return n;
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

// --- output that does not reach its destination is not a success ---

// Whatever the run writes on standard output (a report in any form, the listing, the
// plugin's report, its UNKNOWN report after a failure, the trace), a standard output that
// cannot take it fails the run, and says so once on standard error: the plugin's answer
// stays UNKNOWN.
struct unwritable_case {
    const char *name;
    std::vector<std::string> args; // after -f DEVICE
    bool bus_fails;                // at the third transaction
    int status;
};

class UnwritableStandardOutput : public Cli,
                                 public ::testing::WithParamInterface<unwritable_case> {};

TEST_P(UnwritableStandardOutput, IsAnIoErrorSaidOnce) {
    const unwritable_case &c = GetParam();
    std::vector<std::string> args = {"-f", device};
    args.insert(args.end(), c.args.begin(), c.args.end());
    for (stdout_mode mode : {stdout_mode::full, stdout_mode::closed}) {
        if (mode == stdout_mode::closed && wrapped_runs())
            continue; // a wrapper fills a closed descriptor itself
        SCOPED_TRACE(mode == stdout_mode::full ? "to /dev/full" : "closed");
        invocation inv{sim, args, fixture("x7dbp.fix") + (c.bus_fails ? "fail 3\n" : "")};
        inv.out = mode;
        outcome o = run(inv);
        EXPECT_EQ(o.status, c.status);
        expect_warning(o, "write error on standard output");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnwritableStandardOutput,
    ::testing::Values(unwritable_case{"list", {"-l"}, false, 74},
                      unwritable_case{"json", {"-J"}, false, 74},
                      unwritable_case{"prometheus", {"-P"}, false, 74},
                      unwritable_case{"plugin", {"-N"}, false, 3},
                      unwritable_case{"plugin_and_trace", {"-v", "-N"}, false, 3},
                      unwritable_case{"plugin_listing", {"-N", "-l"}, false, 3},
                      unwritable_case{"plugin_usage", {"-N", "-h"}, false, 3},
                      unwritable_case{"plugin_bus_failure_and_trace", {"-v", "-N"}, true, 3}),
    [](const auto &info) { return std::string(info.param.name); });

// --- closed standard descriptors: the device never takes their place ---

// A wrapper (a shell and valgrind) opens files of its own into the free slots before the
// program starts, so only unwrapped runs start with a standard descriptor really closed.
const char *const wrapper_takes_descriptors = "the wrapper fills closed descriptors itself";

struct closed_case {
    const char *name;
    bool in, out, err;
};

class ClosedDescriptors : public Cli, public ::testing::WithParamInterface<closed_case> {};

// Run by root, with no C library to reopen them as in a setuid run: a closed descriptor is
// the lowest free one, which the device open would take, and the report would go to the bus.
TEST_P(ClosedDescriptors, NeverReachTheDevice) {
    if (wrapped_runs())
        GTEST_SKIP() << wrapper_takes_descriptors;
    const closed_case &c = GetParam();
    invocation inv{sim, {"-v", "-c", "-f", device}, as_user(0) + fixture("x7dbp.fix")};
    inv.stdin_closed = c.in;
    inv.out = c.out ? stdout_mode::closed : stdout_mode::capture;
    inv.stderr_closed = c.err;
    outcome o = run(inv);
    EXPECT_EQ(read_file(device), "") << "the report went into the device";
    if (c.out) {
        // Filled read-only: the report's write fails as it would to a closed descriptor.
        EXPECT_EQ(o.status, 74);
    } else {
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_NE(o.out.find("==> read_byte(fd = 3, slave = 0x2f, idxreg = 0x10)\n"),
                  std::string::npos)
            << o.out;
        EXPECT_NE(o.out.find(expected("x7dbp.csv")), std::string::npos) << o.out;
    }
    if (c.err)
        EXPECT_EQ(o.err, "");
    else if (c.out)
        expect_warning(o, "write error on standard output");
}

INSTANTIATE_TEST_SUITE_P(Cases, ClosedDescriptors,
                         ::testing::Values(closed_case{"stdin", true, false, false},
                                           closed_case{"stdout", false, true, false},
                                           closed_case{"stderr", false, false, true},
                                           closed_case{"all_three", true, true, true}),
                         [](const auto &info) { return std::string(info.param.name); });

// --- the device lock ---

// The limits of an X7DBP, over its fixture: OK with every limit meant.
const std::string x7dbp_limits = "reg 0x2f 0x78 0x50\nreg 0x2f 0x79 0x4b\n"
                                 "reg 0x2f 0x7a 0x46\nreg 0x2f 0x7b 0x41\n"
                                 "reg 0x2f 0x60 0xa0\nreg 0x2f 0x61 0x8c\n"
                                 "reg 0x2f 0x6a 0x22\nreg 0x2f 0x6b 0x1c\n"
                                 "reg 0x2f 0x90 0x04\nreg 0x2f 0x91 0x65\n";

// How much longer than its wait a run may take to give up: a run under a wrapper (valgrind)
// takes seconds to start on a loaded machine.
double slack() {
    return wrapped_runs() ? 30 : 3;
}

// Whether the child PID has ended within SECONDS, left unreaped for finish().
bool ended_within(pid_t pid, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        siginfo_t info{};
        if (waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
            return true;
        usleep(5 * 1000);
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

// The command name of this process, which /proc/locks makes the holder of a lock it takes.
std::string own_command() {
    std::string comm = read_file("/proc/self/comm");
    return comm.substr(0, comm.find('\n'));
}

// What a run says of DEVICE, locked by this process, at the end of a wait of SECONDS.
std::string still_locked(const std::string &device, int seconds) {
    return device + " still locked by process " + std::to_string(getpid()) + " (" + own_command() +
           ") after " + std::to_string(seconds) + " s";
}

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
    [](const auto &info) { return std::string(info.param.name); });

// The kernel's wait channel of a process: what it sleeps in.
std::string wait_channel(pid_t pid) {
    return read_file("/proc/" + std::to_string(pid) + "/wchan");
}

// What in a trace differs from run to run: the pointers (%p), and the device's descriptor
// under a wrapper that opens files of its own. Everything else must match byte for byte.
std::string normalised(const std::string &text) {
    static const std::regex pointer(
        "((?:maker|product|\\bs|\\bb) = |struct: |board_lookup\\(\\) returning )0x[0-9a-f]+");
    static const std::regex descriptor("\\b(fd|f) = [0-9]+");
    return std::regex_replace(std::regex_replace(text, pointer, "$1%p"), descriptor, "$1 = N");
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
    [](const auto &info) { return std::string(info.param.name); });

// --- a setuid-root installation run by an ordinary user ---

// A setuid-root run by a user to whom no file of the test belongs.
const std::string setuid_world = "uid 12345\neuid 0\n";

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
    [](const auto &info) { return std::string(info.param.name); });

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
        size_t dropped = o.out.find("==> privileges dropped: uid 12345, euid 12345\n");
        ASSERT_NE(dropped, std::string::npos) << o.out;
        EXPECT_LT(dropped, o.out.find("==> read_byte("));
        EXPECT_EQ(count(o.out, "privileges dropped"), 1u);
    }
    // Run by root there is nothing to drop and the trace says nothing of it.
    outcome o = sim_run({"-v"}, fixture("x7dbp.fix"));
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(count(o.out, "privileges dropped"), 0u);
}

TEST_F(Cli, FailedPrivilegeDropEndsTheRunBeforeTheBusWithItsOwnDiagnostic) {
    const std::pair<const char *, const char *> cases[] = {
        {"group", "vantorel: dropping group privileges failed: Operation not permitted\n"},
        {"user", "vantorel: dropping user privileges failed: Operation not permitted\n"},
        {"regain", "vantorel: root privileges could be regained after dropping them\n"}};
    for (auto [step, message] : cases) {
        SCOPED_TRACE(step);
        outcome o = run({sim,
                         {"-v", "-f", "/dev/null"},
                         setuid_world + "faildrop " + step + "\n" + fixture("x7dbp.fix")});
        EXPECT_EQ(o.status, 71);
        EXPECT_EQ(count(o.out, "read_byte"), 0u) << o.out;
        EXPECT_EQ(o.err, message);
    }
}

// --- the report written to a file (-o) ---

// A directory of its own for the file of -o, so that a temporary file left behind shows.
class ReportFile : public Cli {
  protected:
    std::string dir = temp_path("dir");
    std::string file = dir + "/vantorel.prom";
    void SetUp() override {
        Cli::SetUp();
        mkdir(dir.c_str(), 0755);
    }
    void TearDown() override {
        chmod(dir.c_str(), 0755);
        std::filesystem::remove_all(dir);
        Cli::TearDown();
    }
    // The names in the directory, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(dir))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    void old_file() {
        std::ofstream(file) << "old\n";
        chmod(file.c_str(), 0600);
    }
    // A report and a failed run's file written past fixed temporary names that others took.
    void write_past_taken_names(bool sticky);
};

mode_t mode_of(const std::string &path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST_F(ReportFile, EveryFormReplacesTheFileWholeAndLeavesStandardOutputEmpty) {
    // The last: -a goes to the file as to standard output.
    const std::pair<const char *, const char *> forms[] = {
        {nullptr, ".txt"}, {"-c", ".csv"}, {"-J", ".json"}, {"-P", ".prom"}, {"-a", "-limits.txt"}};
    for (auto [option, suffix] : forms) {
        SCOPED_TRACE(option ? option : "plain");
        old_file();
        std::vector<std::string> args = {"-o", file};
        if (option)
            args.push_back(option);
        const bool limits = option != nullptr && std::string(option) == "-a";
        outcome o =
            sim_run(args, fixture("x7dbp.fix") + (limits ? fixture("x7dbp-limits.fix") : ""));
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(read_file(file), expected(std::string("x7dbp") + suffix));
        EXPECT_EQ(mode_of(file), 0644u);
        EXPECT_EQ(entries(), std::vector<std::string>{"vantorel.prom"});
    }
}

TEST_F(ReportFile, TheTraceStaysOnStandardOutputAndTheFileHoldsThePureReport) {
    outcome o = sim_run({"-v", "-J", "-o", file}, fixture("x7dbp.fix"));
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(read_file(file), expected("x7dbp.json"));
    std::istringstream lines(o.out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.starts_with("==> ")) << line;
    // The report is written and synced unnamed, and named only to be renamed over the file.
    EXPECT_NE(o.out.find("==> replace_file(file = " + file + ")\n==> \tunnamed temporary file in " +
                         dir + "\n==> sensors_output_json(b = "),
              std::string::npos)
        << o.out;
    EXPECT_TRUE(o.out.ends_with("==> sensors_output_json() returning\n==> \ttemporary file " + dir +
                                "/.vantorel.0\n==> replace_file() returning 0\n"))
        << o.out;
}

// A failed run gives the same status and messages with -o as without. With -P alone, the file
// then holds the exposition of the failure; with any other form it is left as it was.
struct failure_case {
    const char *name;
    std::string world;
    std::vector<std::string> args;
    int status;
    bool replaced; // by the failure exposition, under -P
};

class FailedRun : public ReportFile, public ::testing::WithParamInterface<failure_case> {};

TEST_P(FailedRun, ReplacesThePrometheusFileAndNoOtherWithTheSameStatusAndMessages) {
    const failure_case &c = GetParam();
    for (const char *form : {"-P", "-J"}) {
        SCOPED_TRACE(form);
        std::vector<std::string> args = c.args;
        args.push_back(form);
        outcome without = sim_run(args, c.world);
        EXPECT_EQ(without.status, c.status) << without.err;
        old_file();
        args.insert(args.end(), {"-o", file});
        outcome with = sim_run(args, c.world);
        EXPECT_EQ(with.status, without.status);
        EXPECT_EQ(with.out, without.out);
        EXPECT_EQ(with.err, without.err);
        bool replaced = c.replaced && std::string(form) == "-P";
        EXPECT_EQ(read_file(file), replaced ? expected("failed.prom") : "old\n");
        EXPECT_EQ(entries(), std::vector<std::string>{"vantorel.prom"});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FailedRun,
    ::testing::Values(
        failure_case{"not_root", as_user(1000) + x7dbp_world, {}, 77, true},
        failure_case{"board_string", "maker Supermicro\n", {}, 71, true},
        failure_case{"unsupported_board", "maker Supermicro\nproduct X6DVL\n", {}, 65, true},
        failure_case{"device", x7dbp_world, {"-f", "/nonexistent/smb9"}, 66, true},
        failure_case{"conflicting_forms", x7dbp_world, {"-c"}, 64, true},
        failure_case{"bus", x7dbp_world + "failreg 0x2f 0x22\n", {}, 74, true},
        failure_case{"dual_chip_bus", "maker Supermicro\nproduct X6DVA\nchip 0x2c\n", {}, 74, true},
        failure_case{"setuid_unsupported_board",
                     setuid_world + "maker Supermicro\nproduct X6DVL\n",
                     {},
                     65,
                     true},
        failure_case{"setuid_device", setuid_world + x7dbp_world, {"-f", "/nonexistent"}, 66, true},
        // Root cannot be given up, so no file may be created.
        failure_case{"setuid_drop",
                     setuid_world + "faildrop user\n" + x7dbp_world,
                     {"-f", "/dev/null"},
                     71,
                     false}),
    [](const auto &info) { return std::string(info.param.name); });

// A run that fails once its report is written, or while it writes it, leaves the file saying
// so as well: standard output that cannot take the trace after the file was replaced, and a
// file too large for the disk where the exposition of a failed run still fits.
struct late_failure_case {
    const char *name;
    std::vector<std::string> args; // besides -P -o FILE
    stdout_mode out;
    unsigned long size_limit;
    const char *err; // the message after "vantorel: ", FILE standing for the file
};

class LateFailure : public ReportFile, public ::testing::WithParamInterface<late_failure_case> {};

TEST_P(LateFailure, LeavesTheFileSayingTheRunFailed) {
    const late_failure_case &c = GetParam();
    if (c.size_limit != 0 && wrapped_runs())
        GTEST_SKIP() << "the limit would cut the checker's own log";
    if (c.out == stdout_mode::closed && wrapped_runs())
        GTEST_SKIP() << "a wrapper fills a closed descriptor itself";
    old_file();
    invocation inv{sim, {"-f", device, "-P", "-o", file}, fixture("x7dbp.fix")};
    inv.args.insert(inv.args.end(), c.args.begin(), c.args.end());
    inv.out = c.out;
    inv.file_size_limit = c.size_limit;
    outcome o = run(inv);
    std::string err = c.err;
    if (size_t at = err.find("FILE"); at != std::string::npos)
        err.replace(at, 4, file);
    EXPECT_EQ(o.status, 74);
    EXPECT_EQ(o.err, "vantorel: " + err + "\n");
    EXPECT_EQ(read_file(file), expected("failed.prom"));
    EXPECT_EQ(entries(), std::vector<std::string>{"vantorel.prom"});
}

INSTANTIATE_TEST_SUITE_P(
    Causes, LateFailure,
    ::testing::Values(late_failure_case{"trace_to_full_disk",
                                        {"-v"},
                                        stdout_mode::full,
                                        0,
                                        "write error on standard output: No space left on device"},
                      late_failure_case{"trace_to_closed_output",
                                        {"-v"},
                                        stdout_mode::closed,
                                        0,
                                        "write error on standard output: Bad file descriptor"},
                      late_failure_case{"report_too_large",
                                        {},
                                        stdout_mode::capture,
                                        1024,
                                        "cannot write FILE: File too large"}),
    [](const auto &info) { return std::string(info.param.name); });

// A failed bus transaction on each chip kind, at the first, a middle and the last
// transaction of its snapshot (every chip answers 0): the message and status 74, the trace
// cut after the failed read's entry line, nothing else on standard output, and with -P -o the
// failure file.
struct bus_failure_case {
    const char *name;
    chip_kind kind;
    std::string world;  // the board, its chips and the failure
    size_t fails_at;    // the transaction that fails, counted from 1
    const char *reader; // the reader's entry line, up to the descriptor
    const char *why;    // the text of the failure's errno
};

class BusFailure : public ReportFile, public ::testing::WithParamInterface<bus_failure_case> {};

TEST_P(BusFailure, EndsTheRunAfterTheFailedReadWithItsMessageAndTheFailureFile) {
    const bus_failure_case &c = GetParam();
    const std::string message = "vantorel: ioctl(SMB_READB) failed: " + std::string(c.why) + "\n";
    outcome o = sim_run({"-v"}, c.world);
    EXPECT_EQ(o.status, 74);
    EXPECT_EQ(o.err, message);

    // After the reader's entry line, its reads up to the failed one's entry line, and nothing
    // more. The descriptor is the reader's (a wrapper may hold the lowest one free).
    const std::string entry = std::string("==> ") + c.reader;
    const size_t at = o.out.rfind(entry);
    ASSERT_NE(at, std::string::npos) << o.out;
    const int fd = atoi(o.out.c_str() + at + entry.size());
    std::string reads;
    for (size_t i = 0; i < c.fails_at; i++) {
        auto [addr, reg] = facts_of(c.kind).reads.at(i);
        char line[80];
        snprintf(line, sizeof line, "==> read_byte(fd = %d, slave = 0x%02x, idxreg = 0x%02x)\n", fd,
                 addr, reg);
        reads += line;
        // Every register reads 0 but the simulated chip's W83792D chip ID.
        if (i + 1 < c.fails_at)
            reads += c.kind == chip_kind::w83792d && reg == 0x58
                         ? "==> read_byte() returning 0x7a\n"
                         : "==> read_byte() returning 0x00\n";
    }
    EXPECT_EQ(o.out.substr(o.out.find('\n', at) + 1), reads);

    old_file();
    o = sim_run({"-P", "-o", file}, c.world);
    EXPECT_EQ(o.status, 74);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, message);
    EXPECT_EQ(read_file(file), expected("failed.prom"));
    EXPECT_EQ(entries(), std::vector<std::string>{"vantorel.prom"});
}

const std::string x7dbp = "maker Supermicro\nproduct X7DBP\n";
const std::string p8sc8 = "maker Supermicro\nproduct P8SC8\n";
const std::string x6dva = "maker Supermicro\nproduct X6DVA\n";
const char *const w83793g_entry = "w83793g_main(fd = ";
const char *const w83792d_entry = "w83792d_main(f = ";
const char *const x6dva_entry = "x6dva_main(fd = ";
const char *const eio = "Input/output error";
const char *const enxio = "No such device or address"; // no chip at the address

INSTANTIATE_TEST_SUITE_P(
    Chips, BusFailure,
    ::testing::Values(
        bus_failure_case{"w83793g_first", chip_kind::w83793g, x7dbp + "chip 0x2f\nfail 1\n", 1,
                         w83793g_entry, eio},
        bus_failure_case{"w83793g_middle", chip_kind::w83793g,
                         x7dbp + "chip 0x2f\nfailreg 0x2f 0x22\n", 19, w83793g_entry, eio},
        bus_failure_case{"w83793g_last", chip_kind::w83793g, x7dbp + "chip 0x2f\nfail 43\n", 43,
                         w83793g_entry, eio},
        bus_failure_case{"w83792d_first", chip_kind::w83792d, p8sc8, 1, w83792d_entry, enxio},
        bus_failure_case{"w83792d_middle", chip_kind::w83792d, p8sc8 + "chip 0x2f\nfail 15\n", 15,
                         w83792d_entry, eio},
        bus_failure_case{"w83792d_last", chip_kind::w83792d, p8sc8 + "chip 0x2f\nfail 29\n", 29,
                         w83792d_entry, eio},
        bus_failure_case{"x6dva_first", chip_kind::x6dva, x6dva + "chip 0x2c\nchip 0x2f\nfail 1\n",
                         1, x6dva_entry, eio},
        // The second chip's first read, after the first chip's cells.
        bus_failure_case{"x6dva_middle", chip_kind::x6dva, x6dva + "chip 0x2c\n", 8, x6dva_entry,
                         enxio},
        bus_failure_case{"x6dva_last", chip_kind::x6dva, x6dva + "chip 0x2c\nchip 0x2f\nfail 21\n",
                         21, x6dva_entry, eio}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ReportFile, ASetuidRunGivesUpRootBeforeItWritesTheFailureFile) {
    outcome o = sim_run({"-v", "-P", "-o", file}, setuid_world + "maker Supermicro\nproduct X\n");
    EXPECT_EQ(o.status, 65);
    size_t dropped = o.out.find("==> privileges dropped: uid 12345, euid 12345\n");
    ASSERT_NE(dropped, std::string::npos) << o.out;
    EXPECT_LT(dropped, o.out.find("==> replace_file(file = "));
    EXPECT_EQ(read_file(file), expected("failed.prom"));
}

// Whoever runs the program may be refused the directory; a full disk is a file size limit.
// The file then stays as it was, or, where the smaller exposition of a failed run still fits,
// says that the run failed; the second attempt does not repeat the message.
TEST_F(ReportFile, AFileThatCannotBeWrittenIsAnIoErrorAndSaysSoWhereItCan) {
    chmod(device.c_str(), 0666); // for a run as another user
    struct write_case {
        const char *name;
        std::string target;
        bool read_only; // the directory, for the user who runs the program
        unsigned long size_limit;
        const char *why;
        const char *after; // the expected file that FILE is then, or nullptr: as it was
    };
    const uid_t other = geteuid() == 0 ? 65534 : 0; // root writes into a read-only directory
    const write_case cases[] = {
        {"read-only directory", file, true, 0, "Permission denied", nullptr},
        {"a directory in the way", dir + "/sub", false, 0, "Is a directory", nullptr},
        {"full disk", file, false, 512, "File too large", "failed.prom"}};
    mkdir((dir + "/sub").c_str(), 0755);
    std::ofstream(dir + "/sub/keep") << "";
    for (const write_case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.size_limit != 0 && wrapped_runs())
            continue; // the limit would cut the checker's own log
        old_file();
        chmod(dir.c_str(), c.read_only ? 0555 : 0755);
        invocation inv{sim, {"-f", device, "-P", "-o", c.target}, fixture("x7dbp.fix")};
        inv.as_uid = c.read_only ? other : 0;
        inv.file_size_limit = c.size_limit;
        outcome o = run(inv);
        chmod(dir.c_str(), 0755);
        EXPECT_EQ(o.status, 74);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, "vantorel: cannot write " + c.target + ": " + c.why + "\n");
        EXPECT_EQ(read_file(file), c.after ? expected(c.after) : "old\n");
        EXPECT_EQ(entries(), (std::vector<std::string>{"sub", "vantorel.prom"}));
    }

    // A failed run whose failure file cannot be written keeps its own status and message.
    old_file();
    chmod(dir.c_str(), 0555);
    outcome o =
        run({sim, {"-f", device, "-P", "-o", file}, "maker Supermicro\nproduct X6DVL\n", other});
    chmod(dir.c_str(), 0755);
    EXPECT_EQ(o.status, 65);
    EXPECT_EQ(o.out, expected("unsupported.txt"));
    EXPECT_EQ(o.err, "vantorel: cannot write " + file + ": Permission denied\n");
    EXPECT_EQ(read_file(file), "old\n");
}

// --- temporary files that outlive their run ---

// The state of process PID in /proc ('Z' for a zombie), or 0 once it is gone.
char process_state(pid_t pid) {
    const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = stat.rfind(')');
    return paren == std::string::npos || paren + 2 >= stat.size() ? 0 : stat[paren + 2];
}

// The report's run under strace, which can hold a system call or make it fail.
class TracedReportFile : public ReportFile {
  protected:
    const std::string strace = "/usr/bin/strace";
    const std::string log = temp_path("strace");
    void SetUp() override {
        ReportFile::SetUp();
        if (wrapped_runs())
            GTEST_SKIP() << "strace would hold the wrapper, not the program";
        if (access(strace.c_str(), X_OK) != 0)
            GTEST_SKIP() << "strace is not installed (scripts/install-deps)";
    }
    void TearDown() override {
        unlink(log.c_str());
        ReportFile::TearDown();
    }
    // vantorel -P -o FILE under strace with OPTIONS, its calls in the log.
    invocation traced(std::vector<std::string> options) const {
        // LeakSanitizer, in a sanitizer build, cannot work under ptrace.
        const char *asan = getenv("ASAN_OPTIONS");
        options.insert(options.begin(),
                       {"-f", "-o", log, "-E",
                        "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":detect_leaks=0"});
        options.insert(options.end(), {sim, "-f", device, "-P", "-o", file});
        return invocation{strace, options, fixture("x7dbp.fix")};
    }
};

// The rename is made durable by a sync of the directory, right after it. A sync that fails
// fails the run; FILE is then already the new one.
TEST_F(TracedReportFile, TheDirectoryIsSyncedAfterTheRename) {
    outcome o = run(traced({"-e", "trace=openat,renameat,fsync"}));
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string calls = read_file(log);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(calls, m,
                                  std::regex("openat\\(AT_FDCWD, \"" + dir +
                                             "\", O_RDONLY\\|O_CLOEXEC\\|O_DIRECTORY\\) = (\\d+)")))
        << calls;
    const std::string d = m[1];
    EXPECT_TRUE(std::regex_search(
        calls, std::regex("renameat\\(" + d + ", \"\\.vantorel\\.0\", " + d +
                          ", \"vantorel\\.prom\"\\) += 0\n[0-9]+ +fsync\\(" + d + "\\) += 0\n")))
        << calls;

    old_file();
    o = run(traced({"-e", "trace=fsync", "-e", "inject=fsync:error=EIO:when=2"}));
    EXPECT_EQ(o.status, 74);
    EXPECT_EQ(o.err, "vantorel: cannot write " + file + ": Input/output error\n");
    // The run failed, so the file it leaves says so, once the report was in place.
    EXPECT_EQ(read_file(file), expected("failed.prom"));
    EXPECT_EQ(entries(), std::vector<std::string>{"vantorel.prom"});
}

// A run killed while its report is being synced to disk (systemd's timeout does that to a
// run whose fsync takes too long), then the next run. strace holds the report's fsync, and
// for the named temporary file it refuses the unnamed one as a file system without it would.
// The unnamed file never had a name; the named one is still there after the kill, and the
// next run removes it. Either way FILE holds the next run's report, and nothing else is left.
TEST_F(TracedReportFile, ARunKilledMidWriteLeavesNoTemporaryFileOnceTheNextRunIsDone) {
    // Which openat(2) of the run creates the unnamed file.
    outcome probe = run(traced({"-e", "trace=openat"}));
    ASSERT_EQ(probe.status, 0) << probe.err;
    std::istringstream calls(read_file(log));
    size_t nth = 0;
    for (std::string line; std::getline(calls, line) && (nth++, true);)
        if (line.find("O_TMPFILE") != std::string::npos)
            break;
    ASSERT_NE(read_file(log).find("O_TMPFILE"), std::string::npos) << read_file(log);

    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named");
        old_file();
        const auto left = unnamed ? std::vector<std::string>{"vantorel.prom"}
                                  : std::vector<std::string>{".vantorel.0", "vantorel.prom"};
        std::vector<std::string> options = {"-e", "trace=openat,fsync", "-e",
                                            "inject=fsync:delay_enter=60s"};
        if (!unnamed)
            options.insert(options.end(),
                           {"-e", "inject=openat:error=EOPNOTSUPP:when=" + std::to_string(nth)});
        std::string out = temp_path("out"), err = temp_path("err");
        unlink(log.c_str());
        pid_t tracer = start(traced(options), out, err);
        // strace writes a call's line up to its arguments as the call begins: the first
        // fsync is the report's, each line starts with the process's id.
        std::string calls_so_far;
        for (int i = 0; i < 400 && calls_so_far.find(" fsync(") == std::string::npos; i++) {
            usleep(50 * 1000);
            calls_so_far = read_file(log);
        }
        const pid_t killed = atoi(calls_so_far.c_str());
        if (calls_so_far.find(" fsync(") != std::string::npos && killed > 0) {
            EXPECT_EQ(entries(), left) << "while the report is synced";
            kill(killed, SIGKILL);
        }
        // A run killed in strace's delay stays stopped until strace lets go of it, and
        // strace waits out the delay first: strace goes too. The run, with SIGKILL pending,
        // never returns to its fsync, and it is dead once it is a zombie or gone.
        kill(tracer, SIGKILL);
        finish(tracer, out, err);
        for (int i = 0;
             i < 400 && killed > 0 && process_state(killed) != 0 && process_state(killed) != 'Z';
             i++)
            usleep(10 * 1000);
        ASSERT_GT(killed, 0) << "the run never reached its fsync: " << calls_so_far;
        EXPECT_EQ(read_file(file), "old\n");
        EXPECT_EQ(entries(), left) << "after the kill";

        outcome next = sim_run({"-P", "-o", file}, fixture("x7dbp.fix"));
        EXPECT_EQ(next.status, 0) << next.err;
        EXPECT_EQ(read_file(file), expected("x7dbp.prom"));
        EXPECT_EQ(entries(), std::vector<std::string>{"vantorel.prom"});
    }
}

// What lies under the temporary names is removed only when it is a dead run's leftover: a
// regular file of the user who runs the program, with one link, that no run holds locked. A
// run takes the first free name.
TEST_F(ReportFile, OnlyTheLeftoversOfDeadRunsAreRemoved) {
    const std::string outside = temp_path("outside");
    std::ofstream(outside) << "not ours\n";
    auto name = [&](int n) { return dir + "/.vantorel." + std::to_string(n); };
    auto leftover = [&](int n) {
        std::ofstream(name(n)) << "partial report";
        chmod(name(n).c_str(), 0600);
    };
    leftover(0); // a dead run's: the run's own temporary file takes its place
    leftover(1); // a live run's
    int live = open(name(1).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(live, LOCK_EX), 0);
    ASSERT_EQ(symlink(outside.c_str(), name(2).c_str()), 0); // never followed
    leftover(3); // another user's, where the test may give it away
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(name(3).c_str(), 65534, 65534), 0);
    }
    leftover(4); // linked elsewhere too
    ASSERT_EQ(link(name(4).c_str(), (dir + "/other-link").c_str()), 0);
    mkdir(name(5).c_str(), 0755);
    ASSERT_EQ(mkfifo(name(6).c_str(), 0600), 0); // opening it would wait for a writer
    leftover(7);                                 // a dead run's
    std::ofstream(dir + "/.vantorel.AbC123") << "not a name of ours\n";

    outcome o = sim_run({"-v", "-P", "-o", file}, fixture("x7dbp.fix"));
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(read_file(file), expected("x7dbp.prom"));
    EXPECT_NE(o.out.find("==> \tremoved " + name(0) + ", left by a run that ended early\n" +
                         "==> \ttemporary file " + name(0) + "\n"),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("==> \tremoved " + name(7) + ", left by a run that ended early\n" +
                         "==> replace_file() returning 0\n"),
              std::string::npos)
        << o.out;
    std::vector<std::string> kept = {".vantorel.1", ".vantorel.2",  ".vantorel.4",
                                     ".vantorel.5", ".vantorel.6",  ".vantorel.AbC123",
                                     "other-link",  "vantorel.prom"};
    if (root)
        kept.insert(kept.begin() + 2, ".vantorel.3");
    EXPECT_EQ(entries(), kept);
    EXPECT_EQ(read_file(outside), "not ours\n");
    EXPECT_EQ(read_file(name(1)), "partial report");
    close(live);
    unlink(outside.c_str());
}

// Every fixed temporary name taken by what the run may not remove: files that live runs hold,
// or, in a sticky directory such as /tmp, another user's files (STICKY). The run then takes a
// name drawn at random, which nobody can have taken for it: FILE is replaced, and a failed
// run's FILE says that it failed, as anywhere else; nothing of the run is left, and nothing
// of anyone else's is touched.
void ReportFile::write_past_taken_names(bool sticky) {
    // Another user's files are in the way of a third user, who may write the directory.
    const uid_t squatter = 65534, runner = sticky ? 12345 : geteuid();
    chmod(dir.c_str(), sticky ? 01777 : 0755);
    chmod(device.c_str(), 0666);
    std::vector<std::string> taken;
    std::vector<int> held;
    for (int n = 0; n < 8; n++) {
        const std::string name = dir + "/.vantorel." + std::to_string(n);
        std::ofstream(name) << "someone else's\n";
        taken.push_back(name);
        if (sticky) {
            ASSERT_EQ(chown(name.c_str(), squatter, squatter), 0);
        } else {
            held.push_back(open(name.c_str(), O_RDONLY | O_CLOEXEC));
            ASSERT_EQ(flock(held.back(), LOCK_EX | LOCK_NB), 0);
        }
    }

    // The name that a run's trace shows for its temporary file.
    auto drawn_name = [&](const outcome &o) {
        const std::regex drawn("==> \ttemporary file " + dir + "/(\\.vantorel\\.[0-9a-f]{16})\n");
        std::smatch m;
        return std::regex_search(o.out, m, drawn) ? m[1].str() : "none in " + o.out;
    };
    outcome read = run({sim, {"-f", device, "-v", "-P", "-o", file}, fixture("x7dbp.fix"), runner});
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.err, "");
    EXPECT_EQ(read_file(file), expected("x7dbp.prom"));

    outcome failed = run(
        {sim, {"-f", device, "-v", "-P", "-o", file}, "maker Supermicro\nproduct X6DVL\n", runner});
    EXPECT_EQ(failed.status, 65);
    EXPECT_EQ(failed.err, "");
    EXPECT_EQ(read_file(file), expected("failed.prom"));
    EXPECT_NE(drawn_name(read), drawn_name(failed));
    struct stat st {};
    EXPECT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, runner);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(entries(), (std::vector<std::string>{".vantorel.0", ".vantorel.1", ".vantorel.2",
                                                   ".vantorel.3", ".vantorel.4", ".vantorel.5",
                                                   ".vantorel.6", ".vantorel.7", "vantorel.prom"}));
    for (const std::string &name : taken)
        EXPECT_EQ(read_file(name), "someone else's\n");
    for (int fd : held)
        close(fd);
}

TEST_F(ReportFile, TemporaryNamesThatLiveRunsHoldDoNotKeepTheRunFromTheFile) {
    write_past_taken_names(false);
}

TEST_F(ReportFile, AnotherUsersFilesUnderTheTemporaryNamesDoNotKeepTheRunFromTheFile) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give files away and run as another user";
    write_past_taken_names(true);
}

// Runs that write the same file at once each replace it whole, and none leaves a file.
TEST_F(ReportFile, ConcurrentRunsEachReplaceTheFileWhole) {
    struct started {
        pid_t pid;
        std::string out, err;
    };
    std::vector<started> runs;
    for (int i = 0; i < 12; i++) {
        started s{0, temp_path("out"), temp_path("err")};
        s.pid = start({sim, {"-f", device, "-P", "-o", file}, fixture("x7dbp.fix")}, s.out, s.err);
        runs.push_back(s);
    }
    for (const started &s : runs) {
        outcome o = finish(s.pid, s.out, s.err);
        EXPECT_EQ(o.status, 0) << o.err;
    }
    EXPECT_EQ(read_file(file), expected("x7dbp.prom"));
    EXPECT_EQ(entries(), std::vector<std::string>{"vantorel.prom"});
}

// --- the Linux build, for what needs no hardware ---

// The usage text differs in one line: the simulated build's default device is FreeBSD's
// /dev/smb0 (usage.txt), the Linux build looks for its SMBus adapter (usage-linux.txt).
// --- the monitoring-plugin report (-N) ---

// The X7DBP fixture with limits as a BIOS sets them: CPU1 Temperature's critical limit 80 and
// warning limit 70 (hysteresis 75 and 65), VcoreA's window 1.120-1.280 V, the -12V rail's
// -13.056 to -10.752 V (its registers hold the limits the other way round), FAN1's minimum
// count 1125 (1200 RPM). Every other limit register is 0: nothing a board means.
struct verdict_case {
    const char *name;
    std::string regs; // written over the fixture's limits
    std::vector<std::string> args;
    int status;
    std::string status_line; // up to the perfdata
    std::string lines;       // what follows the status line
};

class PluginVerdicts : public Cli, public ::testing::WithParamInterface<verdict_case> {};

TEST_P(PluginVerdicts, StateStatusLineAndAProblemLineEach) {
    const verdict_case &c = GetParam();
    std::vector<std::string> args = {"-N"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    outcome o = sim_run(args, fixture("x7dbp.fix") + x7dbp_limits + c.regs);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.err, "");
    const size_t end = o.out.find('\n');
    ASSERT_NE(end, std::string::npos) << o.out;
    EXPECT_TRUE(o.out.starts_with(c.status_line + " | 'CPU1 Temperature'=")) << o.out;
    EXPECT_EQ(o.out.substr(end + 1), c.lines);
}

const std::string out_of = "X7DBP: 1 of 25 readings out of the board's limits ";

INSTANTIATE_TEST_SUITE_P(
    X7dbp, PluginVerdicts,
    ::testing::Values(
        verdict_case{
            "within", "", {}, 0, "VANTOREL OK - X7DBP: 25 readings within the board's limits", ""},
        verdict_case{"temperature_at_its_limit",
                     "reg 0x2f 0x78 0x26\n",
                     {},
                     2,
                     "VANTOREL CRITICAL - " + out_of + "(CPU1 Temperature)",
                     "CPU1 Temperature: 38 C, at or over its limit of 38 C\n"},
        verdict_case{"temperature_at_its_warning_limit",
                     "reg 0x2f 0x7a 0x26\n",
                     {},
                     1,
                     "VANTOREL WARNING - " + out_of + "(CPU1 Temperature)",
                     "CPU1 Temperature: 38 C, at or over its warning limit of 38 C\n"},
        // CPU1 Temperature's status bit (bit 12 of 0x4B-0x4E) set: CRITICAL over the warning
        // level as under it.
        verdict_case{"temperature_alarm_over_its_warning_limit",
                     "reg 0x2f 0x1c 0x4c\nreg 0x2f 0x4c 0x10\n",
                     {},
                     2,
                     "VANTOREL CRITICAL - " + out_of + "(CPU1 Temperature)",
                     "CPU1 Temperature: 76 C, the chip's alarm for it is set\n"},
        verdict_case{"temperature_alarm_under_its_warning_limit",
                     "reg 0x2f 0x1c 0x45\nreg 0x2f 0x4c 0x10\n",
                     {},
                     2,
                     "VANTOREL CRITICAL - " + out_of + "(CPU1 Temperature)",
                     "CPU1 Temperature: 69 C, the chip's alarm for it is set\n"},
        verdict_case{"minus_12v_rail_outside",
                     "reg 0x2f 0x14 0x10\n",
                     {},
                     2,
                     "VANTOREL CRITICAL - " + out_of + "(-12V)",
                     "-12V: -6.144 V, outside its limits -13.056 to -10.752 V\n"},
        verdict_case{"fan_under_its_minimum",
                     "reg 0x2f 0x90 0x01\nreg 0x2f 0x91 0x00\n",
                     {},
                     2,
                     "VANTOREL CRITICAL - " + out_of + "(FAN1)",
                     "FAN1: 3000 RPM, under its minimum of 5273 RPM\n"},
        verdict_case{"fan_alarm",
                     "reg 0x2f 0x4d 0x10\n",
                     {},
                     2,
                     "VANTOREL CRITICAL - " + out_of + "(FAN3)",
                     "FAN3: 0 RPM, the chip's alarm for it is set\n"},
        verdict_case{"fan_alarm_left_out",
                     "reg 0x2f 0x4d 0x10\n",
                     {"-x", "FAN3", "-x", "FAN3"},
                     0,
                     "VANTOREL OK - X7DBP: 24 readings within the board's limits",
                     ""},
        verdict_case{"alarm_against_a_limit_of_0",
                     "reg 0x2f 0x4c 0x20\n",
                     {},
                     0,
                     "VANTOREL OK - X7DBP: 25 readings within the board's limits",
                     ""},
        verdict_case{"case_opened_whatever_is_left_out",
                     "reg 0x2f 0x4e 0x40\n",
                     {"-x", "FAN1", "-x", "VcoreB"},
                     2,
                     "VANTOREL CRITICAL - X7DBP: the case has been opened, 23 readings within "
                     "the board's limits",
                     "the case has been opened: the chip's case-open bit is set\n"}),
    [](const auto &info) { return std::string(info.param.name); });

// The W83792D's temperatures are signed: its System Temperature at 0xF6 is -10 C, and its
// CPU Temperature input with no sensor attached reads 0x80, -128 C, with its status bit set
// (0xA9 bit 2). The table keeps showing the registers' bytes; -P and -N take them as the chip
// does, and neither pages. The limits keep their half degree (30.5, 25.5).
TEST_F(Cli, SignedTemperaturesAreExportedAndJudgedAsTheChipKeepsThem) {
    const std::string world = fixture("p8sc8.fix") + fixture("p8sc8-limits.fix") +
                              "reg 0x2f 0xc0 0xf6\nreg 0x2f 0x27 0x80\nreg 0x2f 0xa9 0x84\n";
    outcome plain = sim_run({}, world);
    EXPECT_TRUE(plain.out.starts_with("CPU Temperature           128 C\n"
                                      "System Temperature        246 C\n"))
        << plain.out;

    outcome p = sim_run({"-P"}, world);
    EXPECT_EQ(p.status, 0);
    for (const char *sample :
         {"vantorel_temperature_celsius{sensor=\"CPU Temperature\"} -128\n",
          "vantorel_temperature_celsius{sensor=\"System Temperature\"} -10\n",
          "vantorel_temperature_max_celsius{sensor=\"System Temperature\"} 30.5\n",
          "vantorel_temperature_max_hyst_celsius{sensor=\"System "
          "Temperature\"} 25.5\n"})
        EXPECT_NE(p.out.find(sample), std::string::npos) << sample << p.out;

    outcome n = sim_run({"-N"}, world);
    const std::string status_line = n.out.substr(0, n.out.find('\n'));
    EXPECT_NE(status_line.find(" | 'CPU Temperature'=-128;;75 'System Temperature'=-10;;30.5 "),
              std::string::npos)
        << status_line;
    EXPECT_EQ(n.out.find("Temperature:"), std::string::npos) << n.out;
    EXPECT_EQ(status_line.find("Temperature,"), std::string::npos) << status_line;
}

// A reading at a W83792D limit's whole degree is under the limit when its half-degree bit is
// set (0xC6 bit 7): 30 C against 30.5 C is within, as the chip's own bit, clear, says.
TEST_F(Cli, AHalfDegreeLimitIsOverAReadingAtItsWholeDegree) {
    const std::string world = fixture("p8sc8.fix") + fixture("p8sc8-limits.fix") +
                              "reg 0x2f 0xc0 0x1e\nreg 0x2f 0xa9 0x00\nreg 0x2f 0xaa 0x00\n"
                              "reg 0x2f 0x3d 0x00\nreg 0x2f 0x3c 0x00\nreg 0x2f 0xbb 0x00\n"
                              "reg 0x2f 0x31 0x00\nreg 0x2f 0x32 0x00\nreg 0x2f 0xb6 0x00\n"
                              "reg 0x2f 0xb7 0x00\n";
    outcome n = sim_run({"-N"}, world);
    EXPECT_EQ(n.status, 0) << n.out;
    EXPECT_TRUE(n.out.starts_with("VANTOREL OK - P8SC8: ")) << n.out;
    EXPECT_NE(n.out.find("'System Temperature'=30;;30.5 "), std::string::npos) << n.out;
}

TEST_F(Cli, PluginReportWithLimitsIsTheHandWrittenText) {
    outcome o = sim_run({"-N"}, fixture("x7dbp.fix") + x7dbp_limits);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, expected("x7dbp.plugin"));
}

// The X6DVA's chip at 0x2c holds plain register values and no limits: they keep their place
// in the perfdata under labels that say what they are.
TEST_F(Cli, PluginReportOfRegisterValuesIsTheHandWrittenText) {
    outcome o = sim_run({"-N"}, fixture("x6dva.fix"));
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, expected("x6dva.plugin"));
}

// Perfdata as a reader of the plugin format takes it apart: 'LABEL'=VALUE[;WARN[;CRIT]],
// a quote inside a label written twice.
std::vector<std::pair<std::string, std::vector<std::string>>> perfdata(const std::string &line) {
    std::vector<std::pair<std::string, std::vector<std::string>>> items;
    size_t at = line.find(" | ");
    if (at == std::string::npos)
        return items;
    at += 3;
    while (at < line.size()) {
        std::string label;
        EXPECT_EQ(line[at], '\'') << line.substr(at);
        for (at++; at < line.size(); at++) {
            if (line[at] == '\'' && line[at + 1] == '\'')
                label += line[at++];
            else if (line[at] == '\'')
                break;
            else
                label += line[at];
        }
        EXPECT_EQ(line[at + 1], '=');
        size_t end = line.find(' ', at);
        std::vector<std::string> fields;
        std::stringstream rest(line.substr(at + 2, end == std::string::npos ? end : end - at - 2));
        for (std::string f; std::getline(rest, f, ';');)
            fields.push_back(f);
        items.emplace_back(label, fields);
        at = end == std::string::npos ? line.size() : end + 1;
    }
    return items;
}

// Every reading that -J shows is in the perfdata exactly once, in the same order, with the
// value -J prints (a temperature's as -P exports it, signed), and every range's start lies
// below its end (the -12 V rails' too). A plain register value (the X6DVA's chip at 0x2c) is
// labelled as one, never as a rail's volts.
TEST_F(Cli, PerfdataHoldsEveryReadingOnceWithTheValueOfJson) {
    const std::pair<const char *, std::string> worlds[] = {
        {"x7dbp", fixture("x7dbp.fix") + x7dbp_limits},
        {"p8sc8", fixture("p8sc8.fix")},
        {"x6dva", fixture("x6dva.fix")}};
    for (const auto &[name, world] : worlds) {
        SCOPED_TRACE(name);
        outcome j = sim_run({"-J"}, world);
        std::vector<std::pair<std::string, std::string>> json;
        std::regex entry("\t\t\"(.*)\": \"(\\S+) (C|RPM|V)\",?");
        std::stringstream lines(j.out);
        for (std::string l; std::getline(lines, l);) {
            std::smatch m;
            if (std::regex_match(l, m, entry))
                json.emplace_back(m[1], m[2]);
        }
        // The cells -P exports as plain register values, whose perfdata label says so.
        std::set<std::string> registers;
        std::map<std::string, std::string> temperatures;
        outcome p = sim_run({"-P"}, world);
        std::regex sample("vantorel_register_value\\{sensor=\"(.*)\"\\} .*");
        std::regex temperature("vantorel_temperature_celsius\\{sensor=\"(.*)\"\\} (.*)");
        std::stringstream samples(p.out);
        for (std::string l; std::getline(samples, l);) {
            std::smatch m;
            if (std::regex_match(l, m, sample))
                registers.insert(m[1]);
            else if (std::regex_match(l, m, temperature))
                temperatures[m[1]] = m[2];
        }
        outcome o = sim_run({"-N"}, world);
        EXPECT_EQ(o.status, 0) << o.out;
        auto items = perfdata(o.out.substr(0, o.out.find('\n')));
        ASSERT_EQ(items.size(), json.size()) << o.out;
        for (size_t i = 0; i < items.size(); i++) {
            EXPECT_EQ(items[i].first,
                      json[i].first + (registers.count(json[i].first) ? " register value" : ""));
            ASSERT_FALSE(items[i].second.empty());
            const auto t = temperatures.find(json[i].first);
            EXPECT_EQ(items[i].second[0], t != temperatures.end() ? t->second : json[i].second)
                << items[i].first;
            for (size_t f = 1; f < items[i].second.size(); f++) {
                const std::string &range = items[i].second[f];
                const size_t colon = range.find(':');
                if (colon == std::string::npos || colon + 1 == range.size())
                    continue;
                EXPECT_LT(std::stod(range.substr(0, colon)), std::stod(range.substr(colon + 1)))
                    << items[i].first << " " << range;
            }
        }
    }
}

TEST(PluginPerfdata, LabelsAreQuotedAndAQuoteInsideIsDoubled) {
    auto items = perfdata("S | 'a b'=1 'it''s'=2;;3: '-12V'=-1.000;;-13.200:-10.800");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].first, "it's");
    EXPECT_EQ(items[2].second, (std::vector<std::string>{"-1.000", "", "-13.200:-10.800"}));
}

// With -N every failure is UNKNOWN (3): its message on the status line, standard error
// silent; a usage error's usage text after it.
// What a case does to the run besides its options and world.
enum class hostile {
    none,
    reader_gone, // standard output is a pipe whose reader has closed it
    no_dev_null, // standard input closed, and no /dev/null to fill it with
    lock_held,   // this process holds the device's lock while the run lasts
};

struct unknown_case {
    const char *name;
    std::vector<std::string> args; // DEVICE stands for the test's device
    std::string world;
    std::string message; // DEVICE and LOCKED as in still_locked(), for 1 s
    bool usage_follows;
    hostile condition = hostile::none;
};

std::string with_device(std::string text, const std::string &device) {
    for (size_t at; (at = text.find("LOCKED")) != std::string::npos;)
        text.replace(at, 6, still_locked(device, 1));
    for (size_t at; (at = text.find("DEVICE")) != std::string::npos;)
        text.replace(at, 6, device);
    return text;
}

class PluginFailures : public Cli, public ::testing::WithParamInterface<unknown_case> {};

// Whatever ends a check, it answers 3 and says why on its status line, within its time: a
// reader that went away gets no line, but its run is not killed for it.
TEST_P(PluginFailures, AreUnknownWithTheMessageOnTheStatusLine) {
    const unknown_case &c = GetParam();
    invocation inv{sim, {}, c.world};
    for (const std::string &arg : c.args)
        inv.args.push_back(with_device(arg, device));
    int fds[2] = {-1, -1};
    int holder = -1;
    switch (c.condition) {
    case hostile::none:
        break;
    case hostile::reader_gone:
        ASSERT_EQ(pipe(fds), 0);
        close(fds[0]);
        inv.out = stdout_mode::descriptor;
        inv.stdout_fd = fds[1];
        break;
    case hostile::no_dev_null:
        if (wrapped_runs())
            GTEST_SKIP() << wrapper_takes_descriptors;
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root for a mount namespace without /dev/null";
        inv.stdin_closed = true;
        inv.without_dev_null = true;
        break;
    case hostile::lock_held:
        holder = open(device.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_EQ(flock(holder, LOCK_EX), 0);
        break;
    }
    std::string out = temp_path("out"), err = temp_path("err");
    pid_t pid = start(inv, out, err);
    if (fds[1] >= 0)
        close(fds[1]);
    // A run that waits for the lock past its bound is let go on, so that it ends.
    if (holder >= 0) {
        EXPECT_TRUE(ended_within(pid, 1 + slack())) << "the check did not answer in time";
        close(holder);
    }
    outcome o = finish(pid, out, err);
    if (o.status == 125 && c.condition == hostile::no_dev_null)
        GTEST_SKIP() << "no mount namespace to be had here";
    EXPECT_EQ(o.status, 3);
    if (c.condition == hostile::reader_gone) {
        EXPECT_EQ(o.err, warn_prefix + "write error on standard output: Broken pipe\n");
        return;
    }
    EXPECT_EQ(o.out, "VANTOREL UNKNOWN - " + with_device(c.message, device) + "\n" +
                         (c.usage_follows ? expected("usage.txt") : std::string()));
    EXPECT_EQ(o.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PluginFailures,
    ::testing::Values(
        unknown_case{"help", {"-N", "-h"}, "", "the usage of vantorel follows", true},
        unknown_case{"question_mark", {"-?", "-N"}, "", "the usage of vantorel follows", true},
        unknown_case{"bad_option_before_n", {"-z", "-N"}, "", "invalid option -- 'z'", true},
        unknown_case{
            "missing_argument", {"-N", "-x"}, "", "option requires an argument -- 'x'", true},
        unknown_case{
            "two_forms", {"-N", "-P"}, "euid 0\n", "Please choose only one output format", false},
        unknown_case{"file",
                     {"-N", "-o", "/tmp/x"},
                     "euid 0\n",
                     "-o does not go with -N, whose report is for standard output",
                     false},
        unknown_case{"not_root",
                     {"-N"},
                     "euid 1000\n" + x7dbp_world,
                     "Must be run as root, or setuid root",
                     false},
        unknown_case{"no_board_strings",
                     {"-N"},
                     "euid 0\n",
                     "kenv() for smbios.planar.maker failed: No such file or directory",
                     false},
        unknown_case{"unsupported_board",
                     {"-N"},
                     "maker Supermicro\nproduct X7SBI\n",
                     "Your motherboard does not appear to be supported.  Please visit "
                     "https://vantorel.org/ to see if support for your motherboard and/or "
                     "system is under development.",
                     false},
        unknown_case{"label_the_board_lacks",
                     {"-N", "-x", "FAN1", "-x", "FAN11"},
                     x7dbp_world,
                     "-x FAN11: the X7DBP has no reading of that name",
                     false},
        unknown_case{"device",
                     {"-N", "-f", "/nonexistent/smb9"},
                     x7dbp_world,
                     "open() on /nonexistent/smb9 failed: No such file or directory",
                     false},
        // A '|' would start the perfdata, a ';' end a perfdata field: both become '_'.
        unknown_case{"label_with_perfdata_characters",
                     {"-N", "-x", "a|b;c", "-x", "|"},
                     x7dbp_world,
                     "-x a_b_c: the X7DBP has no reading of that name",
                     false},
        unknown_case{"device_with_perfdata_characters",
                     {"-N", "-f", "/nonexistent/smb|0;1"},
                     x7dbp_world,
                     "open() on /nonexistent/smb_0_1 failed: No such file or directory",
                     false},
        unknown_case{"timeout_not_a_number",
                     {"-N", "-t", "ten"},
                     "",
                     "-t ten: not a whole number of seconds",
                     false},
        unknown_case{
            "reader_gone", {"-N", "-f", "DEVICE"}, x7dbp_world, "", false, hostile::reader_gone},
        unknown_case{"closed_descriptor_without_dev_null",
                     {"-N", "-f", "DEVICE"},
                     x7dbp_world,
                     "cannot open /dev/null in place of closed descriptor 0: No such file or "
                     "directory",
                     false,
                     hostile::no_dev_null},
        unknown_case{"device_locked",
                     {"-N", "-t", "1", "-f", "DEVICE"},
                     x7dbp_world,
                     "LOCKED",
                     false,
                     hostile::lock_held}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Cli, PluginBusFailureIsUnknown) {
    outcome o = sim_run({"-N"}, fixture("x7dbp.fix") + "fail 3\n");
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.out, "VANTOREL UNKNOWN - ioctl(SMB_READB) failed: Input/output error\n");
    EXPECT_EQ(o.err, "");
}

TEST_F(Cli, ExcludingWithoutPluginModeIsAUsageError) {
    outcome o = sim_run({"-x", "FAN1"}, fixture("x7dbp.fix"));
    EXPECT_EQ(o.status, 64);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "vantorel: -x goes with -N only\n");
}

TEST(LinuxBuild, ListsHelpsAndRefusesLikeTheSimulatedOne) {
    outcome o = run({linux_build, {"-l"}, ""});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, expected("list.txt"));
    o = run({linux_build, {"-h"}, ""});
    EXPECT_EQ(o.status, 64);
    EXPECT_EQ(o.out, expected("usage-linux.txt"));
    o = run({linux_build, {"-q"}, ""});
    EXPECT_EQ(o.status, 64);
    EXPECT_EQ(o.err, "vantorel: invalid option -- 'q'\n");
}

// A setuid-root copy of the Linux build, run by nobody. This machine is no supported board
// with a bus, so every run fails after the options (SMBIOS strings, board or device) and
// writes the failure file of -P -o: only where nobody could write it, and as nobody.
TEST(LinuxBuild, ASetuidRootRunCreatesAndReplacesOnlyWhatTheUserCould) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to install a setuid-root copy";
    const uid_t nobody = 65534;
    const std::string top = temp_path("setuid");
    const std::string program = top + "/vantorel", root_dir = top + "/root",
                      sticky = top + "/sticky", own = top + "/own";
    mkdir(top.c_str(), 0755);
    std::filesystem::copy_file(linux_build, program);
    ASSERT_EQ(chown(program.c_str(), 0, 0), 0) << program;
    ASSERT_EQ(chmod(program.c_str(), 04755), 0) << program;
    mkdir(root_dir.c_str(), 0755);
    // mkdir's mode passes through the umask, which would clear the sticky directory's
    // write bits for others; chmod sets them.
    mkdir(sticky.c_str(), 0700);
    ASSERT_EQ(chmod(sticky.c_str(), 01777), 0) << sticky;
    mkdir(own.c_str(), 0755);
    ASSERT_EQ(chown(own.c_str(), nobody, nobody), 0) << own;
    for (const std::string &f : {root_dir + "/vantorel.prom", sticky + "/vantorel.prom"}) {
        std::ofstream(f) << "root's\n";
        chmod(f.c_str(), 0644);
    }

    outcome plain = run({program, {"-P"}, "", nobody});
    if (plain.status == 77) {
        std::filesystem::remove_all(top);
        GTEST_SKIP() << "the setuid bit has no effect in " << top << " (mounted nosuid?)";
    }
    ASSERT_NE(plain.status, 0) << "the run read a board: " << plain.out;
    struct stat st {};
    // Refused the new file in root's directory (EACCES); in the sticky directory the
    // temporary file is made, but the rename over root's file is not (EPERM), and the
    // temporary file is removed again.
    for (const auto &[dir, why] :
         {std::pair{root_dir, "Permission denied"}, std::pair{sticky, "Operation not permitted"}}) {
        SCOPED_TRACE(dir);
        const std::string file = dir + "/vantorel.prom";
        outcome o = run({program, {"-P", "-o", file}, "", nobody});
        EXPECT_EQ(o.status, plain.status);
        EXPECT_EQ(o.err, plain.err + "vantorel: cannot write " + file + ": " + why + "\n");
        EXPECT_EQ(read_file(file), "root's\n");
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                                std::filesystem::directory_iterator()),
                  1);
    }
    const std::string mine = own + "/vantorel.prom";
    outcome o = run({program, {"-P", "-o", mine}, "", nobody});
    EXPECT_EQ(o.status, plain.status);
    EXPECT_EQ(o.err, plain.err);
    EXPECT_EQ(read_file(mine), read_file(expected_dir + "/failed.prom"));
    ASSERT_EQ(stat(mine.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, nobody);
    std::filesystem::remove_all(top);
}

TEST(LinuxBuild, RefusesAnUnprivilegedUser) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run the program as another user";
    outcome o = run({linux_build, {"-J"}, "", 65534});
    EXPECT_EQ(o.status, 77);
    EXPECT_EQ(o.out, "");
    expect_warning(o, "Must be run as root, or setuid root");
}

} // namespace
