// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The FreeBSD platform, built on the host against the stand-ins for FreeBSD's headers, over
// open, kenv and ioctl that record what it asks of the kernel: the smb(4) requests byte for
// byte, the kernel-environment names of the board strings, and the lock taken by the open.
#include "freebsd_facts.h"
#include "platform/platform.h"

#include <errno.h>
#include <stdarg.h>
#include <sys/file.h>
#include <string.h>

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

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
};

kernel_fake kernel;

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

extern "C" int flock(int fd, int operation) {
    kernel.lock_fd = fd;
    kernel.lock_operation = operation;
    errno = kernel.lock_error;
    return kernel.lock_error == 0 ? 0 : -1;
}

extern "C" int open(const char *path, int flags, ...) {
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

// The lock is taken once the device is open, not by the open (O_EXLOCK): the run's hold on
// the device begins between the two, before the lock is asked for.
TEST_F(FreeBSDPlatform, TheDefaultDeviceIsOpenedReadWriteThenLockedExclusively) {
    std::array<char, device_path_size> path;
    ASSERT_TRUE(platform_default_device(path));
    EXPECT_STREQ(path.data(), "/dev/smb0");

    kernel.result = 1007; // no descriptor of this process: closing it does nothing
    lock_holder busy;
    bus_handle bus = platform_open_locked(path.data(), lock_wait{}, busy);
    EXPECT_EQ(bus.fd, 1007);
    EXPECT_EQ(bus.state, nullptr) << "smb(4) needs nothing but the descriptor";
    EXPECT_EQ(kernel.calls, 1);
    EXPECT_EQ(kernel.path, "/dev/smb0");
    EXPECT_EQ(kernel.flags & O_ACCMODE, O_RDWR);
    EXPECT_EQ(kernel.flags & O_EXLOCK, 0);
    EXPECT_EQ(kernel.flags & O_CLOEXEC, O_CLOEXEC);
    EXPECT_EQ(kernel.lock_fd, 1007);
    EXPECT_EQ(kernel.lock_operation, LOCK_EX);
    platform_close(bus);

    kernel.result = -1;
    kernel.error = EACCES;
    EXPECT_EQ(platform_open_locked("/dev/smb1", lock_wait{}, busy).fd, -1);
    EXPECT_EQ(errno, EACCES);
}

// A bounded wait cannot take the lock in the open, which would wait: it opens, then tries
// flock(2) without blocking, and gives up with EWOULDBLOCK, the descriptor closed, once its
// time has passed (none here).
TEST_F(FreeBSDPlatform, ABoundedWaitTriesTheLockWithoutBlocking) {
    kernel.result = 1000; // no descriptor of this process: closing it does nothing
    kernel.lock_error = EWOULDBLOCK;
    lock_holder busy;
    busy.pid = 99;
    EXPECT_EQ(platform_open_locked("/dev/smb0", lock_wait{true, 0}, busy).fd, -1);
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_EQ(kernel.flags & O_ACCMODE, O_RDWR);
    EXPECT_EQ(kernel.flags & O_EXLOCK, 0) << "the open itself would wait for the lock";
    EXPECT_EQ(kernel.lock_fd, 1000);
    EXPECT_EQ(kernel.lock_operation, LOCK_EX | LOCK_NB);
    EXPECT_EQ(busy.pid, 0) << "F_GETLK on no descriptor names nobody";

    kernel.lock_error = 0;
    EXPECT_EQ(platform_open_locked("/dev/smb0", lock_wait{true, 10}, busy).fd, 1000);
}

} // namespace
