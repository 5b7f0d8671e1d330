// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The command line: the options a run takes, parsed into one record, and the usage text.
#pragma once

#include "output/plugin_report.h"
#include "output/report_file.h"
#include "platform/platform.h"

#include <array>
#include <optional>

// Where the program lives, and where its bugs are reported.
#define HOME_PAGE "https://vantorel.org/"
#define BUG_TRACKER "https://vantorel.org/issues"

// What the command line asks of a run.
struct options {
    report_target target;    // the form, and the file of -o
    int forms = 0;           // form options given (-J, -c, -P, -N): more than one is refused
    bool exposition = false; // -P given, alone or not
    // -N: the monitoring-plugin report, whose every failure is UNKNOWN on its status line.
    bool plugin = false;
    excluded_labels excluded; // -x
    // With -N, a usage error or -h: the usage text follows the status line.
    bool usage_follows = false;
    std::array<char, device_path_size> device_path{};
    bool device_named = false; // -f; without it the platform's default device
    bool show_limits = false;  // -a: the chips' limits and status bits in every form
    // -t: how long the device open waits for another run's lock; without -t, as long as that
    // takes, but a -N run only plugin_lock_seconds.
    lock_wait wait;
    // -S: the board's libsensors configuration instead of a reading; the bus is never opened.
    bool sensors_config = false;
    // Set when parsing alone ends the program (-l, -h, a bad option, an overlong device
    // path): its exit status. No step of the run sequence follows.
    std::optional<int> ends_with;

    // With -P and -o FILE: FILE, which a run that ends with a status other than 0, for any
    // reason after option parsing, replaces with the exposition of a failed reading. A
    // textfile collector then serves vantorel_up 0 rather than an old reading as if it were
    // current, whatever went wrong: a conflicting form as much as a failed bus or a standard
    // output that could not take the trace after the report was written.
    const char *failure_file() const {
        return exposition ? target.file : nullptr;
    }

    // Whether the run reads the chips' limits and status bits beside the readings: for a
    // report that shows them, -a's and the Prometheus exposition, which always carries them,
    // and for the plugin's verdict. Any other run makes only the readings' transactions.
    bool reads_limits() const {
        return show_limits || target.form == report_form::prometheus || plugin;
    }
};

// Writes the usage text to standard output. Returns EX_USAGE.
int usage();

// Whether the command line asks for -N, wherever it stands among the options: looked for
// before getopt(3) parses them, so that a usage error before it is already the plugin's. The
// options are walked as getopt walks them (up to "--" or the first operand, an option's
// argument skipped), and up to -l, which lists the boards before any later option is seen.
bool plugin_asked(int argc, char **argv);

// Parses the command line. -l lists the boards and -v turns the trace on as they are met;
// the options after -l are never parsed. PLUGIN: -N is among the options (plugin_asked).
// getopt(3)'s opterr is set for the parse; the caller restores it.
options parse_options(int argc, char **argv, bool plugin);
