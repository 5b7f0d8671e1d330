// The simulated platform, linked only into test builds: the user id, the two board strings
// and the chips on the bus come from the test, and failures can be injected. The bus records
// every transaction so a test can check exactly what was asked of it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

struct sim_txn {
    bool write;
    int slave8;    // address as carried in the request (8-bit form)
    int addr;      // 7-bit address
    uint8_t reg;   // command code
    uint8_t value; // byte written, or byte returned by a read
    bool failed;
};

// Back to an empty world: euid 0, no board strings, no chips, no failures, empty log.
void sim_reset();
void sim_set_euid(uid_t euid);
// A null value makes the variable absent (its read fails).
void sim_set_kenv(const char *name, const char *value);
// Puts a chip at a 7-bit address; its 256 registers start at zero.
void sim_add_chip(int addr);
void sim_set_reg(int addr, uint8_t reg, uint8_t value);
// The Nth transaction (counted from 1) fails with errno ERR.
void sim_fail_at(size_t nth, int err);
// Every transaction on this register of this chip fails with EIO.
void sim_fail_reg(int addr, uint8_t reg);

size_t sim_log_size();
const sim_txn &sim_log_entry(size_t i);

// Reads a fixture file (one directive per line):
//   euid N | maker TEXT | product TEXT | chip ADDR | reg ADDR REG VALUE | fail N | failreg ADDR REG
// TEXT is the rest of the line after one blank, kept verbatim. Returns false on a bad file.
bool sim_load_fixture(const char *path);
