// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Simulated platform for tests: the world a run sees, configured in-process through sim.h,
// or from a fixture file by the simulated command-line program.
#include "sim.h"
#include "platform/platform.h"
#include "platform/device_lock.h"
#if defined(__linux__)
#include "platform/linux/lock_holder.h"
#endif

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

struct chip {
    uint8_t regs[256] = {};
};

struct world {
    uid_t euid = 0;
    std::optional<uid_t> uid; // the real one; follows euid until set
    privilege_drop fail_drop = privilege_drop::done;
    // The hold on the device cannot be had (EPERM); the simulated user of a setuid-root run
    // whose ids the open device holds (real root, effective the user's).
    bool fail_hold = false;
    std::optional<uid_t> held_user;
    // Each bus transaction takes this long.
    unsigned transaction_ms = 0;
    bool detached = false;
    int detached_err = 0;
    std::optional<std::string> last_open;
    bool last_open_as_user = false;
    std::optional<std::string> maker, product;
    std::map<int, chip> chips;
    std::map<int, bool> driver_held;
    std::map<std::pair<int, int>, bool> failing_regs;
    size_t fail_nth = 0;
    int fail_errno = EIO;
    std::vector<sim_txn> log;
};

world &the_world() {
    static world w;
    return w;
}

world &w() {
    return the_world();
}

} // namespace

void sim_reset() {
    the_world() = world{};
}

void sim_set_euid(uid_t euid) {
    w().euid = euid;
}

void sim_set_uid(uid_t uid) {
    w().uid = uid;
}

void sim_fail_drop(privilege_drop step) {
    w().fail_drop = step;
}

void sim_fail_hold() {
    w().fail_hold = true;
}

void sim_slow_bus(unsigned ms) {
    w().transaction_ms = ms;
}

void sim_detach_opens(int err) {
    w().detached = true;
    w().detached_err = err;
}

const char *sim_last_open(bool *as_user) {
    if (!w().last_open)
        return nullptr;
    *as_user = w().last_open_as_user;
    return w().last_open->c_str();
}

void sim_set_board_string(board_string which, const char *value) {
    std::optional<std::string> v;
    if (value != nullptr)
        v = value;
    (which == board_string::maker ? w().maker : w().product) = v;
}

// The chip at ADDR, put there if it is not: its identity registers, those of the W83793G and
// those of the W83792D (which lie apart), say a right chip of either kind at ADDR, each bank
// register on bank 0 with its high-byte select set; every other register is 0. Of them only
// the W83792D's chip ID (0x58) is among the registers a reader reads for its readings.
static chip &chip_at(int addr) {
    auto [at, added] = w().chips.try_emplace(addr);
    if (added) {
        uint8_t *r = at->second.regs;
        r[0x00] = 0x80;                            // W83793G bank select
        r[0x0b] = static_cast<uint8_t>(addr << 1); // W83793G I2C address, 8-bit
        r[0x0d] = 0x5c;                            // W83793G vendor ID, high byte
        r[0x0e] = 0x7b;                            // W83793G chip ID
        r[0x48] = static_cast<uint8_t>(addr);      // W83792D I2C address, 7-bit
        r[0x4e] = 0x80;                            // W83792D bank select
        r[0x4f] = 0x5c;                            // W83792D vendor ID, high byte
        r[0x58] = 0x7a;                            // W83792D chip ID
    }
    return at->second;
}

void sim_add_chip(int addr) {
    chip_at(addr);
}

void sim_set_reg(int addr, uint8_t reg, uint8_t value) {
    chip_at(addr).regs[reg] = value;
}

void sim_driver_holds(int addr) {
    w().driver_held[addr] = true;
}

void sim_fail_at(size_t nth, int err) {
    w().fail_nth = nth;
    w().fail_errno = err;
}

void sim_fail_reg(int addr, uint8_t reg) {
    w().failing_regs[{addr, reg}] = true;
}

size_t sim_log_size() {
    return w().log.size();
}

const sim_txn &sim_log_entry(size_t i) {
    return w().log.at(i);
}

bool sim_load_fixture(const char *path) {
    FILE *f = fopen(path, "r");
    if (f == nullptr)
        return false;
    sim_reset();
    char *line = nullptr;
    size_t cap = 0;
    ssize_t n;
    bool ok = true;
    while (ok && (n = getline(&line, &cap, f)) != -1) {
        std::string l(line, static_cast<size_t>(n));
        if (!l.empty() && l.back() == '\n')
            l.pop_back();
        if (l.empty() || l[0] == '#')
            continue;
        size_t sp = l.find(' ');
        std::string key = l.substr(0, sp);
        std::string rest = sp == std::string::npos ? "" : l.substr(sp + 1);
        unsigned a = 0, r = 0, v = 0;
        unsigned long nth = 0;
        if (key == "euid")
            sim_set_euid(static_cast<uid_t>(strtoul(rest.c_str(), nullptr, 0)));
        else if (key == "uid")
            sim_set_uid(static_cast<uid_t>(strtoul(rest.c_str(), nullptr, 0)));
        else if (key == "faildrop" && rest == "group")
            sim_fail_drop(privilege_drop::group_failed);
        else if (key == "faildrop" && rest == "user")
            sim_fail_drop(privilege_drop::user_failed);
        else if (key == "faildrop" && rest == "regain")
            sim_fail_drop(privilege_drop::not_for_good);
        else if (key == "failhold" && rest.empty())
            sim_fail_hold();
        else if (key == "slow" && sscanf(rest.c_str(), "%lu", &nth) == 1)
            sim_slow_bus(static_cast<unsigned>(nth));
        else if (key == "maker")
            sim_set_board_string(board_string::maker, rest.c_str());
        else if (key == "product")
            sim_set_board_string(board_string::product, rest.c_str());
        else if (key == "chip" && sscanf(rest.c_str(), "%i", &a) == 1)
            sim_add_chip(static_cast<int>(a));
        else if (key == "reg" && sscanf(rest.c_str(), "%i %i %i", &a, &r, &v) == 3)
            sim_set_reg(static_cast<int>(a), static_cast<uint8_t>(r), static_cast<uint8_t>(v));
        else if (key == "fail" && sscanf(rest.c_str(), "%lu", &nth) == 1)
            sim_fail_at(nth, EIO);
        else if (key == "failreg" && sscanf(rest.c_str(), "%i %i", &a, &r) == 2)
            sim_fail_reg(static_cast<int>(a), static_cast<uint8_t>(r));
        else
            ok = false;
    }
    free(line);
    fclose(f);
    return ok;
}

// The default device and its help are FreeBSD's: /dev/smb0.
bool platform_default_device(std::span<char, device_path_size> path) {
    constexpr char smb0[] = "/dev/smb0";
    static_assert(sizeof smb0 <= device_path_size);
    memcpy(path.data(), smb0, sizeof smb0);
    return true;
}

const char *platform_device_help() {
    return "use DEVICE as smb(4) device (default: /dev/smb0)";
}

void platform_ignore_sigpipe() {
    signal(SIGPIPE, SIG_IGN);
}

uid_t platform_geteuid() {
    return w().euid;
}

int platform_board_string(board_string which, char *value, int len) {
    const std::optional<std::string> *v = which == board_string::maker ? &w().maker : &w().product;
    if (!v->has_value()) {
        errno = ENOENT;
        return -1;
    }
    // Like kenv(2): at most len bytes, the terminator included only if it fits.
    size_t n = (*v)->size() + 1;
    if (n > static_cast<size_t>(len))
        n = static_cast<size_t>(len);
    memcpy(value, (*v)->c_str(), n);
    return static_cast<int>(n);
}

uid_t platform_getuid() {
    return w().uid.value_or(w().euid);
}

// Notes a device open for sim_last_open.
static void note_open(const char *path, bool as_user) {
    w().last_open = path;
    w().last_open_as_user = as_user;
}

// A detached open touches no file named by the program.
static int detached_open() {
    if (w().detached_err != 0) {
        errno = w().detached_err;
        return -1;
    }
    return open("/dev/null", O_RDWR | O_CLOEXEC);
}

// The handle of a descriptor that no hold goes with: a detached open's, or -1.
static bus_handle unheld(int fd) {
    bus_handle bus;
    bus.fd = fd;
    return bus;
}

// The handle of a device opened and locked (FD not -1) inside HOLD. The hold is the real
// platforms' (the stop signals ignored, and the process's own ids held where it really is
// setuid-root); the simulated ids of a setuid-root run are held as those would be: the real
// user id root, the effective one the user's, until the device is closed.
static bus_handle held(int fd, const device_hold &hold) {
    if (fd < 0)
        return {};
    world &s = w();
    if (platform_getuid() != 0 && s.euid == 0) {
        s.held_user = platform_getuid();
        s.euid = *s.held_user;
        s.uid = 0;
    }
    return {fd, nullptr, hold};
}

// A detached open, held as any other.
static bus_handle detached_held() {
    device_hold hold;
    int fd = detached_open();
    if (fd >= 0 && !hold_device(hold))
        fd = close_keeping_errno(fd);
    return held(fd, hold);
}

// The hold that the real platforms begin before the lock; a world that fails it fails the
// open with EPERM, FD closed.
static int failed_hold(int fd) {
    if (fd >= 0)
        close(fd);
    errno = EPERM;
    return -1;
}

// The device is a real file, opened and locked as on Linux, so tests can exercise a missing
// path and a lock held by another process, bounded waits included; only the bus behind it is
// simulated. The simulated bus keeps nothing per device: the handle is the descriptor and the
// hold.
bus_handle platform_open_locked(const char *path, lock_wait wait, lock_holder &busy) {
    note_open(path, false);
    if (w().detached)
        return detached_held();
    if (w().fail_hold)
        return unheld(failed_hold(open(path, O_RDWR | O_CLOEXEC)));
    device_hold hold;
    return held(open_and_lock(path, wait, busy, hold), hold);
}

// The lock is a real one, so its holder is found as on Linux, where the tests run; elsewhere
// it stays unnamed.
lock_holder lock_holder_of(int fd) {
#if defined(__linux__)
    struct stat st;
    if (fstat(fd, &st) == 0)
        return find_flock_holder("/proc", st.st_dev, st.st_ino);
#else
    (void)fd;
#endif
    return {};
}

// Whether the simulated real user (group: the same number) may read and write the file, by
// its permission bits as the kernel would judge them for that user.
static bool user_may_open(const struct stat &st, uid_t uid) {
    if (uid == 0)
        return true;
    mode_t need;
    if (st.st_uid == uid)
        need = S_IRUSR | S_IWUSR;
    else if (st.st_gid == static_cast<gid_t>(uid))
        need = S_IRGRP | S_IWGRP;
    else
        need = S_IROTH | S_IWOTH;
    return (st.st_mode & need) == need;
}

// The real platforms open as the real user; the simulation opens as the test process and
// then judges the file's permission bits for the simulated user, refusing in the same order
// (a symbolic link, then permission, then anything but a character device) before the lock.
bus_handle platform_open_user_locked(const char *path, lock_wait wait, lock_holder &busy) {
    note_open(path, true);
    if (w().detached)
        return detached_held();
    int fd = open(path, O_RDWR | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return unheld(-1);
    struct stat st;
    int refused = 0;
    if (fstat(fd, &st) != 0)
        refused = errno;
    else if (!user_may_open(st, platform_getuid()))
        refused = EACCES;
    else if (!S_ISCHR(st.st_mode))
        refused = ENODEV;
    if (refused == 0 && w().fail_hold)
        return unheld(failed_hold(fd));
    device_hold hold;
    return held(lock_unless_refused(fd, refused, wait, busy, hold), hold);
}

privilege_drop platform_drop_privileges() {
    world &s = w();
    if (s.fail_drop != privilege_drop::done) {
        errno = EPERM;
        return s.fail_drop;
    }
    s.euid = platform_getuid();
    return privilege_drop::done;
}

void platform_close(bus_handle &bus) {
    if (bus.fd >= 0)
        close(bus.fd);
    release_hold(bus.hold);
    world &s = w();
    if (s.held_user) {
        s.uid = *s.held_user;
        s.euid = 0;
        s.held_user.reset();
    }
    bus = bus_handle{};
}

// One transaction on the simulated bus, logged whether it succeeds or not. VALUE is the byte
// to write; a read answers the chip's register.
static bus_result transact(bool write, uint8_t addr, uint8_t reg, uint8_t value) {
    world &s = w();
    sim_txn t{};
    t.write = write;
    t.addr = addr;
    t.reg = reg;
    t.value = write ? value : 0;
    t.euid = s.euid;

    auto c = s.chips.find(addr);
    int err = 0;
    if (addr > 0x7f)
        err = EINVAL; // not a 7-bit address
    else if (s.fail_nth != 0 && s.log.size() + 1 == s.fail_nth)
        err = s.fail_errno;
    else if (c == s.chips.end())
        err = ENXIO; // nobody answers at this address
    else if (s.failing_regs.count({addr, reg}))
        err = EIO;

    if (err == 0) {
        if (write)
            c->second.regs[reg] = value;
        else
            t.value = c->second.regs[reg];
    }
    t.failed = err != 0;
    s.log.push_back(t);
    if (s.transaction_ms != 0) {
        struct timespec pause = {static_cast<time_t>(s.transaction_ms / 1000),
                                 static_cast<long>(s.transaction_ms % 1000) * 1000000L};
        while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
        }
    }
    return {err, err == 0 ? t.value : uint8_t{0}};
}

// The simulated bus holds register images only; no driver stands in the way.
bool platform_describe_chip(bus_handle &, uint8_t, const chip_layout &, chip_reading) {
    return true;
}

bool platform_chip_checked(bus_handle &, uint8_t addr) {
    return w().driver_held.contains(addr);
}

bus_result platform_read_byte(bus_handle &, uint8_t addr, uint8_t reg) {
    return transact(false, addr, reg, 0);
}

bus_result platform_write_byte(bus_handle &, uint8_t addr, uint8_t reg, uint8_t value) {
    bus_result r = transact(true, addr, reg, value);
    r.value = 0;
    return r;
}
