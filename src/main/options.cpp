// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "main/options.h"
#include "boards/board_table.h"
#include "boards/boards.h"
#include "trace/trace.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sysexits.h>
#include <unistd.h>

// glibc's getopt permutes arguments unless told otherwise; the leading '+' keeps POSIX
// parsing, which stops at the first operand. BSD getopt is POSIX already.
#if defined(__GLIBC__)
#define OPTSTRING "+JNPSacf:lo:t:vx:h?"
#else
#define OPTSTRING "JNPSacf:lo:t:vx:h?"
#endif

// How long a -N run waits for the device's lock without -t: a check must answer within the
// time its daemon gives it, and the plugins' convention is 10 s.
static constexpr unsigned plugin_lock_seconds = 10;

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

namespace {

// Whether option C of OPTSTRING takes an argument.
bool takes_argument(char c) {
    const char *at = c == ':' || c == '+' ? nullptr : strchr(OPTSTRING, c);
    return at != nullptr && at[1] == ':';
}

} // namespace

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

namespace {

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

} // namespace

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
