// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The run sequence: the steps from root check to report, and the one exit path that every
// step after option parsing ends in, a failed bus transaction's included. The sequence
// returns its exit status to main() rather than ending the process, and leaves nothing set
// behind it, so that it can also be run repeatedly inside one process (the fuzz targets do).
#include "main/run_sequence.h"
#include "boards/board_table.h"
#include "boards/boards.h"
#include "boards/readings_walk.h"
#include "chips/chips.h"
#include "output/plugin_report.h"
#include "output/report_file.h"
#include "main/options.h"
#include "main/root_drop.h"
#include "platform/platform.h"
#include "trace/trace.h"

#include <err.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <array>
#include <optional>
#include <sysexits.h>
#include <unistd.h>

namespace {

// What the run sequence takes, released by finish() on every path, and the file that a
// failed run replaces.
struct holdings {
    bus_handle bus;
    char *maker = nullptr;
    char *product = nullptr;
    readings *values = nullptr;
    // The failure file of the options.
    const char *failure_file = nullptr;
    // The report was refused by the failure file itself: a second attempt says nothing more.
    bool file_refused = false;
    // A setuid-root run whose drop of root failed: no file may be created any more.
    bool drop_failed = false;
    // A setuid-root run that holds the device: root is given up for good once it is closed.
    bool root_after_device = false;
};

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
    if (holds_borrowed_root() && !give_up_root(say_why::no))
        return;
    write_failed_exposition(file, h.file_refused ? refusal::quiet : refusal::said);
}

// Closes the device if it is open, which releases the lock and ends the run's hold on it; a
// setuid-root run then gives up root for good at once. Only then is what was said while it
// was open written out: nothing the caller does to the output streams can hold the bus.
void release_device(holdings &h) {
    platform_close(h.bus);
    if (h.root_after_device) {
        h.root_after_device = false;
        h.drop_failed = !give_up_root(say_why::yes);
    }
    output_release();
}

// The exit path: the device first (closing it releases the lock, so no file is written while
// the bus is locked), then a failed run's failure file, then the three blocks.
int finish(holdings &h, int status) {
    release_device(h);
    if (status != 0)
        write_failure_file(h);
    free(h.values);
    free(h.product);
    free(h.maker);
    h = holdings{};
    return status;
}

// Reads one SMBIOS string. A value that fills the whole buffer is cut to its first 127
// characters, so every later use of it stays inside the buffer.
bool read_ident(board_string which, char *buf) {
    if (platform_board_string(which, buf, board_string_size) == -1)
        return false;
    buf[board_string_size - 1] = '\0';
    return true;
}

// Reads the board's maker and product into two blocks of the holdings and finds its row in
// the table, into ROW. Returns 0, or the status of the step that failed, after its message.
int identify_board(holdings &h, const board *&row) {
    h.maker = static_cast<char *>(calloc(1, board_string_size));
    if (h.maker == nullptr) {
        say_warn("calloc() for maker failed");
        return EX_OSERR;
    }
    h.product = static_cast<char *>(calloc(1, board_string_size));
    if (h.product == nullptr) {
        say_warn("calloc() for product failed");
        return EX_OSERR;
    }
    if (!read_ident(board_string::maker, h.maker)) {
        say_warn("kenv() for %s failed", "smbios.planar.maker");
        return EX_OSERR;
    }
    if (!read_ident(board_string::product, h.product)) {
        say_warn("kenv() for %s failed", "smbios.planar.product");
        return EX_OSERR;
    }
    row = board_lookup(h.maker, h.product);
    if (row == nullptr) {
        say_puts("Your motherboard does not appear to be supported.  Please visit\n" HOME_PAGE
                 " to see if support for your motherboard\n"
                 "and/or system is under development.");
        return EX_DATAERR;
    }
    return 0;
}

// Whether LABEL names one of the readings that board B shows.
bool board_has_label(const board &b, const char *label) {
    for (const kind_info &kind : reading_kinds)
        for (const sensor_label &l : b.*kind.labels)
            if (strcmp(l.label, label) == 0)
                return true;
    return false;
}

// The report of a -N run that could not judge, from the messages it kept: they are handed to
// the report as a list of their texts, which stay in the output log until messages_drop().
// Without the memory for the list the report has the fixed text of a run that said nothing.
void write_unknown() {
    const kept_message_list kept = kept_messages();
    size_t count = 0;
    for ([[maybe_unused]] std::span<const char> message : kept)
        count++;
    auto *list =
        static_cast<std::span<const char> *>(calloc(count + 1, sizeof(std::span<const char>)));
    size_t filled = 0;
    if (list != nullptr)
        for (std::span<const char> message : kept)
            list[filled++] = message;
    write_plugin_unknown({list, filled}, stdout);
    free(list);
}

// The exit status of a -N run that ended with STATUS, having judged the readings as VERDICT
// if it got so far: the verdict's state, or 0 for -l; any failure is UNKNOWN, with what the
// run said on its status line, and the usage text after it where OPTS asks for that.
// Standard output is checked here, once: a report or listing that it could not take is
// UNKNOWN too, said on standard error, and nothing more is written to it.
// A standard output that has already failed (its reader gone) gets no status line: its
// failure has been said on standard error.
int plugin_status(const options &opts, int status, std::optional<plugin_state> verdict) {
    if (status == 0) {
        messages_drop();
        if (stdout_status(0) != 0)
            return static_cast<int>(plugin_state::unknown);
        return verdict ? static_cast<int>(*verdict) : 0;
    }
    if (ferror(stdout)) {
        messages_drop();
        return static_cast<int>(plugin_state::unknown);
    }
    write_unknown();
    messages_drop();
    if (opts.usage_follows)
        usage();
    stdout_status(0);
    return static_cast<int>(plugin_state::unknown);
}

// Says that the device at PATH stayed locked for the SECONDS of the wait, and who took the
// lock, as BUSY tells: the process that took it, which may have handed its descriptor on
// (or ended, its number reused) since.
void say_busy(const char *path, const lock_holder &busy, unsigned seconds) {
    if (busy.pid > 0 && busy.command[0] != '\0')
        say_warnx("%s locked for %u s: lock taken by process %ld (%s)", path, seconds,
                  static_cast<long>(busy.pid), busy.command);
    else if (busy.pid > 0)
        say_warnx("%s locked for %u s: lock taken by process %ld", path, seconds,
                  static_cast<long>(busy.pid));
    else
        say_warnx("%s locked for %u s by another process", path, seconds);
}

// Opens and locks the bus device into BUS: the one the user named, or the platform's
// default, waiting for another run's lock as the options say. In a SETUID_RUN a device the
// user named is opened only if they could open it themselves, while the default device (the
// platform's choice, which the user has no say in) is what the installation grants them.
// Returns 0; EX_TEMPFAIL when the lock stayed held for the whole wait; or EX_NOINPUT; after
// the reason.
int open_device(const options &opts, bool setuid_run, bus_handle &bus) {
    std::array<char, device_path_size> path = opts.device_path;
    if (!opts.device_named && !platform_default_device(path))
        return EX_NOINPUT;
    lock_holder busy;
    bus = setuid_run && opts.device_named ? platform_open_user_locked(path.data(), opts.wait, busy)
                                          : platform_open_locked(path.data(), opts.wait, busy);
    if (bus.fd < 0 && opts.wait.bounded && errno == EWOULDBLOCK) {
        say_busy(path.data(), busy, opts.wait.seconds);
        return EX_TEMPFAIL;
    }
    if (bus.fd < 0) {
        say_warn("open() on %s failed", path.data());
        return EX_NOINPUT;
    }
    // Until the device is closed, whatever the run says is held in memory: a reader who
    // never drains standard output or standard error cannot stall a run that holds the lock.
    output_hold();
    return 0;
}

// A refusal that no failed call caused, said as warn(3) says it; with -N, whose status line
// shows it, without the text of an errno that nothing set.
void refuse(const options &opts, const char *message) {
    if (opts.plugin)
        say_warnx("%s", message);
    else
        say_warn("%s", message);
}

// -S: the board's libsensors configuration, to standard output or the file of -o. It needs
// no privilege: the board strings are anyone's to read and the bus is never opened. So a
// setuid-root run gives up root before anything else, and the file is written with the
// rights of the user who ran the program. Identification fails as a reading's does.
int write_configuration(const options &opts, holdings &h) {
    if (holds_borrowed_root() && !give_up_root(say_why::yes)) {
        h.drop_failed = true;
        return EX_OSERR;
    }
    const board *row = nullptr;
    if (int status = identify_board(h, row); status != 0)
        return status;
    const std::optional<board_features> features = driver_features_of(*row);
    if (!features) {
        say_puts("Internal vantorel coding error.  Please report this bug\n"
                 "to the vantorel author.");
        return EX_SOFTWARE;
    }
    return write_config_report(opts.target.file, *row, *features);
}

// The steps from the root check to the report, in order. Each returns its status to the
// caller's exit path on failure; a failed bus transaction is one of them.
int read_and_report(const options &opts, holdings &h, std::optional<plugin_state> &verdict) {
    if (platform_geteuid() != 0) {
        refuse(opts, "Must be run as root, or setuid root");
        return EX_NOPERM;
    }
    if (opts.forms > 1) {
        refuse(opts, "Please choose only one output format");
        return EX_USAGE;
    }
    if (opts.plugin && opts.target.file != nullptr) {
        say_warnx("-o does not go with -N, whose report is for standard output");
        return EX_USAGE;
    }
    if (!opts.plugin && !opts.excluded.list().empty()) {
        say_warnx("-x goes with -N only");
        return EX_USAGE;
    }

    const board *row = nullptr;
    if (int status = identify_board(h, row); status != 0)
        return status;
    for (const char *label : opts.excluded.list()) {
        if (!board_has_label(*row, label)) {
            say_warnx("-x %s: the %s has no reading of that name", label, row->product);
            return EX_USAGE;
        }
    }

    h.values = static_cast<readings *>(calloc(1, sizeof(readings)));
    if (h.values == nullptr) {
        say_warn("calloc() for sdata failed");
        return EX_DATAERR;
    }

    // Effective root is established above. A real user id other than root makes this a
    // setuid-root run: while it holds the device, its effective ids are the user's, before
    // the bus is touched, and its real and saved user ids root's, so that the user cannot
    // stop it (device_hold); once the device is closed, root is given up for good.
    const bool setuid_run = platform_getuid() != 0;
    if (int status = open_device(opts, setuid_run, h.bus); status != 0)
        return status;
    if (setuid_run) {
        h.root_after_device = true;
        debug_print("privileges held while the device is locked: uid %u, euid %u\n",
                    static_cast<unsigned>(platform_getuid()),
                    static_cast<unsigned>(platform_geteuid()));
    }

    const chip_reading what =
        opts.reads_limits() ? chip_reading::with_limits : chip_reading::readings;
    if (int status = read_chip(*row, h.bus, *h.values, what); status != 0)
        return status;
    // The chip is read: the device and its lock go before the report is written, so that a
    // reader who never drains standard output cannot keep other runs off the bus.
    release_device(h);
    if (h.drop_failed)
        return EX_OSERR;

    if (opts.plugin) {
        verdict = write_plugin_report(*row, *h.values, opts.excluded, stdout);
        return 0; // plugin_status checks standard output
    }
    return write_report(opts.target, *row, *h.values, &h.file_refused);
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
            else
                say_warn("cannot open /dev/null in place of closed descriptor %d", fd);
            return false;
        }
    }
    return true;
}

int run_program(int argc, char **argv) {
    // A reader that stops reading closes its end of the pipe; a write into it then fails
    // (EPIPE) and the run ends on that write error, with its message and, with -P -o, the
    // failure file, rather than killed without a word. -N first, before anything can fail:
    // every end of a check, whatever ends it, is a status line and 0 to 3.
    platform_ignore_sigpipe();
    const bool plugin = plugin_asked(argc, argv);
    if (plugin)
        messages_keep();
    options opts;
    std::optional<plugin_state> verdict;
    int status;
    // Before anything opens a file: a closed standard descriptor would otherwise be handed to
    // the bus device, and the report written into it.
    if (!open_standard_descriptors()) {
        status = EX_OSERR;
    } else if (opts = parse_options(argc, argv, plugin); opts.ends_with) {
        status = *opts.ends_with;
    } else {
        holdings h;
        h.failure_file = opts.failure_file();
        status = finish(h, opts.sensors_config ? write_configuration(opts, h)
                                               : read_and_report(opts, h, verdict));
    }
    if (plugin)
        status = plugin_status(opts, status, verdict);
    // What the options set for this run alone: the trace, and getopt(3)'s own messages.
    opt_verbose = false;
    opterr = 1;
    return status;
}
