// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Runs a built program as a child process and collects what it did.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct outcome {
    int status = -1; // exit status, or -1 when the child did not exit normally
    std::string out;
    std::string err;
};

// Where the program's standard output goes: a file the test reads back, nowhere (descriptor 1
// closed), /dev/full, or a descriptor of the test's own (invocation::stdout_fd).
enum class stdout_mode { capture, closed, full, descriptor };

struct invocation {
    std::string program;
    std::vector<std::string> args;
    std::string fixture; // simulated world, written to a file the child is pointed at
    uid_t as_uid = 0;    // run under this real and effective user id (when we are root)
    stdout_mode out = stdout_mode::capture;
    int stdout_fd = -1;         // with stdout_mode::descriptor
    bool stdin_closed = false;  // descriptor 0 closed at exec
    bool stderr_closed = false; // descriptor 2 closed at exec (err then reads empty)
    // Descriptor 2 goes where descriptor 1 does, as with 2>&1 (err then reads empty), or to a
    // descriptor of the test's own (stderr_fd, when not -1).
    bool stderr_as_stdout = false;
    int stderr_fd = -1;
    // Largest file the program may write, in bytes, as a full disk would stop it (0: no
    // limit). A write past it fails with EFBIG.
    unsigned long file_size_limit = 0;
    // The program runs in a mount namespace of its own over an empty /dev, where /dev/null
    // cannot be opened (needs root; the child exits 125 where the namespace cannot be had).
    bool without_dev_null = false;
    // The program runs in a mount namespace of its own whose /proc hides other users'
    // processes (hidepid=invisible; needs root; the child exits 125 where it cannot be had).
    bool proc_hidepid = false;
    // The program leads a process group of its own, in the test's session: a group that job
    // control's stop signals (SIGTSTP, SIGTTIN, SIGTTOU) stop, unlike an orphaned one.
    bool own_process_group = false;
};

// The programs run as themselves, or, when VANTOREL_CLI_WRAPPER names a command, through it
// (as WRAPPER PROGRAM ARGS...): tests/cli/memcheck checks every run for leaks that way.
bool wrapped_runs();

pid_t start(const invocation &inv, const std::string &out_path, const std::string &err_path);
outcome finish(pid_t pid, const std::string &out_path, const std::string &err_path);
outcome run(const invocation &inv);

std::string read_file(const std::string &path);
std::string temp_path(const std::string &stem);

// Whether the tests can run PROGRAM as user UID (invocation::as_uid): they must be root to
// become another user, and that user must reach the program, the temporary directory and,
// when VANTOREL_CLI_WRAPPER is set, the wrapper. Where a program or the wrapper lies out of
// the user's reach (a checkout in root's home, mode 0700), start() runs a copy of it from a
// directory of the tests' own under the temporary directory (mode 0755, removed when the
// tests end). When not, WHY says what stands in the way, for the test to skip with; start()
// then has the child say it on its standard error and exit 126.
bool runnable_as(uid_t uid, const std::string &program, std::string &why);
