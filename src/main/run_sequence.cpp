// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The run sequence: options, the steps from root check to report, and the one exit path
// that every step after option parsing ends in, a failed bus transaction's included. The
// sequence returns its exit status to main() rather than ending the process, so that it can
// also be run repeatedly inside one process (the fuzz targets do).
#include "main/run_sequence.h"
#include "boards/board_table.h"
#include "boards/boards.h"
#include "boards/readings_walk.h"
#include "chips/chips.h"
#include "chips/identity.h"
#include "output/plugin_report.h"
#include "output/report_file.h"
#include "main/sensors_config.h"
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

#define HOME_PAGE "https://vantorel.org/"
#define BUG_TRACKER "https://vantorel.org/issues"

// glibc's getopt permutes arguments unless told otherwise; the leading '+' keeps POSIX
// parsing, which stops at the first operand. BSD getopt is POSIX already.
#if defined(__GLIBC__)
#define OPTSTRING "+JNPSacf:lo:t:vx:h?"
#else
#define OPTSTRING "JNPSacf:lo:t:vx:h?"
#endif

namespace {

// The SMBIOS strings are read into buffers of this size.
constexpr int ident_size = 128;

// How long a -N run waits for the device's lock without -t: a check must answer within the
// time its daemon gives it, and the plugins' convention is 10 s.
constexpr unsigned plugin_lock_seconds = 10;

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
};

int usage() {
    printf("Usage: vantorel [options]\n"
           "\n"
           "Options:\n"
           "\n"
           "  -J            JSON-formatted output\n"
           "  -P            Prometheus text exposition format\n"
           "  -S            the board's libsensors configuration (sensors.conf(5))\n"
           "  -a            show the chips' limits and alarms beside the readings\n"
           "  -c            comma-delimited output\n"
           "  -N            monitoring-plugin report: a verdict on the board's own limits\n"
           "  -x LABEL      with -N, leave the reading LABEL out (repeatable)\n"
           "  -f DEVICE     %s\n"
           "  -o FILE       write the report to FILE, replacing it atomically\n"
           "  -t SECONDS    wait at most SECONDS for the device's lock (-N: 10)\n"
           "  -l            list supported motherboard ID strings\n"
           "  -h            print this message\n"
           "  -v            be verbose (show debugging output)\n"
           "\n" HOME_PAGE "\n"
           "Report bugs at " BUG_TRACKER "\n",
           platform_device_help());
    return EX_USAGE;
}

// Whether option C of OPTSTRING takes an argument.
bool takes_argument(char c) {
    const char *at = c == ':' || c == '+' ? nullptr : strchr(OPTSTRING, c);
    return at != nullptr && at[1] == ':';
}

// Whether the command line asks for -N, wherever it stands among the options: looked for
// before getopt(3) parses them, so that a usage error before it is already the plugin's. The
// options are walked as getopt walks them (up to "--" or the first operand, an option's
// argument skipped), and up to -l, which lists the boards before any later option is seen.
bool plugin_asked(int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (arg[0] != '-' || arg[1] == '\0' || strcmp(arg, "--") == 0)
            return false;
        for (const char *c = arg + 1; *c != '\0'; c++) {
            if (*c == 'N')
                return true;
            if (*c == 'l')
                return false;
            if (takes_argument(*c)) {
                if (c[1] == '\0')
                    i++;
                break;
            }
        }
    }
    return false;
}

// With -N, what getopt(3) would have said about a bad option (it is told to say nothing),
// or that the usage was asked for. REFUSED is getopt's optopt: the option it refused; for -?
// itself, which it accepts, glibc leaves 0 and BSD '?'.
void say_usage_reason(int ch, int refused) {
    if (ch == 'h' || refused == '?' || refused == 0)
        say_warnx("the usage of vantorel follows");
    else if (takes_argument(static_cast<char>(refused)))
        say_warnx("option requires an argument -- '%c'", refused);
    else
        say_warnx("invalid option -- '%c'", refused);
}

// Reads -t's argument TEXT into WAIT: decimal digits only, 0 to INT_MAX seconds. False for
// anything else.
bool parse_seconds(const char *text, lock_wait &wait) {
    unsigned long long seconds = 0;
    if (*text == '\0')
        return false;
    for (const char *c = text; *c != '\0'; c++) {
        if (*c < '0' || *c > '9')
            return false;
        seconds = seconds * 10 + static_cast<unsigned>(*c - '0');
        if (seconds > INT_MAX)
            return false;
    }
    wait = {true, static_cast<unsigned>(seconds)};
    return true;
}

// Parses the command line. -l lists the boards and -v turns the trace on as they are met;
// the options after -l are never parsed. PLUGIN: -N is among the options (plugin_asked).
options parse_options(int argc, char **argv, bool plugin) {
    options opts;
    opts.plugin = plugin;
    bool json = false, delimited = false, prometheus = false;
    int ch;
    opterr = plugin ? 0 : 1;
    while ((ch = getopt(argc, argv, OPTSTRING)) != -1) {
        switch (ch) {
        case 'J':
            json = true;
            break;
        case 'P':
            prometheus = true;
            break;
        case 'a':
            opts.show_limits = true;
            break;
        case 'S':
            opts.sensors_config = true;
            break;
        case 'N':
            break;
        case 'x':
            if (!opts.excluded.add(optarg)) {
                say_warnx("more than %zu different labels with -x: no board has that many "
                          "readings",
                          max_readings);
                opts.ends_with = EX_USAGE;
                return opts;
            }
            break;
        case 'c':
            delimited = true;
            break;
        case 'o':
            opts.target.file = optarg;
            break;
        case 't':
            if (!parse_seconds(optarg, opts.wait)) {
                say_warnx("-t %s: not a whole number of seconds", optarg);
                opts.ends_with = EX_USAGE;
                return opts;
            }
            break;
        case 'f': {
            // A path that does not fit with its terminator is refused rather than cut: the
            // device opened must be the one the user named.
            size_t len = strnlen(optarg, opts.device_path.size());
            if (len >= opts.device_path.size()) {
                say_warnx("device path too long (%zu bytes at most)", opts.device_path.size() - 1);
                opts.ends_with = EX_USAGE;
                return opts;
            }
            opts.device_path.fill('\0');
            memcpy(opts.device_path.data(), optarg, len);
            opts.device_named = true;
            break;
        }
        case 'l':
            list_models(board_table);
            // With -N, standard output is checked once, where the run ends (plugin_status).
            opts.ends_with = plugin ? 0 : stdout_status(0);
            return opts;
        case 'v':
            opt_verbose = true;
            break;
        default: // -h, -?, an unknown option, -f or -x without its argument
            if (plugin) {
                say_usage_reason(ch, optopt);
                opts.usage_follows = true;
                opts.ends_with = EX_USAGE;
            } else {
                opts.ends_with = usage();
            }
            return opts;
        }
    }
    // -S writes the configuration and nothing else: a report form, the limits or the
    // plugin's exclusions beside it are a usage error, the first of them named.
    if (opts.sensors_config) {
        const char *other = json                            ? "-J"
                            : delimited                     ? "-c"
                            : prometheus                    ? "-P"
                            : plugin                        ? "-N"
                            : opts.show_limits              ? "-a"
                            : !opts.excluded.list().empty() ? "-x"
                                                            : nullptr;
        if (other != nullptr) {
            say_warnx("-S writes the board's libsensors configuration alone: %s does not go "
                      "with it",
                      other);
            if (plugin)
                opts.usage_follows = true;
            else
                usage();
            opts.ends_with = EX_USAGE;
            return opts;
        }
    }
    // One form at most; none is the plain table.
    opts.forms = json + delimited + prometheus + plugin;
    opts.exposition = prometheus;
    if (json)
        opts.target.form = report_form::json;
    else if (delimited)
        opts.target.form = report_form::delimited;
    else if (prometheus)
        opts.target.form = report_form::prometheus;
    opts.target.limits = opts.show_limits ? with_limits::yes : with_limits::no;
    if (plugin && !opts.wait.bounded)
        opts.wait = {true, plugin_lock_seconds};
    return opts;
}

// Whether giving up root says why it failed.
enum class say_why { no, yes };

// Gives up root for good in a setuid-root run, and traces it. False if that failed, after
// the failure's message when SAY is yes.
bool give_up_root(say_why say) {
    const privilege_drop drop = platform_drop_privileges();
    if (say == say_why::yes) {
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
    if (drop != privilege_drop::done)
        return false;
    debug_print("privileges dropped: uid %u, euid %u\n", static_cast<unsigned>(platform_getuid()),
                static_cast<unsigned>(platform_geteuid()));
    return true;
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
    if (platform_geteuid() == 0 && platform_getuid() != 0 && !give_up_root(say_why::no))
        return;
    write_failed_exposition(file, h.file_refused ? refusal::quiet : refusal::said);
}

// Closes the device if it is open, which releases the lock, and only then writes out what
// was said while it was open: nothing the caller does to the output streams can hold the bus.
void release_device(bus_handle &bus) {
    platform_close(bus);
    output_release();
}

// The exit path: the device first (closing it releases the lock, so no file is written while
// the bus is locked), then a failed run's failure file, then the three blocks.
int finish(holdings &h, int status) {
    release_device(h.bus);
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
    if (platform_board_string(which, buf, ident_size) == -1)
        return false;
    buf[ident_size - 1] = '\0';
    return true;
}

// Reads the board's maker and product into two blocks of the holdings and finds its row in
// the table, into ROW. Returns 0, or the status of the step that failed, after its message.
int identify_board(holdings &h, const board *&row) {
    h.maker = static_cast<char *>(calloc(1, ident_size));
    if (h.maker == nullptr) {
        say_warn("calloc() for maker failed");
        return EX_OSERR;
    }
    h.product = static_cast<char *>(calloc(1, ident_size));
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
    write_plugin_unknown(kept_messages(), stdout);
    messages_drop();
    if (opts.usage_follows)
        usage();
    stdout_status(0);
    return static_cast<int>(plugin_state::unknown);
}

// Says that the device at PATH stayed locked by BUSY for the SECONDS of the wait.
void say_busy(const char *path, const lock_holder &busy, unsigned seconds) {
    if (busy.pid > 0 && busy.command[0] != '\0')
        say_warnx("%s still locked by process %ld (%s) after %u s", path,
                  static_cast<long>(busy.pid), busy.command, seconds);
    else if (busy.pid > 0)
        say_warnx("%s still locked by process %ld after %u s", path, static_cast<long>(busy.pid),
                  seconds);
    else
        say_warnx("%s still locked by another process after %u s", path, seconds);
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
    if (platform_geteuid() == 0 && platform_getuid() != 0 && !give_up_root(say_why::yes)) {
        h.drop_failed = true;
        return EX_OSERR;
    }
    const board *row = nullptr;
    if (int status = identify_board(h, row); status != 0)
        return status;
    if (!has_sensors_config(*row)) {
        say_puts("Internal vantorel coding error.  Please report this bug\n"
                 "to the vantorel author.");
        return EX_SOFTWARE;
    }
    return write_text(
        opts.target.file,
        [](FILE *out, const void *b) { write_sensors_config(*static_cast<const board *>(b), out); },
        row);
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
    // setuid-root run, which gives up root as soon as the device is open, before the bus is
    // touched.
    const bool setuid_run = platform_getuid() != 0;
    if (int status = open_device(opts, setuid_run, h.bus); status != 0)
        return status;
    if (setuid_run && !give_up_root(say_why::yes)) {
        h.drop_failed = true;
        return EX_OSERR;
    }

    const chip_reading what =
        opts.reads_limits() ? chip_reading::with_limits : chip_reading::readings;
    if (int status = check_identity(*row, h.bus, what); status != 0)
        return status;
    if (int status = read_chip(*row, h.bus, *h.values, what); status != 0)
        return status;
    // The chip is read: the device and its lock go before the report is written, so that a
    // reader who never drains standard output cannot keep other runs off the bus.
    release_device(h.bus);

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

int read_chip(const board &b, bus_handle &bus, readings &s, chip_reading what) {
    switch (b.chip) {
    case chip_kind::w83793g:
        return w83793g_main(bus, b.slave, s, what);
    case chip_kind::w83792d:
        return w83792d_main(bus, b.slave, s, what);
    case chip_kind::x6dva:
        return x6dva_main(bus, s, what);
    }
    // A row whose kind no reader handles.
    say_puts("Internal vantorel coding error.  Please report this bug\n"
             "to the vantorel author.");
    return EX_SOFTWARE;
}

int run_program(int argc, char **argv) {
    // -N first, before anything can fail: every end of a check, whatever ends it, is a status
    // line and 0 to 3. A monitoring daemon that stops reading closes its end of the pipe; the
    // write into it then fails (EPIPE) and the check ends UNKNOWN rather than killed.
    const bool plugin = plugin_asked(argc, argv);
    if (plugin) {
        platform_ignore_sigpipe();
        messages_keep();
    }
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
    return plugin ? plugin_status(opts, status, verdict) : status;
}
