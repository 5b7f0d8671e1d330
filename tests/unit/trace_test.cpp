// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The one output log: output held while the device is open reaches standard output and
// standard error only when it is released, and then exactly as it would have gone there
// without the hold; messages kept for the -N status line stay until they are dropped.
#include "trace/trace.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

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
// into one file, as a shell's 2>&1 would put them (then all of it is in out). With
// LINE_BUFFERED, stdout writes each line at once, as to a terminal, so that the file shows
// the two streams interleaved line by line in the order written.
written capture_both(bool together, const std::function<void()> &body, bool line_buffered = false) {
    fflush(stdout);
    FILE *out = tmpfile();
    FILE *err = together ? out : tmpfile();
    int saved_out = dup(STDOUT_FILENO), saved_err = dup(STDERR_FILENO);
    dup2(fileno(out), STDOUT_FILENO);
    dup2(fileno(err), STDERR_FILENO);
    if (line_buffered)
        setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    body();
    fflush(stdout);
    if (line_buffered)
        setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
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

TEST_F(TraceHold, RecordsOfBothStreamsComeOutInTheOrderSaid) {
    const std::string name = program_invocation_short_name;
    const written released = capture_both(
        true,
        [] {
            output_hold();
            debug_print("one\n");
            say_warnx("two");
            say_puts("three");
            debug_print("four\n");
            errno = EIO;
            say_warn("five");
            output_release();
        },
        true);
    EXPECT_EQ(released.out, "==> one\n" + name + ": two\nthree\n==> four\n" + name +
                                ": five: Input/output error\n");
}

// The kept messages' texts, in order.
std::vector<std::string> kept_texts() {
    std::vector<std::string> texts;
    for (std::span<const char> m : kept_messages())
        texts.emplace_back(m.data(), m.size());
    return texts;
}

TEST_F(TraceHold, KeptMessagesStayThroughAReleaseAndGoWhenDropped) {
    const written w = capture_both(false, [] {
        messages_keep();
        say_warnx("before the hold");
        output_hold();
        debug_print("held %d\n", 1);
        errno = ENOENT;
        say_warn("open() on %s failed", "/dev/smb9");
        say_puts("two\nlines");
        debug_print("held %d\n", 2);
        output_release();
        debug_print("after the release\n");
        say_warnx("after the release");
    });
    // The trace alone reaches its stream; the messages are kept, without the program's name.
    EXPECT_EQ(w.out, "==> held 1\n==> held 2\n==> after the release\n");
    EXPECT_EQ(w.err, "");
    EXPECT_EQ(kept_texts(),
              (std::vector<std::string>{"before the hold",
                                        "open() on /dev/smb9 failed: No such file or directory",
                                        "two\nlines", "after the release"}));
    messages_drop();
    EXPECT_TRUE(kept_messages().empty());
    const written dropped = capture_both(false, [] { say_warnx("said"); });
    EXPECT_EQ(dropped.err, std::string(program_invocation_short_name) + ": said\n");
    EXPECT_TRUE(kept_messages().empty());
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

// What BODY writes to standard output and standard error in a child process, where, from
// LIMIT() on, the address space is a megabyte more than the process has then: not enough for
// a line of eight. The child ends with status 0 unless BODY or the limit fails.
written in_child_out_of_memory(const std::function<void(const std::function<void()> &)> &body) {
    char out_path[] = "/tmp/vantorel-trace-out-XXXXXX",
         err_path[] = "/tmp/vantorel-trace-err-XXXXXX";
    int out = mkstemp(out_path), err = mkstemp(err_path);
    EXPECT_GE(out, 0);
    EXPECT_GE(err, 0);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        body([] {
            const rlim_t limit = address_space() + (1 << 20);
            const struct rlimit as = {limit, limit};
            if (setrlimit(RLIMIT_AS, &as) != 0)
                _exit(2);
        });
        fflush(stdout);
        _exit(0);
    }
    int wstatus = 0;
    EXPECT_EQ(waitpid(pid, &wstatus, 0), pid);
    FILE *o = fdopen(out, "r"), *e = fdopen(err, "r");
    written w{contents(o), contents(e)};
    fclose(o);
    fclose(e);
    unlink(out_path);
    unlink(err_path);
    EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0) << wstatus;
    return w;
}

const int big = 8 << 20;

// Straight to the descriptor of standard error: what came before it was no longer held.
void mark(const char *text) {
    if (write(STDERR_FILENO, text, strlen(text)) != static_cast<ssize_t>(strlen(text)))
        _exit(3);
}

// Memory that cannot be had ends the hold: what it held comes out first, then the rest goes
// directly, nothing lost, nothing twice.
TEST_F(TraceHold, MemoryThatCannotBeHadEndsTheHoldWithNothingLostOrRepeated) {
#if defined(UNDER_ASAN)
    GTEST_SKIP() << "the sanitizer's allocator reserves more than any address-space limit";
#endif
    const written w = in_child_out_of_memory([](const std::function<void()> &limit) {
        output_hold();
        debug_print("held\n");
        say_warnx("held message");
        limit();
        debug_print("%*s\n", big, "big");
        debug_print("after\n");
        say_warnx("after message");
        mark("release\n");
        output_release();
    });
    const std::string name = program_invocation_short_name;
    EXPECT_EQ(w.err, name + ": held message\n" + name + ": after message\nrelease\n");
    const std::string want = "==> held\n==> " + std::string(big - 3, ' ') + "big\n==> after\n";
    EXPECT_EQ(w.out.size(), want.size());
    EXPECT_TRUE(w.out == want) << w.out.substr(0, 40);
}

// A message that cannot be kept is said as without the keeping, after what was held; the
// messages kept before and after it stay kept.
TEST_F(TraceHold, AMessageThatCannotBeKeptIsSaidAfterWhatWasHeld) {
#if defined(UNDER_ASAN)
    GTEST_SKIP() << "the sanitizer's allocator reserves more than any address-space limit";
#endif
    const written w = in_child_out_of_memory([](const std::function<void()> &limit) {
        messages_keep();
        output_hold();
        debug_print("held\n");
        say_warnx("kept");
        limit();
        say_warnx("%*s", big, "big");
        debug_print("after\n");
        say_warnx("kept after");
        mark("release\n");
        output_release();
        for (std::span<const char> m : kept_messages())
            printf("kept: %.*s\n", static_cast<int>(m.size()), m.data());
        messages_drop();
    });
    const std::string name = program_invocation_short_name;
    EXPECT_EQ(w.out, "==> held\n==> after\nkept: kept\nkept: kept after\n");
    const std::string want = name + ": " + std::string(big - 3, ' ') + "big\nrelease\n";
    EXPECT_EQ(w.err.size(), want.size());
    EXPECT_TRUE(w.err == want) << w.err.substr(0, 40);
}

} // namespace
