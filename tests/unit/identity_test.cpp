// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The chips' identity checks over the simulated bus: which register images each chip kind
// accepts and refuses, with what message, by reads alone and only for a judging run.
#include "boards/boards.h"
#include "capture.h"
#include "chips/chip_tables.h"
#include "chips/identity.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <errno.h>

#include <string>
#include <sysexits.h>
#include <tuple>
#include <vector>

namespace {

using reg_value = std::tuple<int, int, int>; // 7-bit address, register, value

struct identity_case {
    const char *name;
    const char *product;
    std::vector<reg_value> regs; // over the simulated chip's right identity
    int status;
    const char *message; // on standard error, after the program's name, without the newline
};

void PrintTo(const identity_case &c, std::ostream *os) {
    *os << c.name;
}

// The board's chips, the first registers of the case set over the simulated chips' right
// identity (sim.h), then the check of a judging run. The outcome, and what it said.
std::pair<int, std::string> check(const char *product, const std::vector<reg_value> &regs,
                                  chip_reading what = chip_reading::with_limits) {
    const board *row = board_lookup("Supermicro", product);
    EXPECT_NE(row, nullptr) << product;
    if (row->chip == chip_kind::x6dva)
        sim_add_chip(0x2c);
    sim_add_chip(0x2f);
    for (auto [addr, reg, value] : regs)
        sim_set_reg(addr, static_cast<uint8_t>(reg), static_cast<uint8_t>(value));
    // The chip that the board's reader checks: the row's, or the X6DVA's W83792D at 0x2f.
    const bool w83793g = row->chip == chip_kind::w83793g;
    const int32_t slave = row->chip == chip_kind::x6dva ? 0x2f : row->slave;
    bus_handle bus;
    int status = -1;
    std::string err = capture_stderr([&] {
        status = check_chip_identity(bus, slave, w83793g ? w83793g_layout : w83792d_layout,
                                     w83793g ? w83793g_identity : w83792d_identity, what);
    });
    return {status, err};
}

// Messages start with the name of the program that says them, here the test's.
const std::string program = std::string(program_invocation_short_name) + ": ";

class Identity : public ::testing::TestWithParam<identity_case> {
  protected:
    void SetUp() override {
        sim_reset();
    }
};

TEST_P(Identity, AcceptsTheBoardsChipAndRefusesAnyOtherByReadsAlone) {
    const identity_case &c = GetParam();
    auto [status, err] = check(c.product, c.regs);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(err, c.status == 0 ? "" : program + std::string(c.message) + "\n");

    // Reads only, of the identity registers of the chip at 0x2f alone, each once.
    const chip_identity &id =
        c.product == std::string("X7DBP") ? w83793g_identity : w83792d_identity;
    ASSERT_EQ(sim_log_size(), id.checks.size());
    for (size_t i = 0; i < sim_log_size(); i++) {
        EXPECT_FALSE(sim_log_entry(i).write);
        EXPECT_EQ(sim_log_entry(i).addr, 0x2f);
        EXPECT_EQ(sim_log_entry(i).reg, id.checks[i].reg);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Images, Identity,
    ::testing::Values(
        // W83793G: bank select 0x00, vendor ID 0x0d, own address 0x0b (8-bit), chip ID 0x0e.
        identity_case{"w83793g_right", "X7DBP", {}, 0, ""},
        identity_case{
            "w83793g_right_select_clear", "X7DBP", {{0x2f, 0x00, 0x00}, {0x2f, 0x0d, 0xa3}}, 0, ""},
        identity_case{"w83793g_vendor_wrong_select_set",
                      "X7DBP",
                      {{0x2f, 0x0d, 0xa3}},
                      EX_UNAVAILABLE,
                      "the chip at 0x2f is not a Winbond W83793G: register 0x0d (vendor ID, high "
                      "byte) reads 0xa3, expected 0x5c"},
        identity_case{"w83793g_vendor_wrong_select_clear",
                      "X7DBP",
                      {{0x2f, 0x00, 0x00}},
                      EX_UNAVAILABLE,
                      "the chip at 0x2f is not a Winbond W83793G: register 0x0d (vendor ID, low "
                      "byte) reads 0x5c, expected 0xa3"},
        identity_case{"w83793g_chip_id_wrong",
                      "X7DBP",
                      {{0x2f, 0x0e, 0x7a}},
                      EX_UNAVAILABLE,
                      "the chip at 0x2f is not a Winbond W83793G: register 0x0e (chip ID) reads "
                      "0x7a, expected 0x7b"},
        identity_case{"w83793g_address_7_bit",
                      "X7DBP",
                      {{0x2f, 0x0b, 0x2f}},
                      EX_UNAVAILABLE,
                      "the chip at 0x2f is not a Winbond W83793G: register 0x0b (I2C address) "
                      "reads 0x2f, expected 0x5e"},
        identity_case{"w83793g_bank_1",
                      "X7DBP",
                      {{0x2f, 0x00, 0x81}},
                      EX_UNAVAILABLE,
                      "the Winbond W83793G at 0x2f is on bank 1: register 0x00 (bank select) "
                      "reads 0x81, expected 0x80 (bank 0), and vantorel does not switch banks"},
        identity_case{"w83793g_bank_2_select_clear",
                      "X7DBP",
                      {{0x2f, 0x00, 0x02}, {0x2f, 0x0d, 0xa3}},
                      EX_UNAVAILABLE,
                      "the Winbond W83793G at 0x2f is on bank 2: register 0x00 (bank select) "
                      "reads 0x02, expected 0x00 (bank 0), and vantorel does not switch banks"},
        identity_case{"w83793g_bank_7",
                      "X7DBP",
                      {{0x2f, 0x00, 0x87}},
                      EX_UNAVAILABLE,
                      "the Winbond W83793G at 0x2f is on bank 7: register 0x00 (bank select) "
                      "reads 0x87, expected 0x80 (bank 0), and vantorel does not switch banks"},
        // The bits of the bank register above the bank bits but the select are not the bank.
        identity_case{"w83793g_bank_0_other_bits", "X7DBP", {{0x2f, 0x00, 0xb8}}, 0, ""},
        // W83792D: configuration 0x40, bank select 0x4e, vendor ID 0x4f, own address 0x48
        // (7-bit), chip ID 0x58.
        identity_case{"w83792d_right", "P8SC8", {}, 0, ""},
        identity_case{
            "w83792d_right_select_clear", "P8SC8", {{0x2f, 0x4e, 0x00}, {0x2f, 0x4f, 0xa3}}, 0, ""},
        identity_case{"w83792d_configuration_other_bits", "P8SC8", {{0x2f, 0x40, 0x7f}}, 0, ""},
        identity_case{"w83792d_configuration_bit_7",
                      "P8SC8",
                      {{0x2f, 0x40, 0x81}},
                      EX_UNAVAILABLE,
                      "the chip at 0x2f is not a Winbond W83792D that can be read: register 0x40 "
                      "(configuration) reads 0x81, expected 0x01 (bits 0x80 clear)"},
        identity_case{"w83792d_vendor_wrong_select_set",
                      "P8SC8",
                      {{0x2f, 0x4f, 0xa3}},
                      EX_UNAVAILABLE,
                      "the chip at 0x2f is not a Winbond W83792D: register 0x4f (vendor ID, high "
                      "byte) reads 0xa3, expected 0x5c"},
        identity_case{"w83792d_vendor_wrong_select_clear",
                      "P8SC8",
                      {{0x2f, 0x4e, 0x00}},
                      EX_UNAVAILABLE,
                      "the chip at 0x2f is not a Winbond W83792D: register 0x4f (vendor ID, low "
                      "byte) reads 0x5c, expected 0xa3"},
        identity_case{"w83792d_chip_id_wrong",
                      "P8SC8",
                      {{0x2f, 0x58, 0x7b}},
                      EX_UNAVAILABLE,
                      "the chip at 0x2f is not a Winbond W83792D: register 0x58 (chip ID) reads "
                      "0x7b, expected 0x7a"},
        identity_case{"w83792d_address_8_bit",
                      "P8SC8",
                      {{0x2f, 0x48, 0x5e}},
                      EX_UNAVAILABLE,
                      "the chip at 0x2f is not a Winbond W83792D: register 0x48 (I2C address) "
                      "reads 0x5e, expected 0x2f"},
        identity_case{"w83792d_bank_1",
                      "P8SC8",
                      {{0x2f, 0x4e, 0x81}},
                      EX_UNAVAILABLE,
                      "the Winbond W83792D at 0x2f is on bank 1: register 0x4e (bank select) "
                      "reads 0x81, expected 0x80 (bank 0), and vantorel does not switch banks"},
        // The X6DVA: its chip at 0x2f is a W83792D; the chip at 0x2c is never read here.
        identity_case{"x6dva_right", "X6DVA", {{0x2c, 0x4f, 0x00}}, 0, ""},
        identity_case{"x6dva_chip_id_wrong",
                      "X6DVA",
                      {{0x2f, 0x58, 0x00}},
                      EX_UNAVAILABLE,
                      "the chip at 0x2f is not a Winbond W83792D: register 0x58 (chip ID) reads "
                      "0x00, expected 0x7a"}),
    [](const auto &info) { return std::string(info.param.name); });

// A run of the readings alone, and a chip that its kernel driver holds (which checked it
// when it bound), make no identity read and refuse nothing, whatever the registers hold.
TEST(IdentityNotRead, ForTheReadingsAloneOrAChipItsDriverHolds) {
    const std::vector<reg_value> foreign = {{0x2f, 0x0e, 0x00}, {0x2f, 0x58, 0x00}};
    for (const char *product : {"X7DBP", "P8SC8", "X6DVA"}) {
        SCOPED_TRACE(product);
        sim_reset();
        EXPECT_EQ(check(product, foreign, chip_reading::readings),
                  std::make_pair(0, std::string()));
        EXPECT_EQ(sim_log_size(), 0u);

        sim_reset();
        sim_driver_holds(0x2f);
        std::string trace;
        trace = capture_traced(
            true, [&] { EXPECT_EQ(check(product, foreign), std::make_pair(0, std::string())); });
        EXPECT_EQ(sim_log_size(), 0u);
        EXPECT_NE(trace.find("at 0x2f: checked by the kernel's w8379"), std::string::npos) << trace;
    }
}

// A read that fails ends the check as any failed transaction does, with nothing judged.
TEST(IdentityRead, ThatFailsIsABusFailure) {
    sim_reset();
    sim_fail_reg(0x2f, 0x0d);
    auto [status, err] = check("X7DBP", {});
    EXPECT_EQ(status, EX_IOERR);
    EXPECT_EQ(err.rfind(program + "ioctl(SMB_READB) failed: ", 0), 0u) << err;
    EXPECT_EQ(sim_log_size(), 2u);
}

} // namespace
