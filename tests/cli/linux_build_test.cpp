// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The command-line suite: the Linux build, for what needs no hardware.
#include "cli.h"

namespace {

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
    const std::string top = temp_path("setuid");
    const std::string program = top + "/vantorel", root_dir = top + "/root",
                      sticky = top + "/sticky", own = top + "/own";
    mkdir(top.c_str(), 0755);
    ASSERT_NO_FATAL_FAILURE(install_setuid_root_copy(linux_build, program));
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
    if (std::string why; !runnable_as(nobody, linux_build, why))
        GTEST_SKIP() << why;
    outcome o = run({linux_build, {"-J"}, "", nobody});
    EXPECT_EQ(o.status, 77);
    EXPECT_EQ(o.out, "");
    expect_warning(o, "Must be run as root, or setuid root");
}

} // namespace
