// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Fuzz target: option parsing and the run sequence, in-process over the simulated platform.
//
// The input supplies the bus transaction that fails (or none), the effective and real user
// ids, the outcome of the device open (it opens /dev/null in place of the path named, or
// fails with one of the errors an open gives), a failed step of the privilege drop, the two
// board strings (any bytes, any length, or absent) and the argument vector. The bus has a
// chip at both of the boards' addresses, so only the failure point fails a transaction.
//
// Checked for every input: the status is one the sequence can return; a run that is not root
// opens nothing; a setuid-root run (real user not root) opens a path other than the default
// device only with the real user's open, and a root run never uses that open; a failed drop
// of root (once the device is closed) ends the run with EX_OSERR, unless a transaction failed
// first; a failed transaction is the run's last and ends it with
// EX_IOERR, and only a failed one does; nothing is left open (leaks are LeakSanitizer's
// part). -o is left out: it writes files.
#include "main/run_sequence.h"
#include "trace/trace.h"
#include "scratch.h"
#include "sim/sim.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sysexits.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

uid_t pick_id(FuzzedDataProvider &in) {
    // Root or one of a few users; the sequence only ever asks "root or not".
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        return 0;
    case 1:
        return 1000;
    case 2:
        return 65534;
    default:
        return in.ConsumeIntegral<uid_t>();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    // The last byte of the input: the transaction, counted from 1, that fails; 0 for none.
    const size_t fail_at = in.ConsumeIntegralInRange<size_t>(0, 63);
    uid_t euid = pick_id(in);
    uid_t uid = pick_id(in);
    const int open_errors[] = {0, ENOENT, EACCES, ELOOP, ENODEV, ENAMETOOLONG, EBUSY};
    int open_err = in.PickValueInArray(open_errors);
    const privilege_drop drops[] = {privilege_drop::done, privilege_drop::group_failed,
                                    privilege_drop::user_failed, privilege_drop::not_for_good};
    privilege_drop drop = in.PickValueInArray(drops);

    sim_reset();
    sim_set_euid(euid);
    sim_set_uid(uid);
    sim_fail_drop(drop);
    sim_detach_opens(open_err);
    sim_add_chip(0x2c);
    sim_add_chip(0x2f);
    if (fail_at != 0)
        sim_fail_at(fail_at, EIO);
    if (in.ConsumeBool())
        sim_set_board_string(board_string::maker, in.ConsumeRandomLengthString(300).c_str());
    if (in.ConsumeBool())
        sim_set_board_string(board_string::product, in.ConsumeRandomLengthString(300).c_str());

    std::vector<std::string> words = {"vantorel"};
    while (in.remaining_bytes() > 0 && words.size() < 16)
        words.push_back(in.ConsumeRandomLengthString(1100));
    // -o would have the run create and replace files at fuzzed paths; the command-line suite
    // covers it. An input with an option word that could hold it is not run.
    for (const std::string &w : words)
        if (w.starts_with('-') && w.find('o') != std::string::npos)
            return -1;
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    int free_fd = lowest_free_fd();
    optind = 0; // a fresh getopt(3) scan for every run
    int status = run_program(static_cast<int>(words.size()), argv.data());

    // A -N run answers as a monitoring plugin does: 1 WARNING, 2 CRITICAL, and every failure
    // 3, UNKNOWN; no other run ends with those statuses.
    switch (status) {
    case 0:
    case 1:
    case 2:
    case 3:
    case EX_USAGE:
    case EX_DATAERR:
    case EX_NOINPUT:
    case EX_OSERR:
    case EX_NOPERM:
    case EX_IOERR:
    case EX_UNAVAILABLE:
        break;
    default:
        __builtin_trap();
    }
    for (size_t i = 0; i < sim_log_size(); i++)
        if (sim_log_entry(i).failed != (i + 1 == fail_at))
            __builtin_trap();
    // Whether the run failed with STATUS, or, under -N, as UNKNOWN.
    auto failed_with = [status](int expected) { return status == expected || status == 3; };
    const bool bus_failed = fail_at != 0 && sim_log_size() == fail_at;
    if (bus_failed ? !failed_with(EX_IOERR) : status == EX_IOERR)
        __builtin_trap();
    if (lowest_free_fd() != free_fd)
        __builtin_trap();

    bool as_user = false;
    const char *opened = sim_last_open(&as_user);
    if (opened != nullptr) {
        if (euid != 0)
            __builtin_trap();
        if (uid == 0 && as_user)
            __builtin_trap();
        if (uid != 0 && !as_user && strcmp(opened, "/dev/smb0") != 0)
            __builtin_trap();
        if (strlen(opened) > 1023)
            __builtin_trap();
        if (open_err != 0 && !failed_with(EX_NOINPUT))
            __builtin_trap();
        // Root goes for good once the device is closed: a drop that fails there ends the run
        // with EX_OSERR, unless a transaction failed before it, whose EX_IOERR stands.
        if (open_err == 0 && uid != 0 && drop != privilege_drop::done &&
            !failed_with(bus_failed ? EX_IOERR : EX_OSERR))
            __builtin_trap();
    }
    // Only -S, which never opens the bus, may get further than its options without root: it
    // then ends as a reading does on the board strings (65, 71).
    bool sensors_config = false;
    for (const std::string &w : words)
        sensors_config |=
            w.starts_with('-') && !w.starts_with("--") && w.find('S') != std::string::npos;
    if (euid != 0 && status != 0 && !failed_with(EX_USAGE) && status != EX_NOPERM &&
        !sensors_config)
        __builtin_trap();
    return 0;
}
