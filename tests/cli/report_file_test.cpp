// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The command-line suite: the report written to a file (-o).
#include "chip_facts.h"
#include "cli.h"

#include <sstream>

namespace {

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
    by_case_name{});

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
    by_case_name{});

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
    by_case_name{});

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
    const uid_t other = geteuid() == 0 ? nobody : 0; // root writes into a read-only directory
    std::string why;
    const bool other_runs = other == 0 || runnable_as(other, sim, why);
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
        if (c.read_only && !other_runs)
            continue; // said below
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

    if (!other_runs)
        GTEST_SKIP() << "the read-only directory's cases: " << why;

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

} // namespace
