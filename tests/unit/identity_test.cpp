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
#include <stdio.h>
#include <stdlib.h>
#include <sysexits.h>

#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using reg_value = std::tuple<int, int, int>; // 7-bit address, register, value

struct identity_case {
    std::string name;
    std::string product;
    std::vector<reg_value> regs; // over the simulated chip's right identity
    int status;
    std::string message; // on standard error, after the program's name, without the newline
};

void PrintTo(const identity_case &c, std::ostream *os) {
    *os << c.name;
}

// The images of tests/identity_images.conf, which the end-to-end harness reads too: a line
// "NAME PRODUCT judged|refused [ADDR:REG=VALUE]... [hidden=VALUE]", a refused image's message
// on the indented line after it. The hidden vendor half is the kernel's to see, not reads'.
std::vector<identity_case> identity_images() {
    std::ifstream in(VANTOREL_IDENTITY_IMAGES);
    std::vector<identity_case> cases;
    auto fail = [](const std::string &why) {
        fprintf(stderr, "%s: %s\n", VANTOREL_IDENTITY_IMAGES, why.c_str());
        abort();
    };
    if (!in)
        fail("cannot be read");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == ' ') {
            if (cases.empty() || cases.back().status == 0 || !cases.back().message.empty())
                fail("a message that follows no refused image: " + line);
            cases.back().message = line.substr(line.find_first_not_of(' '));
            continue;
        }
        std::istringstream words(line);
        identity_case c{};
        std::string verdict;
        if (!(words >> c.name >> c.product >> verdict) ||
            (verdict != "judged" && verdict != "refused"))
            fail("not an image: " + line);
        c.status = verdict == "judged" ? 0 : EX_UNAVAILABLE;
        for (std::string change; words >> change;) {
            unsigned addr, reg, value;
            if (change.rfind("hidden=", 0) == 0)
                continue;
            if (sscanf(change.c_str(), "%x:%x=%x", &addr, &reg, &value) != 3)
                fail("not ADDRESS:REGISTER=VALUE: " + change);
            c.regs.emplace_back(addr, reg, value);
        }
        cases.push_back(c);
    }
    if (cases.empty())
        fail("lists no image");
    for (const identity_case &c : cases) {
        if (c.status != 0 && c.message.empty())
            fail(c.name + " is refused without a message");
    }
    return cases;
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
    auto [status, err] = check(c.product.c_str(), c.regs);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(err, c.status == 0 ? "" : program + c.message + "\n");

    // Reads only, of the identity registers of the chip at 0x2f alone, each once.
    const chip_identity &id = c.product == "X7DBP" ? w83793g_identity : w83792d_identity;
    ASSERT_EQ(sim_log_size(), id.checks.size());
    for (size_t i = 0; i < sim_log_size(); i++) {
        EXPECT_FALSE(sim_log_entry(i).write);
        EXPECT_EQ(sim_log_entry(i).addr, 0x2f);
        EXPECT_EQ(sim_log_entry(i).reg, id.checks[i].reg);
    }
}

INSTANTIATE_TEST_SUITE_P(Images, Identity, ::testing::ValuesIn(identity_images()),
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
