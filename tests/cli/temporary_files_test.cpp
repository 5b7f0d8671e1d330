// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The command-line suite: temporary files that outlive their run.
#include "cli.h"

#include <fcntl.h>
#include <sys/file.h>

#include <regex>
#include <sstream>

namespace {

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
        ASSERT_EQ(chown(name(3).c_str(), nobody, nobody), 0);
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

} // namespace

// Every fixed temporary name taken by what the run may not remove: files that live runs hold,
// or, in a sticky directory such as /tmp, another user's files (STICKY). The run then takes a
// name drawn at random, which nobody can have taken for it: FILE is replaced, and a failed
// run's FILE says that it failed, as anywhere else; nothing of the run is left, and nothing
// of anyone else's is touched.
void ReportFile::write_past_taken_names(bool sticky) {
    // Another user's files are in the way of a third user, who may write the directory.
    const uid_t squatter = nobody, runner = sticky ? 12345 : geteuid();
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

namespace {

TEST_F(ReportFile, TemporaryNamesThatLiveRunsHoldDoNotKeepTheRunFromTheFile) {
    write_past_taken_names(false);
}

TEST_F(ReportFile, AnotherUsersFilesUnderTheTemporaryNamesDoNotKeepTheRunFromTheFile) {
    if (std::string why; !runnable_as(12345, sim, why))
        GTEST_SKIP() << why;
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

} // namespace
