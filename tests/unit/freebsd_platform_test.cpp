// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The FreeBSD platform, built on the host against the stand-ins for FreeBSD's headers, over
// open, kenv and ioctl that record what it asks of the kernel: the smb(4) requests byte for
// byte, the kernel-environment names of the board strings, the lock taken by the open, and
// the user and group ids of a setuid-root run at each step of the open (the ids are the
// fakes' own: the test process's stay as they are).
#include "freebsd_facts.h"
#include "platform/platform.h"

#include <errno.h>
#include <signal.h>
#include <stdarg.h>
#include <string.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

// A process's real, effective and saved ids, of users or of groups.
struct id_set {
    unsigned real = 0, effective = 0, saved = 0;
    bool operator==(const id_set &) const = default;
};

std::ostream &operator<<(std::ostream &out, const id_set &ids) {
    return out << "{real " << ids.real << ", effective " << ids.effective << ", saved " << ids.saved
               << "}";
}

// The ids and stop signals of the process at one call.
struct process_view {
    id_set uids, gids;
    bool stops_ignored = false;
};

// What the fakes saw last, and what they answer.
struct kernel_fake {
    int calls = 0;
    // ioctl
    int fd = -1;
    unsigned long request = 0;
    smbcmd cmd{};
    char reply = 0; // the data byte a read delivers through rbuf
    // kenv
    int action = -1;
    std::string name;
    char *value = nullptr;
    int len = 0;
    // open
    std::string path;
    int flags = 0;
    // flock: the last request, and the errno of its answer (0: the lock is taken)
    int lock_fd = -1;
    int lock_operation = 0;
    int lock_error = 0;
    // every call: its result, and the errno of a failure
    int result = 0;
    int error = 0;
    // the ids, root's throughout unless a test sets them; the setresuid or setresgid call
    // (counted from 1) that fails with EPERM, 0 for none
    id_set uids, gids;
    int uid_calls = 0, gid_calls = 0;
    int failing_uid_call = 0, failing_gid_call = 0;
    // the process at the last open and the last flock; the descriptors closed
    process_view at_open, at_lock;
    std::vector<int> closed;
};

kernel_fake kernel;

process_view now() {
    struct sigaction tstp;
    sigaction(SIGTSTP, nullptr, &tstp);
    return {kernel.uids, kernel.gids, tstp.sa_handler == SIG_IGN};
}

// setresuid(2) and setresgid(2)'s rule: an effective uid of root may set any id, any other
// only one of the ids it has; -1 keeps an id.
int set_ids(id_set &ids, unsigned real, unsigned effective, unsigned saved, bool fails) {
    const unsigned keep = static_cast<unsigned>(-1);
    auto allowed = [&](unsigned id) {
        return id == keep || kernel.uids.effective == 0 || id == ids.real || id == ids.effective ||
               id == ids.saved;
    };
    if (fails || !allowed(real) || !allowed(effective) || !allowed(saved)) {
        errno = EPERM;
        return -1;
    }
    ids = {real == keep ? ids.real : real, effective == keep ? ids.effective : effective,
           saved == keep ? ids.saved : saved};
    return 0;
}

int answer() {
    kernel.calls++;
    if (kernel.result == -1)
        errno = kernel.error;
    return kernel.result;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    auto *c = va_arg(ap, smbcmd *);
    va_end(ap);
    kernel.fd = fd;
    kernel.request = request;
    memcpy(&kernel.cmd, c, sizeof *c);
    if (kernel.result != -1 && c->rbuf != nullptr && c->rcount == 1)
        *c->rbuf = kernel.reply;
    return answer();
}

extern "C" int kenv(int action, const char *name, char *value, int len) {
    kernel.action = action;
    kernel.name = name;
    kernel.value = value;
    kernel.len = len;
    return answer();
}

extern "C" uid_t getuid() {
    return kernel.uids.real;
}
extern "C" uid_t geteuid() {
    return kernel.uids.effective;
}
extern "C" gid_t getgid() {
    return kernel.gids.real;
}
extern "C" gid_t getegid() {
    return kernel.gids.effective;
}
extern "C" int setresuid(uid_t real, uid_t effective, uid_t saved) {
    return set_ids(kernel.uids, real, effective, saved,
                   ++kernel.uid_calls == kernel.failing_uid_call);
}
extern "C" int setresgid(gid_t real, gid_t effective, gid_t saved) {
    return set_ids(kernel.gids, real, effective, saved,
                   ++kernel.gid_calls == kernel.failing_gid_call);
}

// The fake descriptors (1000 and up) are only noted; the test process's own are closed.
extern "C" int close(int fd) {
    if (fd < 1000)
        return static_cast<int>(syscall(SYS_close, fd));
    kernel.closed.push_back(fd);
    return 0;
}

extern "C" int flock(int fd, int operation) {
    kernel.at_lock = now();
    kernel.lock_fd = fd;
    kernel.lock_operation = operation;
    errno = kernel.lock_error;
    return kernel.lock_error == 0 ? 0 : -1;
}

extern "C" int open(const char *path, int flags, ...) {
    kernel.at_open = now();
    kernel.path = path;
    kernel.flags = flags;
    return answer();
}

namespace {

class FreeBSDPlatform : public ::testing::Test {
  protected:
    void SetUp() override {
        kernel = kernel_fake{};
    }

    // The record a byte request must carry: zero throughout but for the members named.
    static smbcmd expected_request(int slave, uint8_t reg) {
        smbcmd c;
        memset(&c, 0, sizeof c);
        c.slave = slave;
        c.cmd = reg;
        return c;
    }

    static void expect_record(const smbcmd &want) {
        EXPECT_EQ(kernel.cmd.slave, want.slave);
        EXPECT_EQ(kernel.cmd.cmd, want.cmd);
        EXPECT_EQ(kernel.cmd.rcount, want.rcount);
        EXPECT_EQ(kernel.cmd.wdata.byte, want.wdata.byte);
        EXPECT_EQ(memcmp(&kernel.cmd, &want, sizeof want), 0) << "a member not set is not zero";
    }
};

struct byte_case {
    uint8_t addr;  // 7-bit
    int slave;     // its 8-bit form on the bus
    uint8_t reg;   // register, the command code
    uint8_t value; // the byte read or written
};

// The program's two chip addresses, registers on either side of 0x80, data bytes 0x00 and 0xff.
constexpr std::array<byte_case, 3> byte_cases{{
    {0x2f, 0x5e, 0xb0, 0x7b},
    {0x2c, 0x58, 0x20, 0x00},
    {0x2f, 0x5e, 0xc8, 0xff},
}};

TEST_F(FreeBSDPlatform, ReadIsOneReadByteRequestWithTheEightBitAddressAndAOneByteBuffer) {
    for (const byte_case &t : byte_cases) {
        SCOPED_TRACE(::testing::Message() << "register " << int{t.reg});
        kernel = kernel_fake{};
        kernel.reply = static_cast<char>(t.value);
        bus_handle bus{5};
        bus_result r = platform_read_byte(bus, t.addr, t.reg);
        EXPECT_EQ(kernel.calls, 1);
        EXPECT_EQ(kernel.fd, 5);
        EXPECT_EQ(kernel.request, freebsd_facts::smb_readb);
        ASSERT_NE(kernel.cmd.rbuf, nullptr);
        smbcmd want = expected_request(t.slave, t.reg);
        want.rbuf = kernel.cmd.rbuf;
        want.rcount = 1;
        expect_record(want);
        EXPECT_EQ(r.error, 0);
        EXPECT_EQ(r.value, t.value);
    }
}

TEST_F(FreeBSDPlatform, WriteIsOneWriteByteRequestWithTheDataByteAndNoBuffer) {
    for (const byte_case &t : byte_cases) {
        SCOPED_TRACE(::testing::Message() << "register " << int{t.reg});
        kernel = kernel_fake{};
        bus_handle bus{6};
        bus_result r = platform_write_byte(bus, t.addr, t.reg, t.value);
        EXPECT_EQ(kernel.calls, 1);
        EXPECT_EQ(kernel.fd, 6);
        EXPECT_EQ(kernel.request, freebsd_facts::smb_writeb);
        smbcmd want = expected_request(t.slave, t.reg);
        want.wdata.byte = static_cast<char>(t.value);
        expect_record(want);
        EXPECT_EQ(r.error, 0);
    }
}

TEST_F(FreeBSDPlatform, AFailedRequestGivesItsErrno) {
    kernel.result = -1;
    kernel.error = ENXIO;
    bus_handle bus{5};
    EXPECT_EQ(platform_read_byte(bus, 0x2f, 0x20).error, ENXIO);
    kernel.error = EIO;
    EXPECT_EQ(platform_write_byte(bus, 0x2f, 0x20, 1).error, EIO);
}

TEST_F(FreeBSDPlatform, BoardStringsAreTheSmbiosPlanarVariablesOfTheKernelEnvironment) {
    const std::pair<board_string, const char *> cases[] = {
        {board_string::maker, "smbios.planar.maker"},
        {board_string::product, "smbios.planar.product"},
    };
    for (const auto &[which, name] : cases) {
        kernel = kernel_fake{};
        kernel.result = 11;
        char value[128];
        EXPECT_EQ(platform_board_string(which, value, sizeof value), 11);
        EXPECT_EQ(kernel.action, KENV_GET);
        EXPECT_EQ(kernel.name, name);
        EXPECT_EQ(kernel.value, value);
        EXPECT_EQ(kernel.len, 128);
    }
    kernel.result = -1;
    kernel.error = ENOENT;
    char value[128];
    EXPECT_EQ(platform_board_string(board_string::maker, value, sizeof value), -1);
    EXPECT_EQ(errno, ENOENT);
}

// A wait without bound takes the lock in the open itself (O_EXLOCK). A bounded wait cannot,
// since that open would wait for good: it opens, then tries flock(2) without blocking, and
// gives up with EWOULDBLOCK, the descriptor closed, once its time has passed.
TEST_F(FreeBSDPlatform, TheDefaultDeviceIsOpenedWithItsLockUnlessTheWaitIsBounded) {
    std::array<char, device_path_size> path;
    ASSERT_TRUE(platform_default_device(path));
    EXPECT_STREQ(path.data(), "/dev/smb0");

    struct lock_case {
        const char *what;
        lock_wait wait;
        int exlock;         // O_EXLOCK in the open's flags, or 0
        int lock_operation; // the flock(2) asked for, 0 for none
    };
    const lock_case cases[] = {
        {"unbounded", lock_wait{}, O_EXLOCK, 0},
        {"bounded", lock_wait{true, 10}, 0, LOCK_EX | LOCK_NB},
    };
    for (const lock_case &t : cases) {
        SCOPED_TRACE(t.what);
        kernel = kernel_fake{};
        kernel.result = 1007;
        lock_holder busy;
        bus_handle bus = platform_open_locked(path.data(), t.wait, busy);
        EXPECT_EQ(bus.fd, 1007);
        EXPECT_EQ(bus.state, nullptr) << "smb(4) needs nothing but the descriptor";
        EXPECT_EQ(kernel.path, "/dev/smb0");
        EXPECT_EQ(kernel.flags & O_ACCMODE, O_RDWR);
        EXPECT_EQ(kernel.flags & O_EXLOCK, t.exlock);
        EXPECT_EQ(kernel.flags & O_CLOEXEC, O_CLOEXEC);
        EXPECT_EQ(kernel.lock_operation, t.lock_operation);
        EXPECT_EQ(kernel.lock_fd, t.lock_operation == 0 ? -1 : 1007);
        platform_close(bus);
        EXPECT_EQ(kernel.closed, std::vector<int>{1007});

        kernel.result = -1;
        kernel.error = EACCES;
        EXPECT_EQ(platform_open_locked("/dev/smb1", t.wait, busy).fd, -1);
        EXPECT_EQ(errno, EACCES);
    }

    kernel = kernel_fake{};
    kernel.result = 1000;
    kernel.lock_error = EWOULDBLOCK;
    lock_holder busy;
    busy.pid = 99;
    EXPECT_EQ(platform_open_locked("/dev/smb0", lock_wait{true, 0}, busy).fd, -1);
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_EQ(kernel.closed, std::vector<int>{1000});
    EXPECT_EQ(busy.pid, 0) << "F_GETLK on no descriptor names nobody";
}

// A setuid-root run by user 1000 (setgid root too, so that the group is seen to change).
constexpr id_set user_run_uids{1000, 0, 0}, user_run_gids{1000, 0, 0};
// Held: the user cannot signal the run, and the bus is used with the user's rights.
constexpr id_set held_uids{0, 1000, 0}, held_gids{1000, 1000, 0};

// /dev/smb0 is root's to open: the unbounded open, which takes the lock, runs with root's
// effective ids, but already with the real and saved ones root and the stop signals ignored,
// so nobody but root can stop the run from the moment it holds the lock. The effective ids
// are the user's once the open returns; the close gives back those from before the open.
TEST_F(FreeBSDPlatform, ASetuidRunHoldsTheDeviceOutOfTheUsersReachFromTheOpenThatLocksIt) {
    struct hold_case {
        const char *what;
        lock_wait wait;
        process_view at_open;
        process_view at_lock; // where flock(2) takes the lock
    };
    const hold_case cases[] = {
        {"unbounded", lock_wait{}, {{0, 0, 0}, user_run_gids, true}, {}},
        {"bounded",
         lock_wait{true, 10},
         {user_run_uids, user_run_gids, false},
         {held_uids, held_gids, true}},
    };
    for (const hold_case &t : cases) {
        SCOPED_TRACE(t.what);
        kernel = kernel_fake{};
        kernel.uids = user_run_uids;
        kernel.gids = user_run_gids;
        kernel.result = 1007;
        lock_holder busy;
        bus_handle bus = platform_open_locked("/dev/smb0", t.wait, busy);
        ASSERT_EQ(bus.fd, 1007);
        EXPECT_EQ(kernel.at_open.uids, t.at_open.uids);
        EXPECT_EQ(kernel.at_open.gids, t.at_open.gids);
        EXPECT_EQ(kernel.at_open.stops_ignored, t.at_open.stops_ignored);
        if (kernel.lock_fd != -1) {
            EXPECT_EQ(kernel.at_lock.uids, t.at_lock.uids);
            EXPECT_EQ(kernel.at_lock.gids, t.at_lock.gids);
            EXPECT_EQ(kernel.at_lock.stops_ignored, t.at_lock.stops_ignored);
        }
        process_view open = now();
        EXPECT_EQ(open.uids, held_uids);
        EXPECT_EQ(open.gids, held_gids);
        EXPECT_TRUE(open.stops_ignored);

        platform_close(bus);
        process_view closed = now();
        EXPECT_EQ(closed.uids, user_run_uids);
        EXPECT_EQ(closed.gids, user_run_gids);
        EXPECT_FALSE(closed.stops_ignored);
    }
}

// Whatever step fails, the open fails with its errno, holds nothing and keeps no descriptor:
// the ids and the stop signals are as before it.
TEST_F(FreeBSDPlatform, AFailedHoldOrOpenLeavesTheProcessAsItWas) {
    struct failure_case {
        const char *what;
        int open_error;       // the open's errno, 0 for an open that succeeds
        int failing_uid_call; // as kernel_fake counts them
        int failing_gid_call;
        int error;
        bool opened;
    };
    const failure_case cases[] = {
        {"the open", EACCES, 0, 0, EACCES, true},
        {"the real and saved ids made root", 0, 1, 0, EPERM, false},
        {"the effective group lowered", 0, 0, 1, EPERM, true},
        {"the effective user lowered", 0, 2, 0, EPERM, true},
    };
    for (const failure_case &t : cases) {
        SCOPED_TRACE(t.what);
        kernel = kernel_fake{};
        kernel.uids = user_run_uids;
        kernel.gids = user_run_gids;
        kernel.result = t.open_error == 0 ? 1007 : -1;
        kernel.error = t.open_error;
        kernel.failing_uid_call = t.failing_uid_call;
        kernel.failing_gid_call = t.failing_gid_call;
        lock_holder busy;
        bus_handle bus = platform_open_locked("/dev/smb0", lock_wait{}, busy);
        EXPECT_EQ(bus.fd, -1);
        EXPECT_EQ(errno, t.error);
        EXPECT_EQ(kernel.path, t.opened ? "/dev/smb0" : "");
        EXPECT_EQ(kernel.closed,
                  t.opened && t.open_error == 0 ? std::vector<int>{1007} : std::vector<int>{});
        process_view after = now();
        EXPECT_EQ(after.uids, user_run_uids);
        EXPECT_EQ(after.gids, user_run_gids);
        EXPECT_FALSE(after.stops_ignored);
    }
}

} // namespace
