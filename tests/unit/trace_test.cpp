// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Output held while the device is open: nothing reaches standard output or standard error
// until it is released, and then exactly what would have gone there without the hold.
#include "trace/trace.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace {

std::string contents(FILE *f) {
    std::string text;
    rewind(f);
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;)
        text.append(buf, n);
    return text;
}

struct written {
    std::string out, err;
};

// What BODY writes to descriptors 1 and 2: each into a file of its own, or, TOGETHER, both
// into one file, as a shell's 2>&1 would put them (then all of it is in out).
written capture_both(bool together, const std::function<void()> &body) {
    fflush(stdout);
    FILE *out = tmpfile();
    FILE *err = together ? out : tmpfile();
    int saved_out = dup(STDOUT_FILENO), saved_err = dup(STDERR_FILENO);
    dup2(fileno(out), STDOUT_FILENO);
    dup2(fileno(err), STDERR_FILENO);
    body();
    fflush(stdout);
    dup2(saved_out, STDOUT_FILENO);
    dup2(saved_err, STDERR_FILENO);
    close(saved_out);
    close(saved_err);
    written w{contents(out), together ? "" : contents(err)};
    if (!together)
        fclose(err);
    fclose(out);
    return w;
}

// A run's worth of saying, the trace and messages alternating: a '%' in a line of text, a
// warning for errno 0, and one line longer than the memory that a hold first takes.
void say_a_run() {
    debug_print("board_lookup(maker = %s)\n", "Supermicro");
    errno = ENOENT;
    say_warn("reading through the %s driver: %s", "w83793", "/sys/in0_input");
    debug_print("\t%s = %ld\n", "in0_input", 1200L);
    say_puts("100% of the lines, 0x%02x as it stands");
    say_warnx("the kernel's %s driver holds the chip at 0x%02x", "at24", 0x2f);
    errno = 0;
    say_warn("no error at all");
    debug_print("%s\n", std::string(20000, 'x').c_str());
    say_warnx("last");
}

class TraceHold : public ::testing::Test {
  protected:
    void SetUp() override {
        opt_verbose = true;
    }
    void TearDown() override {
        output_release();
        opt_verbose = false;
    }
};

TEST_F(TraceHold, ReleaseWritesWhatTheStreamsWouldHaveReceivedInTheSameOrder) {
    for (bool together : {false, true}) {
        SCOPED_TRACE(together ? "stdout and stderr into one file" : "each into its own file");
        const written direct = capture_both(together, say_a_run);
        ASSERT_NE(direct.out, "");
        const written during = capture_both(together, [] {
            output_hold();
            output_hold(); // a second hold changes nothing
            say_a_run();
        });
        EXPECT_EQ(during.out, "");
        EXPECT_EQ(during.err, "");
        const written released = capture_both(together, [] {
            output_release();
            output_release(); // nothing is held any more
        });
        EXPECT_EQ(released.out, direct.out);
        EXPECT_EQ(released.err, direct.err);
    }
}

TEST_F(TraceHold, MessagesKeepErrnoHeldOrNot) {
    capture_both(false, [] {
        for (bool hold : {true, false}) {
            if (hold)
                output_hold();
            errno = EBUSY;
            say_warn("busy");
            EXPECT_EQ(errno, EBUSY);
            say_warnx("busy");
            EXPECT_EQ(errno, EBUSY);
            output_release();
        }
    });
}

// The address space of the process, in bytes.
rlim_t address_space() {
    unsigned long pages = 0;
    FILE *f = fopen("/proc/self/statm", "r");
    if (f != nullptr) {
        if (fscanf(f, "%lu", &pages) != 1)
            pages = 0;
        fclose(f);
    }
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ASAN 1
#endif
#endif

// Memory that cannot be had ends the hold: what it held comes out first, then the rest goes
// directly, nothing lost, nothing twice.
TEST_F(TraceHold, MemoryThatCannotBeHadEndsTheHoldWithNothingLostOrRepeated) {
#if defined(UNDER_ASAN)
    GTEST_SKIP() << "the sanitizer's allocator reserves more than any address-space limit";
#endif
    const int big = 8 << 20;
    char out_path[] = "/tmp/vantorel-trace-out-XXXXXX",
         err_path[] = "/tmp/vantorel-trace-err-XXXXXX";
    int out = mkstemp(out_path), err = mkstemp(err_path);
    ASSERT_GE(out, 0);
    ASSERT_GE(err, 0);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        output_hold();
        debug_print("held\n");
        say_warnx("held message");
        // A megabyte more than the process has now: not enough for a line of eight.
        const rlim_t limit = address_space() + (1 << 20);
        const struct rlimit as = {limit, limit};
        if (setrlimit(RLIMIT_AS, &as) != 0)
            _exit(2);
        debug_print("%*s\n", big, "big");
        debug_print("after\n");
        say_warnx("after message");
        // Straight to the descriptor: what came before it was no longer held.
        const char mark[] = "release\n";
        if (write(STDERR_FILENO, mark, sizeof mark - 1) != sizeof mark - 1)
            _exit(3);
        output_release();
        fflush(stdout);
        _exit(0);
    }
    int wstatus = 0;
    ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
    FILE *o = fdopen(out, "r"), *e = fdopen(err, "r");
    const std::string got_out = contents(o), got_err = contents(e);
    fclose(o);
    fclose(e);
    unlink(out_path);
    unlink(err_path);
    ASSERT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0) << wstatus;
    const std::string name = program_invocation_short_name;
    EXPECT_EQ(got_err, name + ": held message\n" + name + ": after message\nrelease\n");
    const std::string want = "==> held\n==> " + std::string(big - 3, ' ') + "big\n==> after\n";
    EXPECT_EQ(got_out.size(), want.size());
    EXPECT_TRUE(got_out == want) << got_out.substr(0, 40);
}

} // namespace
