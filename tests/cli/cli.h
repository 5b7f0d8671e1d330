// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// What the command-line suite's files share: the programs and the expected files, the world
// of a simulated run, and the fixtures for a run over a stand-in device and for a report
// written to a file. The suite runs the program as a user and a script see it: standard
// output byte for byte, standard error, and the exit status, over the simulated platform
// (board identity, user id, chips) and, for what needs no hardware, the Linux build itself.
#pragma once

#include "run.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

inline const std::string sim = VANTOREL_SIM_BIN;
inline const std::string linux_build = VANTOREL_LINUX_BIN;
inline const std::string expected_dir = VANTOREL_EXPECTED_DIR;

inline std::string expected(const std::string &name) {
    return read_file(expected_dir + "/" + name);
}
inline std::string fixture(const std::string &name) {
    return read_file(expected_dir + "/../fixtures/" + name);
}

// The simulated build takes its effective user id from the world it is given.
inline std::string as_user(uid_t uid) {
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

inline const std::string x7dbp_world = "maker Supermicro\nproduct X7DBP\nchip 0x2f\n";
inline const std::string warn_prefix = "vantorel: ";

// warn(3) appends the text of whatever errno holds; only the message itself is ours.
inline void expect_warning(const outcome &o, const std::string &message) {
    EXPECT_TRUE(o.err.starts_with(warn_prefix + message + ": ")) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
}

// A wrapper (a shell and valgrind) opens files of its own into the free slots before the
// program starts, so only unwrapped runs start with a standard descriptor really closed.
inline const char *const wrapper_takes_descriptors = "the wrapper fills closed descriptors itself";

// A setuid-root run by a user to whom no file of the test belongs.
inline const std::string setuid_world = "uid 12345\neuid 0\n";

// The user without privileges whom the tests that need root run programs as.
inline constexpr uid_t nobody = 65534;

// Installs a setuid-root copy of the program FROM at TO. Needs root.
inline void install_setuid_root_copy(const std::string &from, const std::string &to) {
    std::filesystem::copy_file(from, to);
    ASSERT_EQ(chown(to.c_str(), 0, 0), 0) << to;
    ASSERT_EQ(chmod(to.c_str(), 04755), 0) << to;
}

// What in a trace differs from run to run: the pointers (%p), and the device's descriptor
// under a wrapper that opens files of its own. Everything else must match byte for byte.
inline std::string normalised(const std::string &text) {
    static const std::regex pointer(
        "((?:maker|product|\\bs|\\bb) = |struct: |board_lookup\\(\\) returning )0x[0-9a-f]+");
    static const std::regex descriptor("\\b(fd|f) = [0-9]+");
    return std::regex_replace(std::regex_replace(text, pointer, "$1%p"), descriptor, "$1 = N");
}

// The limits of an X7DBP as a BIOS sets them, over its fixture, OK with every limit meant:
// CPU1 Temperature's critical limit 80 and warning level 70, VcoreA's window 1.120-1.280 V
// (in0: high 0xA0, low 0x8C), the -12V rail's -13.056 to -10.752 V (in3: high 0x22, low
// 0x1C), FAN1's minimum 1200 RPM.
inline const std::string x7dbp_limits = "reg 0x2f 0x78 0x50\nreg 0x2f 0x79 0x4b\n"
                                        "reg 0x2f 0x7a 0x46\nreg 0x2f 0x7b 0x41\n"
                                        "reg 0x2f 0x60 0xa0\nreg 0x2f 0x61 0x8c\n"
                                        "reg 0x2f 0x6a 0x22\nreg 0x2f 0x6b 0x1c\n"
                                        "reg 0x2f 0x90 0x04\nreg 0x2f 0x91 0x65\n";

// How much longer than its wait a run may take to give up: a run under a wrapper (valgrind)
// takes seconds to start on a loaded machine.
inline double slack() {
    return wrapped_runs() ? 30 : 3;
}

// Whether the child PID has ended within SECONDS, left unreaped for finish().
inline bool ended_within(pid_t pid, double seconds) {
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
inline std::string own_command() {
    std::string comm = read_file("/proc/self/comm");
    return comm.substr(0, comm.find('\n'));
}

// What a run says of DEVICE, locked by this process, at the end of a wait of SECONDS.
inline std::string still_locked(const std::string &device, int seconds) {
    return device + " locked for " + std::to_string(seconds) + " s: lock taken by process " +
           std::to_string(getpid()) + " (" + own_command() + ")";
}

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

namespace {

// A table's case prints as its name in test names and messages, not as its bytes.
template <typename Case>
requires requires(const Case &c) {
    c.name;
}
void PrintTo(const Case &c, std::ostream *os) {
    *os << c.name;
}

} // namespace
