// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "run.h"

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

std::string read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string temp_path(const std::string &stem) {
    static int serial = 0;
    const char *dir = getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/vantorel-cli-" + std::to_string(getpid()) + "-" +
           std::to_string(serial++) + "-" + stem;
}

// Fixture files of children still running, removed once they have been waited for.
static std::map<pid_t, std::string> fixtures;

pid_t start(const invocation &inv, const std::string &out_path, const std::string &err_path) {
    std::string fixture_path;
    if (!inv.fixture.empty()) {
        fixture_path = temp_path("fixture");
        std::ofstream(fixture_path) << inv.fixture;
        chmod(fixture_path.c_str(), 0644);
    }
    fflush(nullptr);
    pid_t pid = fork();
    if (pid != 0) {
        if (!fixture_path.empty())
            fixtures[pid] = fixture_path;
        return pid;
    }

    int out = -1;
    if (inv.out == stdout_mode::capture)
        out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    else if (inv.out == stdout_mode::full)
        out = open("/dev/full", O_WRONLY);
    else if (inv.out == stdout_mode::descriptor)
        out = inv.stdout_fd;
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, STDIN_FILENO);
    if (out >= 0)
        dup2(out, STDOUT_FILENO);
    if (inv.stderr_as_stdout)
        dup2(STDOUT_FILENO, STDERR_FILENO);
    else
        dup2(inv.stderr_fd >= 0 ? inv.stderr_fd : err, STDERR_FILENO);
    // The program sees only the three standard streams, as from a shell, less those that the
    // test has closed: the program starts with them really closed, their slots free.
    close_range(STDERR_FILENO + 1, ~0U, 0);
    if (inv.stdin_closed)
        close(STDIN_FILENO);
    if (out < 0)
        close(STDOUT_FILENO);
    if (inv.stderr_closed)
        close(STDERR_FILENO);

    if (fixture_path.empty())
        unsetenv("VANTOREL_SIM_FIXTURE");
    else
        setenv("VANTOREL_SIM_FIXTURE", fixture_path.c_str(), 1);
    if (inv.without_dev_null && (unshare(CLONE_NEWNS) != 0 ||
                                 mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                                 mount("tmpfs", "/dev", "tmpfs", 0, "size=16k") != 0))
        _exit(125);
    if (inv.proc_hidepid && (unshare(CLONE_NEWNS) != 0 ||
                             mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                             mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC,
                                   "hidepid=invisible") != 0))
        _exit(125);
    if (inv.own_process_group && setpgid(0, 0) != 0)
        _exit(125);
    if (inv.file_size_limit != 0) {
        signal(SIGXFSZ, SIG_IGN); // stays ignored across execv
        struct rlimit limit = {inv.file_size_limit, inv.file_size_limit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (inv.as_uid != 0 && geteuid() == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(inv.as_uid) != 0 || setuid(inv.as_uid) != 0)
            _exit(126);
    }
    std::vector<char *> argv;
    const char *wrapper = getenv("VANTOREL_CLI_WRAPPER");
    if (wrapper != nullptr) {
        // The wrapper runs the program by its path, whose last component is "vantorel" too.
        argv.push_back(const_cast<char *>(wrapper));
        argv.push_back(const_cast<char *>(inv.program.c_str()));
    } else {
        argv.push_back(const_cast<char *>("vantorel"));
    }
    for (const std::string &a : inv.args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(wrapper != nullptr ? wrapper : inv.program.c_str(), argv.data());
    _exit(127);
}

outcome finish(pid_t pid, const std::string &out_path, const std::string &err_path) {
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    outcome o;
    o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    o.out = read_file(out_path);
    o.err = read_file(err_path);
    unlink(out_path.c_str());
    unlink(err_path.c_str());
    if (auto f = fixtures.find(pid); f != fixtures.end()) {
        unlink(f->second.c_str());
        fixtures.erase(f);
    }
    return o;
}

bool wrapped_runs() {
    return getenv("VANTOREL_CLI_WRAPPER") != nullptr;
}

outcome run(const invocation &inv) {
    std::string out = temp_path("out"), err = temp_path("err");
    return finish(start(inv, out, err), out, err);
}
