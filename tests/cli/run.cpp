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

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

std::string read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

static std::string temp_dir() {
    const char *dir = getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

std::string temp_path(const std::string &stem) {
    static int serial = 0;
    return temp_dir() + "/vantorel-cli-" + std::to_string(getpid()) + "-" +
           std::to_string(serial++) + "-" + stem;
}

// Whether user UID may read and execute PATH, every directory above it included: asked by a
// child that has become the user, as the run's own child will.
static bool reachable_by(uid_t uid, const std::string &path) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0)
            _exit(2);
        _exit(access(path.c_str(), R_OK | X_OK) == 0 ? 0 : 1);
    }
    int wstatus = 0;
    return pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus) &&
           WEXITSTATUS(wstatus) == 0;
}

// The directory of the copies that other users run, made at the first copy and removed
// when the test process exits; each copy in a subdirectory of its own, under the program's
// own name (the simulated and the Linux build are both "vantorel").
static std::string copies_dir;
static std::map<std::string, std::string> copies; // program -> its copy

static void remove_copies() {
    std::error_code ignored;
    std::filesystem::remove_all(copies_dir, ignored);
}

// PROGRAM, or a copy of it, as user UID can run it; empty, with WHY, where neither is.
static std::string path_for(uid_t uid, const std::string &program, std::string &why) {
    if (reachable_by(uid, program))
        return program;
    auto copy = copies.find(program);
    if (copy == copies.end()) {
        if (copies_dir.empty()) {
            std::string dir = temp_dir() + "/vantorel-cli-programs-XXXXXX";
            if (mkdtemp(dir.data()) == nullptr || chmod(dir.c_str(), 0755) != 0) {
                why = "cannot make a directory for the programs' copies in " + temp_dir();
                return "";
            }
            copies_dir = dir;
            atexit(remove_copies);
        }
        const std::string sub = copies_dir + "/" + std::to_string(copies.size());
        const std::string path = sub + "/" + std::filesystem::path(program).filename().string();
        std::error_code error;
        if (mkdir(sub.c_str(), 0755) != 0 || chmod(sub.c_str(), 0755) != 0 ||
            !std::filesystem::copy_file(program, path, error) || chmod(path.c_str(), 0755) != 0) {
            why = "cannot copy " + program + " to " + path;
            return "";
        }
        copy = copies.emplace(program, path).first;
    }
    if (!reachable_by(uid, copy->second)) {
        why = "user " + std::to_string(uid) + " can reach neither " + program + " nor its copy " +
              copy->second + ": the temporary directory " + temp_dir() +
              " is out of its reach (set TMPDIR to one it may enter)";
        return "";
    }
    return copy->second;
}

bool runnable_as(uid_t uid, const std::string &program, std::string &why) {
    if (geteuid() != 0) {
        why = "needs root to run the program as another user";
        return false;
    }
    if (!reachable_by(uid, temp_dir())) {
        why = "user " + std::to_string(uid) + " cannot reach the temporary directory " +
              temp_dir() + " (set TMPDIR to one it may enter)";
        return false;
    }
    if (path_for(uid, program, why).empty())
        return false;
    const char *wrapper = getenv("VANTOREL_CLI_WRAPPER");
    return wrapper == nullptr || !path_for(uid, wrapper, why).empty();
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
    // What the child executes: the program, or the wrapper that runs it, each from where the
    // user it runs as can reach it.
    const bool as_other_user = inv.as_uid != 0 && geteuid() == 0;
    const char *wrapper = getenv("VANTOREL_CLI_WRAPPER");
    std::string program = inv.program, wrapper_path = wrapper != nullptr ? wrapper : "", why;
    if (as_other_user) {
        program = path_for(inv.as_uid, program, why);
        if (wrapper != nullptr && !program.empty())
            wrapper_path = path_for(inv.as_uid, wrapper_path, why);
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
    if (as_other_user) {
        if (program.empty() || (wrapper != nullptr && wrapper_path.empty())) {
            dprintf(STDERR_FILENO, "cannot run %s as user %u: %s\n", inv.program.c_str(),
                    static_cast<unsigned>(inv.as_uid), why.c_str());
            _exit(126);
        }
        if (setgroups(0, nullptr) != 0 || setgid(inv.as_uid) != 0 || setuid(inv.as_uid) != 0)
            _exit(126);
    }
    std::vector<char *> argv;
    if (wrapper != nullptr) {
        // The wrapper runs the program by its path, whose last component is "vantorel" too.
        argv.push_back(wrapper_path.data());
        argv.push_back(program.data());
    } else {
        argv.push_back(const_cast<char *>("vantorel"));
    }
    for (const std::string &a : inv.args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(wrapper != nullptr ? wrapper_path.c_str() : program.c_str(), argv.data());
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
