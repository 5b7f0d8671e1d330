// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The run sequence: the steps from root check to report, and the one exit path that every
// step after option parsing ends in, a failed bus transaction's included. The sequence
// returns its exit status to main() rather than ending the process, and leaves nothing set
// behind it, so that it can also be run repeatedly inside one process (the fuzz targets do).
#include "main/run_sequence.h"
#include "boards/boards.h"
#include "chips/chips.h"
#include "output/plugin_report.h"
#include "output/report_file.h"
#include "main/board_identity.h"
#include "main/bus_device.h"
#include "main/options.h"
#include "main/plugin_status.h"
#include "main/root_drop.h"
#include "main/standard_descriptors.h"
#include "platform/platform.h"
#include "trace/trace.h"

#include <stdio.h>
#include <stdlib.h>

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
    if (int status = identify_board(h.maker, h.product, row); status != 0)
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
    if (int status = identify_board(h.maker, h.product, row); status != 0)
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
