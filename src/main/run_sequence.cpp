// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The run sequence: options, the steps from root check to report, and the one exit path
// that every step after option parsing ends in. The sequence returns its exit
// status to main() rather than ending the process, so that it can also be run repeatedly
// inside one process (the fuzz target does).
#include "main/run_sequence.h"
#include "boards/board_table.h"
#include "boards/boards.h"
#include "chips/chips.h"
#include "output/output.h"
#include "platform/platform.h"
#include "trace/trace.h"

#include <err.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sysexits.h>
#include <unistd.h>

#define HOME_PAGE "https://vantorel.org/"
#define BUG_TRACKER "https://vantorel.org/issues"

// glibc's getopt permutes arguments unless told otherwise; the leading '+' keeps POSIX
// parsing, which stops at the first operand. BSD getopt is POSIX already.
#if defined(__GLIBC__)
#define OPTSTRING "+JPcf:lo:vh?"
#else
#define OPTSTRING "JPcf:lo:vh?"
#endif

namespace {

// The SMBIOS strings are read into buffers of this size.
constexpr int ident_size = 128;

// What the run sequence takes, released by finish() on every path, and the file that a
// failed run replaces.
struct holdings {
    int smb_fd = -1;
    char *maker = nullptr;
    char *product = nullptr;
    readings *values = nullptr;
    // With -P -o FILE: FILE, which every failure after option parsing replaces with the
    // exposition of a failed reading. Cleared once the report is under way.
    const char *failure_file = nullptr;
    // A setuid-root run whose drop of root failed: no file may be created any more.
    bool drop_failed = false;
};

int usage() {
    printf("Usage: vantorel [options]\n"
           "\n"
           "Options:\n"
           "\n"
           "  -J            JSON-formatted output\n"
           "  -P            Prometheus text exposition format\n"
           "  -c            comma-delimited output\n"
           "  -f DEVICE     %s\n"
           "  -o FILE       write the report to FILE, replacing it atomically\n"
           "  -l            list supported motherboard ID strings\n"
           "  -h            print this message\n"
           "  -v            be verbose (show debugging output)\n"
           "\n" HOME_PAGE "\n"
           "Report bugs at " BUG_TRACKER "\n",
           platform_device_help());
    return EX_USAGE;
}

// Gives up root for good in a setuid-root run, and traces it. False if that failed, after
// the failure's message when SAY is set.
bool give_up_root(holdings &h, bool say) {
    const privilege_drop drop = platform_drop_privileges();
    h.drop_failed = drop != privilege_drop::done;
    if (say) {
        switch (drop) {
        case privilege_drop::done:
            break;
        case privilege_drop::group_failed:
            say_warn("dropping group privileges failed");
            break;
        case privilege_drop::user_failed:
            say_warn("dropping user privileges failed");
            break;
        case privilege_drop::not_for_good:
            say_warnx("root privileges could be regained after dropping them");
            break;
        }
    }
    if (!h.drop_failed)
        debug_print("privileges dropped: uid %u, euid %u\n",
                    static_cast<unsigned>(platform_getuid()),
                    static_cast<unsigned>(platform_geteuid()));
    return !h.drop_failed;
}

// Replaces the failure file, if the run has one, with the exposition of a failed reading.
// The file is created with the rights of the user who ran the program: a setuid-root run
// that still holds root gives it up first, and one that cannot leaves the file alone. The
// run's status and messages stay those of its failure; a file that cannot be written adds
// its own message.
void write_failure_file(holdings &h) {
    const char *file = h.failure_file;
    h.failure_file = nullptr;
    if (file == nullptr || h.drop_failed)
        return;
    if (platform_geteuid() == 0 && platform_getuid() != 0 && !give_up_root(h, false))
        return;
    write_failed_exposition(file);
}

// Closes the device if it is open, which releases the lock, and only then writes out what
// was said while it was open.
void release_device(holdings &h) {
    if (h.smb_fd != -1)
        platform_close(h.smb_fd);
    h.smb_fd = -1;
    output_release();
}

// The exit path: device first, so that no file is written while the bus is locked, then a
// failed run's failure file, then the three blocks.
int finish(holdings &h, int status) {
    on_bus_failure(nullptr, nullptr);
    release_device(h);
    if (status != 0)
        write_failure_file(h);
    free(h.values);
    free(h.product);
    free(h.maker);
    h = holdings{};
    return status;
}

// A failed bus transaction ends the process inside the byte access, after its message:
// the device is let go, what was said while it was open written out, and the failure file
// replaced there.
void on_failed_transaction(void *context) {
    holdings &h = *static_cast<holdings *>(context);
    release_device(h);
    write_failure_file(h);
}

// Reads one SMBIOS string. A value that fills the whole buffer is cut to its first 127
// characters, so every later use of it stays inside the buffer.
bool read_ident(board_string which, char *buf) {
    if (platform_board_string(which, buf, ident_size) == -1)
        return false;
    buf[ident_size - 1] = '\0';
    return true;
}

} // namespace

bool open_standard_descriptors() {
    // open(2) returns the lowest free descriptor, so filling 0, 1 and 2 in order puts each
    // /dev/null exactly into the slot that was closed. Read-only: a report written to a closed
    // standard output still fails, as it would have, rather than vanishing as a success.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        int filler = open("/dev/null", O_RDONLY | O_NOCTTY);
        if (filler != fd) {
            if (filler >= 0)
                close(filler);
            return false;
        }
    }
    return true;
}

int read_chip(const board &b, int fd, readings &s) {
    int result;
    switch (b.chip) {
    case chip_kind::w83793g:
        result = w83793g_main(fd, b.slave, s);
        break;
    case chip_kind::w83792d:
        result = w83792d_main(fd, b.slave, s);
        break;
    case chip_kind::x6dva:
        result = x6dva_main(fd, s);
        break;
    default: // a row whose kind no reader handles
        say_puts("Internal vantorel coding error.  Please report this bug\n"
                 "to the vantorel author.");
        return EX_SOFTWARE;
    }
    if (result != 0) {
        say_puts("Your motherboard is supported, but H/W chip verification failed.\n"
                 "Please re-run vantorel with the -v flag and send full output + bug\n"
                 "report to the vantorel author.");
        return EX_SOFTWARE;
    }
    return 0;
}

int run_program(int argc, char **argv) {
    bool opt_json = false;
    bool opt_delim = false;
    bool opt_prom = false;
    report_target target;
    char device_path[device_path_size] = {};
    bool device_named = false;
    holdings h;

    // Before anything opens a file: a closed standard descriptor would otherwise be handed to
    // the bus device, and the report written into it.
    if (!open_standard_descriptors())
        return EX_OSERR;

    int ch;
    while ((ch = getopt(argc, argv, OPTSTRING)) != -1) {
        switch (ch) {
        case 'J':
            opt_json = true;
            break;
        case 'P':
            opt_prom = true;
            break;
        case 'c':
            opt_delim = true;
            break;
        case 'o':
            target.file = optarg;
            break;
        case 'f': {
            // A path that does not fit with its terminator is refused rather than cut: the
            // device opened must be the one the user named.
            size_t len = strnlen(optarg, sizeof device_path);
            if (len >= sizeof device_path) {
                warnx("device path too long (%zu bytes at most)", sizeof device_path - 1);
                return EX_USAGE;
            }
            memset(device_path, 0, sizeof device_path);
            memcpy(device_path, optarg, len);
            device_named = true;
            break;
        }
        case 'l':
            list_models(board_table);
            return stdout_status(0);
        case 'v':
            opt_verbose = true;
            break;
        default: // -h, -?, an unknown option, -f without its argument
            return usage();
        }
    }

    // One form at most; none is the plain table. Only a run that asked for the exposition
    // alone, into a file, replaces that file when it fails.
    const int forms = opt_json + opt_delim + opt_prom;
    if (opt_json)
        target.form = report_form::json;
    else if (opt_delim)
        target.form = report_form::delimited;
    else if (opt_prom)
        target.form = report_form::prometheus;
    if (forms == 1 && opt_prom)
        h.failure_file = target.file;

    if (platform_geteuid() != 0) {
        warn("Must be run as root, or setuid root");
        return finish(h, EX_NOPERM);
    }
    if (forms > 1) {
        warn("Please choose only one output format");
        return finish(h, EX_USAGE);
    }

    h.maker = static_cast<char *>(calloc(1, ident_size));
    if (h.maker == nullptr) {
        warn("calloc() for maker failed");
        return finish(h, EX_OSERR);
    }
    h.product = static_cast<char *>(calloc(1, ident_size));
    if (h.product == nullptr) {
        warn("calloc() for product failed");
        return finish(h, EX_OSERR);
    }
    if (!read_ident(board_string::maker, h.maker)) {
        warn("kenv() for %s failed", "smbios.planar.maker");
        return finish(h, EX_OSERR);
    }
    if (!read_ident(board_string::product, h.product)) {
        warn("kenv() for %s failed", "smbios.planar.product");
        return finish(h, EX_OSERR);
    }

    const board *found = board_lookup(h.maker, h.product);
    if (found == nullptr) {
        puts("Your motherboard does not appear to be supported.  Please visit\n" HOME_PAGE
             " to see if support for your motherboard\n"
             "and/or system is under development.");
        return finish(h, EX_DATAERR);
    }

    h.values = static_cast<readings *>(calloc(1, sizeof(readings)));
    if (h.values == nullptr) {
        warn("calloc() for sdata failed");
        return finish(h, EX_DATAERR);
    }

    // Effective root is established above. A real user id other than root makes this a
    // setuid-root run: a device the user named is then opened only if they could open it
    // themselves, while the default device (the platform's choice, which the user has no say
    // in) is what the installation grants them. Either way root is given up as soon as the
    // device is open, before the bus is touched.
    bool setuid_run = platform_getuid() != 0;
    if (!device_named && !platform_default_device(device_path))
        return finish(h, EX_NOINPUT);
    if (setuid_run && device_named)
        h.smb_fd = platform_open_user_locked(device_path);
    else
        h.smb_fd = platform_open_locked(device_path);
    if (h.smb_fd < 0) {
        warn("open() on %s failed", device_path);
        return finish(h, EX_NOINPUT);
    }
    // While the device is open every run after this one waits for it: nothing said until it
    // is closed may block on a reader that does not drain standard output or standard error.
    output_hold();
    if (setuid_run && !give_up_root(h, true))
        return finish(h, EX_OSERR);

    on_bus_failure(on_failed_transaction, &h);
    if (int status = read_chip(*found, h.smb_fd, *h.values); status != 0)
        return finish(h, status);
    // The chip is read: the device and its lock go before the report is written, so that a
    // reader who never drains standard output cannot keep other runs off the bus.
    release_device(h);

    // From here on the report itself goes to the file, or fails to.
    h.failure_file = nullptr;
    return finish(h, write_report(target, *found, *h.values, chip_name(found->chip)));
}
