// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// SMBus byte access over the simulated bus: one transaction per call, exact request, trace,
// and the failed transaction that comes back as EX_IOERR after its message.
#include "capture.h"
#include "chips/smbus.h"
#include "sim/sim.h"

#include <errno.h>
#include <functional>
#include <gtest/gtest.h>
#include <sysexits.h>

namespace {

class ByteAccess : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        sim_set_reg(0x2f, 0xb0, 0x7b);
        sim_set_reg(0x2f, 0x20, 0xff);
    }
    bus_handle bus3{3}, bus4{4};
};

TEST_F(ByteAccess, ReadIsOneTransactionAtTheSevenBitAddressAndTraces) {
    byte_read r{};
    std::string out = capture_traced(true, [&] { r = read_byte(bus3, 0x2f, 0xb0); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.value, 0x7b);
    EXPECT_EQ(out, "==> read_byte(fd = 3, slave = 0x2f, idxreg = 0xb0)\n"
                   "==> read_byte() returning 0x7b\n");
    ASSERT_EQ(sim_log_size(), 1u);
    const sim_txn &t = sim_log_entry(0);
    EXPECT_FALSE(t.write);
    EXPECT_EQ(t.addr, 0x2f);
    EXPECT_EQ(t.reg, 0xb0);
}

TEST_F(ByteAccess, DataBytesComeBackUnchangedAndSilentlyWithoutVerbose) {
    EXPECT_EQ(capture_traced(false,
                             [&] {
                                 EXPECT_EQ(read_byte(bus3, 0x2f, 0x20).value, 0xff);
                                 EXPECT_EQ(read_byte(bus3, 0x2f, 0x21).value, 0x00);
                             }),
              "");
}

TEST_F(ByteAccess, WriteStoresTheByteAndTraces) {
    sim_add_chip(0x2c);
    int status = -1;
    std::string out = capture_traced(true, [&] { status = write_byte(bus4, 0x2c, 0xc8, 0x5a); });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "==> write_byte(fd = 4, slave = 0x2c, idxreg = 0xc8, value = 0x5a)\n"
                   "==> write_byte() returning\n");
    ASSERT_EQ(sim_log_size(), 1u);
    EXPECT_TRUE(sim_log_entry(0).write);
    EXPECT_EQ(sim_log_entry(0).addr, 0x2c);
    EXPECT_EQ(read_byte(bus4, 0x2c, 0xc8).value, 0x5a);
}

// A failed transaction: its message on standard error, EX_IOERR, and no return line on the
// trace; a read gives no byte.
TEST_F(ByteAccess, AFailedTransactionIsSaidAndReturnsIoError) {
    struct failure {
        const char *name;
        std::function<int()> call;
        const char *trace;
        const char *message;
    };
    sim_fail_at(1, EIO);
    const failure cases[] = {
        {"read",
         [&] {
             byte_read r = read_byte(bus3, 0x2f, 0xb0);
             EXPECT_EQ(r.value, 0);
             return r.status;
         },
         "==> read_byte(fd = 3, slave = 0x2f, idxreg = 0xb0)\n",
         "ioctl(SMB_READB) failed: Input/output error\n"},
        {"read where no chip answers", [&] { return read_byte(bus3, 0x2d, 0x10).status; },
         "==> read_byte(fd = 3, slave = 0x2d, idxreg = 0x10)\n",
         "ioctl(SMB_READB) failed: No such device or address\n"},
        {"write", [&] { return write_byte(bus3, 0x2d, 0x10, 1); },
         "==> write_byte(fd = 3, slave = 0x2d, idxreg = 0x10, value = 0x01)\n",
         "ioctl(SMB_WRITEB) failed: No such device or address\n"},
    };
    for (const failure &c : cases) {
        SCOPED_TRACE(c.name);
        int status = -1;
        std::string trace;
        std::string err =
            capture_stderr([&] { trace = capture_traced(true, [&] { status = c.call(); }); });
        EXPECT_EQ(status, EX_IOERR);
        EXPECT_EQ(trace, c.trace);
        EXPECT_EQ(err, std::string(program_invocation_short_name) + ": " + c.message);
    }
}

} // namespace
