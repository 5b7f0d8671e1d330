// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Finding who holds a device's flock(2) lock in /proc/locks: over small lists laid out in a
// temporary directory, and over the kernel's own list while this process holds a lock.
#include "platform/linux/lock_holder.h"
#include "platform/device_lock.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// The file asked about: device 0x103:0x1a (259:26, a major that needs three hex digits),
// inode 4711.
const dev_t device = makedev(0x103, 0x1a);
const ino_t inode = 4711;

struct list_case {
    const char *name;
    std::string locks; // the list; pid 1234 has the command name "vantorel", 2345 a hostile one
    pid_t pid;
    const char *command;
};

class LockList : public ::testing::TestWithParam<list_case> {
  protected:
    fs::path proc;
    void SetUp() override {
        char tmpl[] = "/tmp/vantorel-proc-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        proc = tmpl;
        fs::create_directories(proc / "1234");
        std::ofstream(proc / "1234" / "comm") << "vantorel\n";
        // A name chosen to reach a terminal: an escape sequence, a tab, a byte above ASCII.
        fs::create_directories(proc / "2345");
        std::ofstream(proc / "2345" / "comm") << "ev\x1b[2J\til\xe9\n";
    }
    void TearDown() override {
        fs::remove_all(proc);
    }
};

TEST_P(LockList, NamesTheHolderOfAFlockOfThatFileOnly) {
    const list_case &c = GetParam();
    if (!c.locks.empty())
        std::ofstream(proc / "locks") << c.locks;
    lock_holder h = find_flock_holder(proc.c_str(), device, inode);
    EXPECT_EQ(h.pid, c.pid);
    EXPECT_STREQ(h.command, c.command);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LockList,
    ::testing::Values(list_case{"holder_among_others",
                                "1: POSIX  ADVISORY  WRITE 99 103:1a:4711 0 EOF\n"
                                "2: FLOCK  ADVISORY  WRITE 98 103:1a:4712 0 EOF\n"
                                "3: FLOCK  ADVISORY  WRITE 97 01:1a:4711 0 EOF\n"
                                "4: FLOCK  ADVISORY  WRITE 1234 103:1a:4711 0 EOF\n"
                                "4: -> FLOCK  ADVISORY  WRITE 5678 103:1a:4711 0 EOF\n",
                                1234, "vantorel"},
                      list_case{"waiter_is_no_holder",
                                "1: -> FLOCK  ADVISORY  WRITE 5678 103:1a:4711 0 EOF\n", 0, ""},
                      list_case{"control_characters_replaced",
                                "1: FLOCK  ADVISORY  WRITE 2345 103:1a:4711 0 EOF\n", 2345,
                                "ev?[2J?il?"},
                      list_case{"holder_without_command_name",
                                "1: FLOCK  ADVISORY  WRITE 4321 103:1a:4711 0 EOF\n", 4321, ""},
                      list_case{"holder_without_process_id",
                                "1: FLOCK  ADVISORY  WRITE 0 103:1a:4711 0 EOF\n", 0, ""},
                      list_case{"no_list", "", 0, ""}),
    [](const auto &info) { return std::string(info.param.name); });

// The kernel's own list: a lock this process holds on a temporary file.
TEST(LockHolder, TheKernelsListNamesThisProcess) {
    char path[] = "/tmp/vantorel-locked-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    struct stat st;
    ASSERT_EQ(fstat(fd, &st), 0);
    lock_holder h = find_flock_holder("/proc", st.st_dev, st.st_ino);
    close(fd);
    unlink(path);
    EXPECT_EQ(h.pid, getpid());
    std::string comm;
    std::getline(std::ifstream("/proc/self/comm"), comm);
    EXPECT_EQ(h.command, comm);
}

// The deadline of a bounded wait where time_t has 32 bits: a monotonic clock some days after
// boot plus -t's largest value passes INT32_MAX, and the wait must still last its seconds.
TEST(LockWait, TheDeadlineIsNeverFormedInThe32BitClockType) {
    const int32_t booted = 3 * 24 * 3600;
    const unsigned longest = INT32_MAX;
    struct {
        int32_t now_sec;
        long now_nsec;
        unsigned seconds;
        long long left;
    } cases[] = {
        {booted, 0, longest, static_cast<long long>(longest) * 1000000000LL},
        {booted + 1, 500000000, longest,
         (static_cast<long long>(longest) - 2) * 1000000000LL + 500000000},
        {booted + 10, 0, 10, 0},
        {booted + 10, 1, 10, -1},
        {booted, 0, 0, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(wait_nanoseconds_left<int32_t>(booted, 0, c.seconds, c.now_sec, c.now_nsec),
                  c.left)
            << c.now_sec << "." << c.now_nsec << " s of " << c.seconds;
    }
}

} // namespace
