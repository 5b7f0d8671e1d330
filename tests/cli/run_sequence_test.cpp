// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The command-line suite: the run sequence: each failing step with its message, channel and status.
#include "cli.h"

namespace {

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

} // namespace
