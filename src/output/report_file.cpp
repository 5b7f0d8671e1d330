// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "output/report_file.h"
#include "output/sensors_config.h"
#include "trace/trace.h"

#include <err.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sysexits.h>
#include <unistd.h>

namespace {

// --- replacing a file whole ---
//
// The report is written to a temporary file in FILE's directory and renamed over FILE. The
// rename stays inside one file system and is atomic: a reader opens the old file or the new
// one, whole, never a part. After the rename the directory is synced, so that a crash cannot
// bring the old file back.
//
// A temporary file's name is one of a fixed few, ".vantorel.0" to ".vantorel.7": each starts
// with a dot and never ends in ".prom", the only files node_exporter's textfile collector
// reads; and being few and known, a later run finds whatever a run killed mid-write left
// under them without listing the directory. Where the system can, the file has no name at
// all until it is written and synced (Linux's O_TMPFILE), so that a run killed during the
// slow part leaves nothing.
//
// In a directory that others may write, such as a sticky /tmp, another user can take all the
// fixed names with files this run may not remove. A run that finds none of them free draws a
// name nobody can foresee instead, ".vantorel." and 16 random hexadecimal digits, and creates
// or links its file under it only where nothing is (O_EXCL, linkat), so the names that others
// hold cannot keep it from replacing FILE. A later run cannot know a drawn name without
// listing the directory, so what a run killed under one leaves stays; with O_TMPFILE the
// name exists only from the link to the rename.
//
// A run holds an exclusive flock(2) on its temporary file from before the file has its name
// until after the name is gone (renamed over FILE, or removed). The kernel drops the lock of
// a run that dies, with its last descriptor. So a name whose file nobody holds locked is a
// dead run's leftover, and any run may remove it.
constexpr unsigned temp_names = 8;
constexpr char temp_prefix[] = ".vantorel.";
constexpr size_t drawn_digits = 16;
// Drawn names tried before the run gives up (EAGAIN): each one taken already is a chance of
// one in 2^64, or a directory that someone fills with every name there is.
constexpr unsigned drawn_tries = 8;

struct temp_name {
    char text[sizeof temp_prefix + drawn_digits];
};

constexpr temp_name temp_name_of(unsigned slot) {
    temp_name n = {".vantorel.0"};
    n.text[sizeof temp_prefix - 1] = static_cast<char>('0' + slot);
    return n;
}

static_assert(temp_names <= 10, "one digit per name");

constexpr char hex_digits[] = "0123456789abcdef";

// A name drawn from the system's randomness into N. False with errno set when the system has
// none to give.
bool draw_name(temp_name &n) {
    unsigned char bits[drawn_digits / 2];
    if (getentropy(bits, sizeof bits) != 0)
        return false;
    char *digit = n.text + (sizeof temp_prefix - 1);
    memcpy(n.text, temp_prefix, sizeof temp_prefix - 1);
    for (unsigned char b : bits) {
        *digit++ = hex_digits[b >> 4];
        *digit++ = hex_digits[b & 0xf];
    }
    *digit = '\0';
    return true;
}

// FILE's directory, open for the *at calls and its sync, and FILE's last component.
struct directory {
    char path[PATH_MAX]; // "." when FILE has no '/'
    int fd = -1;
    size_t prefix_len = 0; // FILE's characters up to and including its last '/'
    const char *base = nullptr;
};

// Opens FILE's directory into D. False with errno set.
bool open_directory(const char *file, directory &d) {
    const char *slash = strrchr(file, '/');
    d.prefix_len = slash == nullptr ? 0 : static_cast<size_t>(slash - file) + 1;
    d.base = file + d.prefix_len;
    if (d.prefix_len == 0) {
        strcpy(d.path, ".");
    } else {
        // "/x" lies in "/", "a/b/x" in "a/b".
        const size_t len = d.prefix_len == 1 ? 1 : d.prefix_len - 1;
        if (len >= sizeof d.path) {
            errno = ENAMETOOLONG;
            return false;
        }
        memcpy(d.path, file, len);
        d.path[len] = '\0';
    }
    d.fd = open(d.path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return d.fd >= 0;
}

bool same_file(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether NAME in D is free for this run's temporary file: absent, or a dead run's leftover,
// which is then removed. A leftover is only ever a regular file of this effective user with
// no other link, that nobody holds locked and that is still under NAME once locked (a run
// that finished meanwhile has renamed it away). Symbolic links are not followed, and what
// belongs to another user is left alone: a setuid-root run has given up root by now, so it
// removes only what the user who ran it could have removed; a run as root, only root's.
bool name_is_free(const directory &d, const char *name) {
    struct stat named;
    if (fstatat(d.fd, name, &named, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISREG(named.st_mode) || named.st_uid != geteuid() || named.st_nlink != 1)
        return false;
    // O_NONBLOCK: should a FIFO have taken the name meanwhile, the open does not wait for it.
    const int fd = openat(d.fd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened;
    const bool removed = fstat(fd, &opened) == 0 && same_file(named, opened) &&
                         flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                         fstatat(d.fd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                         same_file(named, opened) && unlinkat(d.fd, name, 0) == 0;
    close(fd);
    if (removed)
        debug_print("\tremoved %.*s%s, left by a run that ended early\n",
                    static_cast<int>(d.prefix_len), d.base - d.prefix_len, name);
    return removed;
}

// Removes every dead run's leftover under the fixed names in D.
void remove_leftovers(const directory &d) {
    for (unsigned slot = 0; slot < temp_names; slot++)
        name_is_free(d, temp_name_of(slot).text);
}

// Offers TAKE the names for a temporary file in D in turn: the fixed names that are free,
// then, should none of them do, drawn ones. TAKE returns 0 once the name is the file's,
// EEXIST when something else has it first (another run, another user), or the errno that
// ends the search. False with errno set; EAGAIN when every name tried was taken.
template <typename Take> bool take_name(const directory &d, Take take) {
    for (unsigned slot = 0; slot < temp_names; slot++) {
        const temp_name name = temp_name_of(slot);
        if (!name_is_free(d, name.text))
            continue;
        if (const int e = take(name); e != EEXIST) {
            errno = e;
            return e == 0;
        }
    }
    for (unsigned tries = 0; tries < drawn_tries; tries++) {
        temp_name name;
        if (!draw_name(name))
            return false;
        if (const int e = take(name); e != EEXIST) {
            errno = e;
            return e == 0;
        }
    }
    errno = EAGAIN;
    return false;
}

// A temporary file being written: its descriptor, and its name once it has one.
struct temp_file {
    int fd = -1;
    bool named = false;
    temp_name name{};
};

// Creates the temporary file in D under the first free name, locked. False with errno set.
bool create_named(const directory &d, temp_file &t) {
    return take_name(d, [&](const temp_name &name) {
        // EEXIST: another run, or another user, has the name.
        const int fd =
            openat(d.fd, name.text, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return errno;
        // Until it is locked, another run may take the new file for a leftover and remove
        // it; it is ours only if it is still under the name once locked. A file system
        // without locks (EOPNOTSUPP, ENOLCK) keeps every run from removing another's.
        struct stat mine, named;
        const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
        if (locked && fstat(fd, &mine) == 0 &&
            fstatat(d.fd, name.text, &named, AT_SYMLINK_NOFOLLOW) == 0 && same_file(mine, named)) {
            t = {fd, true, name};
            return 0;
        }
        close(fd);
        return EEXIST;
    });
}

#ifdef O_TMPFILE
// The path through which the unnamed file FD is given a name: linkat(2) with
// AT_SYMLINK_FOLLOW on /proc/self/fd/FD. (AT_EMPTY_PATH would need CAP_DAC_READ_SEARCH.)
struct fd_link {
    char text[sizeof "/proc/self/fd/" + 10];
};

fd_link link_of(int fd) {
    fd_link l;
    snprintf(l.text, sizeof l.text, "/proc/self/fd/%d", fd);
    return l;
}

// Creates the temporary file in D without a name. False with errno set; EOPNOTSUPP (or
// EISDIR, from a kernel without O_TMPFILE) when it cannot be had here, including where
// /proc is not mounted, so that the file could not be linked into place afterwards.
bool create_unnamed(const directory &d, temp_file &t) {
    const int fd = openat(d.fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    struct stat st, via;
    if (fstat(fd, &st) != 0 || stat(link_of(fd).text, &via) != 0 || !same_file(st, via)) {
        close(fd);
        errno = EOPNOTSUPP;
        return false;
    }
    // Nobody else can reach it yet; the lock is for when it has a name.
    flock(fd, LOCK_EX | LOCK_NB);
    t = {fd, false, {}};
    return true;
}

// Gives the unnamed temporary file T the first free name in D. False with errno set.
bool link_unnamed(const directory &d, temp_file &t) {
    return take_name(d, [&](const temp_name &name) {
        // EEXIST: another run, or another user, has the name.
        if (linkat(AT_FDCWD, link_of(t.fd).text, d.fd, name.text, AT_SYMLINK_FOLLOW) != 0)
            return errno;
        t.named = true;
        t.name = name;
        return 0;
    });
}
#endif

// Creates the temporary file in D: unnamed where the system can, else under a free name.
bool create_temp(const directory &d, temp_file &t) {
#ifdef O_TMPFILE
    if (create_unnamed(d, t)) {
        debug_print("\tunnamed temporary file in %s\n", d.path);
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR)
        return false;
#endif
    if (!create_named(d, t))
        return false;
    debug_print("\ttemporary file %.*s%s\n", static_cast<int>(d.prefix_len), d.base - d.prefix_len,
                t.name.text);
    return true;
}

// Gives T, written and synced, its temporary name if it has none yet: an unnamed file is
// linked into D. Without O_TMPFILE every temporary file has its name from the start.
bool name_temp([[maybe_unused]] const directory &d, temp_file &t) {
#ifdef O_TMPFILE
    if (!t.named) {
        if (!link_unnamed(d, t))
            return false;
        debug_print("\ttemporary file %.*s%s\n", static_cast<int>(d.prefix_len),
                    d.base - d.prefix_len, t.name.text);
    }
#endif
    return t.named;
}

// Replaces FILE in D by a file that WRITE(stream) fills: into the temporary file, flushed,
// mode 0644, synced, named, renamed over FILE; then the directory synced. False with errno
// set when a step fails; the temporary file is gone either way.
template <typename Write> bool replace_in(const directory &d, Write write) {
    temp_file t;
    if (!create_temp(d, t))
        return false;
    FILE *out = fdopen(t.fd, "w");
    if (out == nullptr) {
        const int saved = errno;
        if (t.named)
            unlinkat(d.fd, t.name.text, 0);
        close(t.fd);
        errno = saved;
        return false;
    }
    write(out);
    bool done = fflush(out) == 0 && !ferror(out) && fchmod(t.fd, 0644) == 0 && fsync(t.fd) == 0 &&
                name_temp(d, t);
    int saved = errno;
    if (done && renameat(d.fd, t.name.text, d.fd, d.base) == 0) {
        t.named = false; // the name is FILE's now
        // FILE is in place from here on. A sync that fails leaves it there, possibly not yet
        // durable, and the run reports the failure: a caller who relies on FILE surviving a
        // crash learns that it may not. A file system that cannot sync a directory at all
        // says EINVAL, and has nothing more to make durable.
        if (fsync(d.fd) != 0 && errno != EINVAL) {
            done = false;
            saved = errno;
        }
    } else if (done) {
        done = false;
        saved = errno;
    }
    if (t.named)
        unlinkat(d.fd, t.name.text, 0);
    // Closing drops the lock, after the name is gone.
    if (fclose(out) != 0 && done) {
        done = false;
        saved = errno;
    }
    errno = saved;
    return done;
}

// Replaces FILE by a file that WRITE(stream) fills, and removes what earlier runs that died
// left beside it. On any failure the message, unless SAY is quiet, names FILE.
template <typename Write> int replace_file(const char *file, Write write, refusal say) {
    debug_print("replace_file(file = %s)\n", file);
    directory d;
    bool done = false;
    if (open_directory(file, d)) {
        done = replace_in(d, write);
        const int saved = errno;
        remove_leftovers(d);
        close(d.fd);
        errno = saved;
    }
    if (!done && say == refusal::said)
        warn("cannot write %s", file);
    const int status = done ? 0 : EX_IOERR;
    debug_print("replace_file() returning %d\n", status);
    return status;
}

} // namespace

int write_report(const report_target &target, const board &b, const readings &s,
                 bool *file_refused) {
    if (target.file == nullptr) {
        write_form(target.form, b, s, stdout, target.limits);
        return stdout_status(0);
    }
    const int status = replace_file(
        target.file, [&](FILE *out) { write_form(target.form, b, s, out, target.limits); },
        refusal::said);
    if (status != 0 && file_refused != nullptr)
        *file_refused = true;
    // Standard output carries the trace, if any.
    return stdout_status(status);
}

int write_config_report(const char *file, const board &b, const board_features &f) {
    if (file == nullptr) {
        write_sensors_config(b, f, stdout);
        return stdout_status(0);
    }
    const int status = replace_file(
        file, [&](FILE *out) { write_sensors_config(b, f, out); }, refusal::said);
    return stdout_status(status);
}

int write_failed_exposition(const char *file, refusal say) {
    return replace_file(
        file, [](FILE *out) { write_prometheus_failure(out); }, say);
}

int stdout_status(int status) {
    // ferror() catches a write that failed while the buffer was drained earlier; fflush()
    // catches the rest still in the buffer.
    if (fflush(stdout) != 0 || ferror(stdout)) {
        warn("write error on standard output");
        return EX_IOERR;
    }
    return status;
}
