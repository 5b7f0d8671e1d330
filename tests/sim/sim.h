// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The simulated platform, linked only into test builds: the user id, the two board strings
// and the chips on the bus come from the test, and failures can be injected. The bus records
// every transaction so a test can check exactly what was asked of it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include "platform/platform.h"

struct sim_txn {
    bool write;
    int addr;      // 7-bit address
    uint8_t reg;   // command code
    uint8_t value; // byte written, or byte returned by a read
    bool failed;
    uid_t euid; // effective user id of the process when the request was made
};

// Back to an empty world: euid 0, no board strings, no chips, no failures, empty log.
void sim_reset();
void sim_set_euid(uid_t euid);
// The real user id (and group id, the same number); until set it follows the effective one,
// so a world with only an euid is a run by that user without a setuid installation.
void sim_set_uid(uid_t uid);
// platform_drop_privileges fails at STEP (with EPERM), leaving the ids as they are.
void sim_fail_drop(privilege_drop step);
// The device's hold (device_hold) cannot be had: every device open fails with EPERM.
void sim_fail_hold();
// Every bus transaction takes MS milliseconds, so that a run stays inside its hold on the
// device for as long as a test needs.
void sim_slow_bus(unsigned ms);
// A null value makes the string absent (its read fails).
void sim_set_board_string(board_string which, const char *value);
// Puts a chip at a 7-bit address (a register set on an address puts one there too). Its
// registers start at zero but for the identity registers of a right W83793G and a right
// W83792D at that address (see sim.cpp): a chip that a judging run accepts.
void sim_add_chip(int addr);
void sim_set_reg(int addr, uint8_t reg, uint8_t value);
// The chip at ADDR is held by its kernel driver, which checked its identity: the platform says
// so (platform_chip_checked), and its reads still come from its registers.
void sim_driver_holds(int addr);
// The Nth transaction (counted from 1) fails with errno ERR.
void sim_fail_at(size_t nth, int err);
// Every transaction on this register of this chip fails with EIO.
void sim_fail_reg(int addr, uint8_t reg);

size_t sim_log_size();
const sim_txn &sim_log_entry(size_t i);

// Device opens stop touching files: every open fails with ERR, or, for ERR 0, opens /dev/null
// in place of the path named. For a harness that runs the sequence over arbitrary paths.
void sim_detach_opens(int err);
// The path of the last device open and whether it was the real user's open
// (platform_open_user_locked); nullptr when there was none since sim_reset.
const char *sim_last_open(bool *as_user);

// Reads a fixture file (one directive per line):
//   euid N | uid N | maker TEXT | product TEXT | chip ADDR | reg ADDR REG VALUE | fail N |
//   failreg ADDR REG | faildrop group|user|regain | failhold | slow MS
// TEXT is the rest of the line after one blank, kept verbatim. Returns false on a bad file.
bool sim_load_fixture(const char *path);
