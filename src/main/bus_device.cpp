// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "main/bus_device.h"
#include "trace/trace.h"

#include <errno.h>
#include <sysexits.h>

#include <array>

namespace {

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

} // namespace

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
