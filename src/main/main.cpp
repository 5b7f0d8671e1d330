// The command-line driver: options, the run sequence from root check to report, and the one
// exit path that every step after option parsing ends in.
#include "boards/boards.h"
#include "chips/chips.h"
#include "main/trace.h"
#include "output/output.h"
#include "platform/platform.h"

#include <err.h>
#include <errno.h>
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
#define OPTSTRING "+Jcf:lvh?"
#else
#define OPTSTRING "Jcf:lvh?"
#endif

// The SMBIOS strings are read into buffers of this size.
static constexpr int ident_size = 128;

static bool opt_json = false;
static bool opt_delim = false;
static char device_path[1024] = "/dev/smb0";
static int smb_fd = -1;

// Owned by the run sequence and released by finish() on every path.
static char *maker = nullptr;
static char *product = nullptr;
static sdata *readings = nullptr;

[[noreturn]] static void usage() {
    fputs("Usage: vantorel [options]\n"
          "\n"
          "Options:\n"
          "\n"
          "  -J            JSON-formatted output\n"
          "  -c            comma-delimited output\n"
          "  -f DEVICE     use DEVICE as smb(4) device (default: /dev/smb0)\n"
          "  -l            list supported motherboard ID strings\n"
          "  -h            print this message\n"
          "  -v            be verbose (show debugging output)\n"
          "\n" HOME_PAGE "\n"
          "Report bugs at " BUG_TRACKER "\n",
          stdout);
    exit(EX_USAGE);
}

// The exit path: device first (closing it releases the lock), then the three blocks.
[[noreturn]] static void finish(int status) {
    if (smb_fd != -1)
        platform_close(smb_fd);
    free(readings);
    free(product);
    free(maker);
    exit(status);
}

// Reads one SMBIOS string. A value that fills the whole buffer is cut to its first 127
// characters, so every later use of it stays inside the buffer.
static bool read_ident(const char *name, char *buf) {
    if (platform_kenv_get(name, buf, ident_size) == -1)
        return false;
    buf[ident_size - 1] = '\0';
    return true;
}

int main(int argc, char **argv) {
    int ch;
    while ((ch = getopt(argc, argv, OPTSTRING)) != -1) {
        switch (ch) {
        case 'J':
            opt_json = true;
            break;
        case 'c':
            opt_delim = true;
            break;
        case 'f': {
            // A path that does not fit with its terminator is refused rather than cut: the
            // device opened must be the one the user named.
            size_t len = strnlen(optarg, sizeof device_path);
            if (len >= sizeof device_path) {
                warnx("device path too long (%zu bytes at most)", sizeof device_path - 1);
                exit(EX_USAGE);
            }
            memset(device_path, 0, sizeof device_path);
            memcpy(device_path, optarg, len);
            break;
        }
        case 'l':
            list_models(board_table);
        case 'v':
            opt_verbose = true;
            break;
        default: // -h, -?, an unknown option, -f without its argument
            usage();
        }
    }

    if (platform_geteuid() != 0) {
        warn("Must be run as root, or setuid root");
        finish(EX_NOPERM);
    }
    if (opt_delim && opt_json) {
        warn("Please choose only one output format");
        finish(EX_USAGE);
    }

    maker = static_cast<char *>(calloc(1, ident_size));
    if (maker == nullptr) {
        warn("calloc() for maker failed");
        finish(EX_OSERR);
    }
    product = static_cast<char *>(calloc(1, ident_size));
    if (product == nullptr) {
        warn("calloc() for product failed");
        finish(EX_OSERR);
    }
    if (!read_ident("smbios.planar.maker", maker)) {
        warn("kenv() for %s failed", "smbios.planar.maker");
        finish(EX_OSERR);
    }
    if (!read_ident("smbios.planar.product", product)) {
        warn("kenv() for %s failed", "smbios.planar.product");
        finish(EX_OSERR);
    }

    const boards *board = board_lookup(maker, product);
    if (board == nullptr) {
        puts("Your motherboard does not appear to be supported.  Please visit\n" HOME_PAGE
             " to see if support for your motherboard\n"
             "and/or system is under development.");
        finish(EX_DATAERR);
    }

    readings = static_cast<sdata *>(calloc(1, sizeof(sdata)));
    if (readings == nullptr) {
        warn("calloc() for sdata failed");
        finish(EX_DATAERR);
    }

    smb_fd = platform_open_locked(device_path);
    if (smb_fd < 0) {
        warn("open() on %s failed", device_path);
        finish(EX_NOINPUT);
    }

    int result;
    switch (board->chip) {
    case CHIP_W83793G:
        result = w83793g_main(smb_fd, board->slave, readings);
        break;
    case CHIP_W83792D:
        result = w83792d_main(smb_fd, board->slave, readings);
        break;
    case CHIP_X6DVA:
        result = x6dva_main(smb_fd, readings);
        break;
    default:
        puts("Internal vantorel coding error.  Please report this bug\n"
             "to the vantorel author.");
        finish(EX_SOFTWARE);
    }
    if (result != 0) {
        puts("Your motherboard is supported, but H/W chip verification failed.\n"
             "Please re-run vantorel with the -v flag and send full output + bug\n"
             "report to the vantorel author.");
        finish(EX_SOFTWARE);
    }

    if (opt_json)
        sensors_output_json(board, readings);
    else if (opt_delim)
        sensors_output_delim(board, readings);
    else
        sensors_output(board, readings);
    finish(stdout_status(0));
}
