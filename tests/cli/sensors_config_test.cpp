// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// -S, the board's libsensors configuration: the file for a board of each chip kind, written
// by any user without the bus, to standard output or a file; its failures as a reading's;
// its usage errors; and every board's file as libsensors itself parses it.
#include "boards/board_table.h"
#include "cli.h"

namespace {

std::string board_world(const std::string &product) {
    return "maker Supermicro\nproduct " + product + "\n";
}

// No chip in the world and a device that does not exist: -S never opens the bus.
outcome config_run(std::vector<std::string> args, const std::string &world) {
    args.insert(args.begin(), {"-f", "/nonexistent/smb9"});
    return run({sim, args, world});
}

struct config_case {
    const char *name;
    const char *product;
    const char *file;
};

class SensorsConfig : public ::testing::TestWithParam<config_case> {};

// The same file for root and for any other user.
TEST_P(SensorsConfig, IsTheExpectedFileForAnyUser) {
    for (const char *user : {"euid 0\n", "euid 1000\n"}) {
        SCOPED_TRACE(user);
        outcome o = config_run({"-S"}, user + board_world(GetParam().product));
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, expected(GetParam().file));
        EXPECT_EQ(o.err, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, SensorsConfig,
                         ::testing::Values(config_case{"w83793g", "X7DBP", "x7dbp.conf"},
                                           config_case{"w83792d", "P8SC8", "p8sc8.conf"},
                                           config_case{"two_chips", "X6DVA", "x6dva.conf"}),
                         by_case_name{});

// A setuid-root run gives up root before it reads anything, and never touches the bus.
TEST(SensorsConfigRun, ASetuidRunGivesUpRootFirstAndNeverOpensTheBus) {
    outcome o = config_run({"-v", "-S"}, "uid 12345\neuid 0\n" + board_world("X7DBP"));
    EXPECT_EQ(o.status, 0) << o.err;
    const size_t dropped = o.out.find("==> privileges dropped: uid 12345, euid 12345\n");
    ASSERT_NE(dropped, std::string::npos) << o.out;
    EXPECT_LT(dropped, o.out.find("==> board_lookup("));
    EXPECT_EQ(count(o.out, "read_byte"), 0u);
    EXPECT_NE(o.out.find("chip \"w83793-i2c-*-2f\""), std::string::npos);
}

// A board that cannot be identified fails as a reading does, for any user.
TEST(SensorsConfigRun, UnidentifiedBoardsFailAsAReadingDoes) {
    outcome o = config_run({"-S"}, "euid 1000\nmaker Supermicro\nproduct X6DVL\n");
    EXPECT_EQ(o.status, 65);
    EXPECT_EQ(o.out, expected("unsupported.txt"));
    EXPECT_EQ(o.err, "");
    o = config_run({"-S"}, "euid 1000\nmaker Supermicro\n");
    EXPECT_EQ(o.status, 71);
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(o.err.starts_with("vantorel: kenv() for smbios.planar.product failed: ")) << o.err;
}

class ConfigFile : public ::testing::Test {
  protected:
    std::string dir = temp_path("confdir");
    std::string file = dir + "/vantorel.conf";
    void SetUp() override {
        mkdir(dir.c_str(), 0755);
    }
    void TearDown() override {
        chmod(dir.c_str(), 0755);
        std::filesystem::remove_all(dir);
    }
};

// -o replaces the file whole, mode 0644, as it replaces a report; standard output stays
// empty.
TEST_F(ConfigFile, ReplacesTheFileAsAReport) {
    std::ofstream(file) << "old\n";
    outcome o = config_run({"-S", "-o", file}, board_world("P8SC8"));
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(read_file(file), expected("p8sc8.conf"));
    struct stat st {};
    stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

// A file that cannot be written: 74 with the message that a report's file gives, the file as
// it was.
TEST_F(ConfigFile, AFileThatCannotBeWrittenIsAnIoError) {
    mkdir((dir + "/sub").c_str(), 0755);
    outcome o = config_run({"-S", "-o", dir + "/sub"}, board_world("X7DBP"));
    EXPECT_EQ(o.status, 74);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "vantorel: cannot write " + dir + "/sub: Is a directory\n");
    std::string why;
    if (!runnable_as(nobody, sim, why))
        GTEST_SKIP() << "the read-only directory's case: " << why;
    std::ofstream(file) << "old\n";
    chmod(dir.c_str(), 0555);
    invocation inv{sim, {"-f", "/nonexistent/smb9", "-S", "-o", file}, board_world("X7DBP")};
    inv.as_uid = nobody;
    o = run(inv);
    EXPECT_EQ(o.status, 74);
    EXPECT_EQ(o.err, "vantorel: cannot write " + file + ": Permission denied\n");
    EXPECT_EQ(read_file(file), "old\n");
}

// -S goes with nothing that shapes a report: the first such option named, the usage text,
// 64; with -N, the plugin's UNKNOWN with the message on its status line.
struct usage_case {
    const char *name;
    std::vector<std::string> args;
    const char *other;
};

class SensorsConfigUsage : public ::testing::TestWithParam<usage_case> {};

TEST_P(SensorsConfigUsage, IsAUsageErrorNamingTheOtherOption) {
    const usage_case &c = GetParam();
    outcome o = config_run(c.args, board_world("X7DBP"));
    const std::string message = std::string("-S writes the board's libsensors configuration "
                                            "alone: ") +
                                c.other + " does not go with it";
    if (std::string(c.other) == "-N") {
        EXPECT_EQ(o.status, 3);
        EXPECT_EQ(o.out, "VANTOREL UNKNOWN - " + message + "\n" + expected("usage.txt"));
        EXPECT_EQ(o.err, "");
        return;
    }
    EXPECT_EQ(o.status, 64);
    EXPECT_EQ(o.out, expected("usage.txt"));
    EXPECT_EQ(o.err, "vantorel: " + message + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SensorsConfigUsage,
    ::testing::Values(usage_case{"csv", {"-S", "-c"}, "-c"},
                      usage_case{"json_before", {"-J", "-S"}, "-J"},
                      usage_case{"prometheus_to_a_file", {"-S", "-P", "-o", "/tmp/x.prom"}, "-P"},
                      usage_case{"limits", {"-a", "-S"}, "-a"},
                      usage_case{"exclusion", {"-S", "-x", "FAN1"}, "-x"},
                      usage_case{"plugin", {"-S", "-N"}, "-N"}),
    by_case_name{});

// The Linux program itself lets any user ask: no root check, the machine's own board strings
// identified (this machine is no supported board, or has no SMBIOS baseboard strings).
TEST(SensorsConfigRun, TheLinuxProgramAsksNoPrivilege) {
    if (std::string why; !runnable_as(nobody, linux_build, why))
        GTEST_SKIP() << why;
    invocation inv{linux_build, {"-S"}, ""};
    inv.as_uid = nobody;
    outcome o = run(inv);
    EXPECT_TRUE(o.status == 65 || o.status == 71 || o.status == 0) << o.status << o.err;
    EXPECT_EQ(o.err.find("Must be run as root"), std::string::npos) << o.err;
}

// libsensors' own parser takes every board's file: `sensors -c FILE` reports a line it
// cannot parse before anything else, chips or none.
TEST(SensorsConfigRun, LibsensorsParsesEveryBoardsFile) {
    const char *sensors = "/usr/bin/sensors";
    if (access(sensors, X_OK) != 0)
        GTEST_SKIP() << "lm-sensors is not installed";
    if (wrapped_runs())
        GTEST_SKIP() << "the wrapper checks vantorel, not lm-sensors";
    const std::string path = temp_path("board.conf");
    for (const board &b : board_table) {
        SCOPED_TRACE(b.product);
        outcome o = config_run({"-S", "-o", path}, board_world(b.product));
        ASSERT_EQ(o.status, 0) << o.err;
        o = run({sensors, {"-c", path}, ""});
        EXPECT_EQ(o.err.find("Error"), std::string::npos) << o.err;
        EXPECT_EQ(o.err.find("error"), std::string::npos) << o.err;
    }
    unlink(path.c_str());
}

} // namespace
