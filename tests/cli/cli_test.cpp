// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The program as a user and a script see it: standard output byte for byte, standard error,
// and the exit status, over the simulated platform (board identity, user id, chips) and, for
// what needs no hardware, the Linux build itself.
#include "chip_facts.h"
#include "run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <regex>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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
        option_case{"bad_option_after_list_unseen", {"-l", "-x"}, 0, 0, "list.txt", ""},
        option_case{"help", {"-h"}, 0, 64, "usage.txt", ""},
        option_case{"help_as_user", {"-h"}, 1000, 64, "usage.txt", ""},
        option_case{"question_mark_without_diagnostic", {"-?"}, 0, 64, "usage.txt", ""},
        option_case{
            "unknown_option", {"-x"}, 0, 64, "usage.txt", "vantorel: invalid option -- 'x'\n"},
        option_case{"unknown_option_before_list",
                    {"-x", "-l"},
                    0,
                    64,
                    "usage.txt",
                    "vantorel: invalid option -- 'x'\n"},
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
    // No board strings and no chip: the refusal must come before either is asked for, and the
    // file of -o is left alone.
    const std::string file = temp_path("report");
    const std::vector<std::vector<std::string>> pairs = {
        {"-J", "-c"}, {"-P", "-J"}, {"-c", "-P"}, {"-P", "-J", "-o", file}};
    for (std::vector<std::string> args : pairs) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        std::ofstream(file) << "old\n";
        args.insert(args.end(), {"-v", "-f", "/nonexistent"});
        outcome o = run({sim, args, "euid 0\n"});
        EXPECT_EQ(o.status, 64);
        EXPECT_EQ(o.out, "");
        expect_warning(o, "Please choose only one output format");
        EXPECT_EQ(read_file(file), "old\n");
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
    std::string longest = "/" + std::string(1022, 'd'); // 1023 bytes: fits with its terminator
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
};

class Reports : public Cli, public ::testing::WithParamInterface<report_case> {};

TEST_P(Reports, MatchTheHandWrittenText) {
    const report_case &c = GetParam();
    std::vector<std::string> args;
    if (c.option)
        args.push_back(c.option);
    outcome o = sim_run(args, fixture(std::string(c.board) + ".fix"));
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, expected(std::string(c.board) + c.suffix));
    EXPECT_EQ(o.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Boards, Reports,
    ::testing::Values(report_case{"x7dbp", nullptr, ".txt"}, report_case{"x7dbp", "-c", ".csv"},
                      report_case{"x7dbp", "-J", ".json"}, report_case{"p8sc8", nullptr, ".txt"},
                      report_case{"p8sc8", "-c", ".csv"}, report_case{"p8sc8", "-J", ".json"},
                      report_case{"x6dva", nullptr, ".txt"}, report_case{"x6dva", "-c", ".csv"},
                      report_case{"x6dva", "-J", ".json"}, report_case{"x7dbp", "-P", ".prom"},
                      report_case{"p8sc8", "-P", ".prom"}, report_case{"x6dva", "-P", ".prom"}),
    [](const auto &info) {
        std::string s = info.param.suffix;
        return std::string(info.param.board) + "_" + s.substr(1);
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

// --- bus failures ---

// A failed transaction ends the process inside the byte access, by design, with the device
// and the blocks still held: the leak check of wrapped runs does not apply to it.
const char *const ends_in_byte_access = "a bus failure ends the process where it stands";

TEST_F(Cli, BusFailureEndsTheRunWithoutAReport) {
    if (wrapped_runs())
        GTEST_SKIP() << ends_in_byte_access;
    outcome o = sim_run({"-v"}, x7dbp_world + "failreg 0x2f 0x22\n");
    EXPECT_EQ(o.status, 74);
    EXPECT_TRUE(o.out.ends_with("==> read_byte() returning 0x00\n"
                                "==> read_byte(fd = 3, slave = 0x2f, idxreg = 0x22)\n"))
        << o.out;
    EXPECT_EQ(o.err, "vantorel: ioctl(SMB_READB) failed: Input/output error\n");
    EXPECT_EQ(sim_run({}, "maker Supermicro\nproduct P8SC8\n").out, "");
}

TEST_F(Cli, DualChipBoardFailsOnItsSecondChipAfterTheFirstChipsReads) {
    if (wrapped_runs())
        GTEST_SKIP() << ends_in_byte_access;
    outcome o = sim_run({"-v"}, "maker Supermicro\nproduct X6DVA\nchip 0x2c\n");
    EXPECT_EQ(o.status, 74);
    EXPECT_EQ(count(o.out, "slave = 0x2c, idxreg"), 7u);
    EXPECT_EQ(count(o.out, "slave = 0x2f, idxreg"), 1u);
    EXPECT_EQ(count(o.out, "sensors_output"), 0u);
    EXPECT_EQ(o.err, "vantorel: ioctl(SMB_READB) failed: No such device or address\n");
}

// --- output that does not reach its destination is not a success ---

TEST_F(Cli, UnwritableStandardOutputIsAnIoError) {
    for (stdout_mode mode : {stdout_mode::full, stdout_mode::closed}) {
        if (mode == stdout_mode::closed && wrapped_runs())
            continue; // a wrapper fills a closed descriptor itself
        for (auto args : std::vector<std::vector<std::string>>{{"-l"}, {"-f", device, "-J"}}) {
            SCOPED_TRACE(args[0] + (mode == stdout_mode::full ? " to /dev/full" : " closed"));
            invocation inv{sim, args, fixture("x7dbp.fix")};
            inv.out = mode;
            outcome o = run(inv);
            EXPECT_EQ(o.status, 74);
            expect_warning(o, "write error on standard output");
        }
    }
}

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

TEST_F(Cli, RunWaitsForAnotherHolderOfTheDeviceLock) {
    int holder = open(device.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    std::string out = temp_path("out"), err = temp_path("err");
    pid_t pid = start({sim, {"-f", device, "-c"}, fixture("x7dbp.fix")}, out, err);
    usleep(300 * 1000);
    int wstatus;
    EXPECT_EQ(waitpid(pid, &wstatus, WNOHANG), 0) << "the run did not wait for the lock";
    close(holder);
    outcome o = finish(pid, out, err);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, expected("x7dbp.csv"));
}

// The kernel's wait channel of a process: what it sleeps in.
std::string wait_channel(pid_t pid) {
    return read_file("/proc/" + std::to_string(pid) + "/wchan");
}

TEST_F(Cli, AReaderThatNeverDrainsTheReportHoldsNoLock) {
    if (wrapped_runs())
        GTEST_SKIP() << "the wrapper, not the program, is the process the test watches";
    // A pipe already full, that nobody reads: the run blocks on its report's write.
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC | O_NONBLOCK), 0);
    char block[4096] = {};
    while (write(p[1], block, sizeof block) > 0) {
    }
    ASSERT_EQ(fcntl(p[1], F_SETFL, 0), 0);
    invocation blocked{sim, {"-f", device, "-c"}, fixture("x7dbp.fix")};
    blocked.out = stdout_mode::descriptor;
    blocked.stdout_fd = p[1];
    std::string out = temp_path("out"), err = temp_path("err");
    pid_t stuck = start(blocked, out, err);
    for (int i = 0; i < 400 && !wait_channel(stuck).ends_with("pipe_write"); i++)
        usleep(50 * 1000);
    EXPECT_TRUE(wait_channel(stuck).ends_with("pipe_write"))
        << "the first run never reached its report";

    // A second run on the same device goes ahead at once.
    std::string out2 = temp_path("out"), err2 = temp_path("err");
    pid_t second = start({sim, {"-f", device, "-c"}, fixture("x7dbp.fix")}, out2, err2);
    bool ended = false;
    for (int i = 0; i < 400 && !ended; i++) { // up to twenty seconds, for slow wrapped runs
        siginfo_t info{};
        ended =
            waitid(P_PID, second, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == second;
        if (!ended)
            usleep(50 * 1000);
    }
    if (!ended)
        kill(second, SIGKILL);
    kill(stuck, SIGKILL);
    close(p[0]);
    close(p[1]);
    finish(stuck, out, err);
    outcome o = finish(second, out2, err2);
    ASSERT_TRUE(ended) << "the second run waited for the lock of a run blocked on its output";
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, expected("x7dbp.csv"));
}

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
};

mode_t mode_of(const std::string &path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST_F(ReportFile, EveryFormReplacesTheFileWholeAndLeavesStandardOutputEmpty) {
    const std::pair<const char *, const char *> forms[] = {
        {nullptr, ".txt"}, {"-c", ".csv"}, {"-J", ".json"}, {"-P", ".prom"}};
    for (auto [option, suffix] : forms) {
        SCOPED_TRACE(option ? option : "plain");
        old_file();
        std::vector<std::string> args = {"-o", file};
        if (option)
            args.push_back(option);
        outcome o = sim_run(args, fixture("x7dbp.fix"));
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
    EXPECT_TRUE(o.out.ends_with("==> sensors_output_json() returning\n"
                                "==> replace_file() returning 0\n"))
        << o.out;
    EXPECT_NE(o.out.find("==> replace_file(file = " + file + ")\n==> \ttemporary file " + dir +
                         "/.vantorel."),
              std::string::npos)
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
    if (c.status == 74 && wrapped_runs())
        GTEST_SKIP() << ends_in_byte_access;
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

TEST_F(ReportFile, ASetuidRunGivesUpRootBeforeItWritesTheFailureFile) {
    outcome o = sim_run({"-v", "-P", "-o", file}, setuid_world + "maker Supermicro\nproduct X\n");
    EXPECT_EQ(o.status, 65);
    size_t dropped = o.out.find("==> privileges dropped: uid 12345, euid 12345\n");
    ASSERT_NE(dropped, std::string::npos) << o.out;
    EXPECT_LT(dropped, o.out.find("==> replace_file(file = "));
    EXPECT_EQ(read_file(file), expected("failed.prom"));
}

// Whoever runs the program may be refused the directory; a full disk is a file size limit.
TEST_F(ReportFile, AFileThatCannotBeWrittenIsAnIoErrorAndStaysAsItWas) {
    chmod(device.c_str(), 0666); // for a run as another user
    struct write_case {
        const char *name;
        std::string target;
        bool read_only; // the directory, for the user who runs the program
        unsigned long size_limit;
        const char *why;
    };
    const uid_t other = geteuid() == 0 ? 65534 : 0; // root writes into a read-only directory
    const write_case cases[] = {
        {"read-only directory", file, true, 0, "Permission denied"},
        {"a directory in the way", dir + "/sub", false, 0, "Is a directory"},
        {"full disk", file, false, 512, "File too large"}};
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
        EXPECT_EQ(read_file(file), "old\n");
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

// --- the Linux build, for what needs no hardware ---

// The usage text differs in one line: the simulated build's default device is FreeBSD's
// /dev/smb0 (usage.txt), the Linux build looks for its SMBus adapter (usage-linux.txt).
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
