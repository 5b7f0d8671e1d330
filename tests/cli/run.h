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

enum class stdout_mode { capture, closed, full };

struct invocation {
    std::string program;
    std::vector<std::string> args;
    std::string fixture; // simulated world, written to a file the child is pointed at
    uid_t as_uid = 0;    // run under this real and effective user id (when we are root)
    stdout_mode out = stdout_mode::capture;
    // Largest file the program may write, in bytes, as a full disk would stop it (0: no
    // limit). A write past it fails with EFBIG.
    unsigned long file_size_limit = 0;
};

// The programs run as themselves, or, when VANTOREL_CLI_WRAPPER names a command, through it
// (as WRAPPER PROGRAM ARGS...): tests/cli/memcheck checks every run for leaks that way.
bool wrapped_runs();

pid_t start(const invocation &inv, const std::string &out_path, const std::string &err_path);
outcome finish(pid_t pid, const std::string &out_path, const std::string &err_path);
outcome run(const invocation &inv);

std::string read_file(const std::string &path);
std::string temp_path(const std::string &stem);
