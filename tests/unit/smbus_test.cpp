// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// SMBus byte access over the simulated bus: one transaction per call, exact request, trace,
// and the fatal bus failure.
#include "capture.h"
#include "chips/chips.h"
#include "sim/sim.h"

#include <errno.h>
#include <gtest/gtest.h>

namespace {

class ByteAccess : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        sim_set_reg(0x2f, 0xb0, 0x7b);
        sim_set_reg(0x2f, 0x20, 0xff);
    }
};

TEST_F(ByteAccess, ReadIsOneTransactionAtTheSevenBitAddressAndTraces) {
    uint8_t value = 0;
    std::string out = capture_traced(true, [&] { value = read_byte(3, 0x2f, 0xb0); });
    EXPECT_EQ(value, 0x7b);
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
                             [] {
                                 EXPECT_EQ(read_byte(3, 0x2f, 0x20), 0xff);
                                 EXPECT_EQ(read_byte(3, 0x2f, 0x21), 0x00);
                             }),
              "");
}

TEST_F(ByteAccess, WriteStoresTheByteAndTraces) {
    sim_add_chip(0x2c);
    std::string out = capture_traced(true, [] { write_byte(4, 0x2c, 0xc8, 0x5a); });
    EXPECT_EQ(out, "==> write_byte(fd = 4, slave = 0x2c, idxreg = 0xc8, value = 0x5a)\n"
                   "==> write_byte() returning\n");
    ASSERT_EQ(sim_log_size(), 1u);
    EXPECT_TRUE(sim_log_entry(0).write);
    EXPECT_EQ(sim_log_entry(0).addr, 0x2c);
    EXPECT_EQ(read_byte(4, 0x2c, 0xc8), 0x5a);
}

using ByteAccessDeathTest = ByteAccess;

TEST_F(ByteAccessDeathTest, FailedReadEndsTheProcessWithIoError) {
    sim_fail_at(1, EIO);
    EXPECT_EXIT(read_byte(3, 0x2f, 0xb0), ::testing::ExitedWithCode(74),
                "ioctl\\(SMB_READB\\) failed: Input/output error");
    EXPECT_EXIT(read_byte(3, 0x2d, 0x10), ::testing::ExitedWithCode(74),
                "ioctl\\(SMB_READB\\) failed");
}

TEST_F(ByteAccessDeathTest, FailedWriteEndsTheProcessWithIoError) {
    EXPECT_EXIT(write_byte(3, 0x2d, 0x10, 1), ::testing::ExitedWithCode(74),
                "ioctl\\(SMB_WRITEB\\) failed");
}

} // namespace
