// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The few operating-system services the program needs, in the program's own terms. The build
// chooses one implementation: FreeBSD (kenv, smb(4), O_EXLOCK), Linux (sysfs DMI strings,
// i2c-dev, flock) or, for tests only, a simulation. Nothing above this layer knows which.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include <span>

#include "registers/chip_layout.h"

// The two SMBIOS baseboard strings that identify a board.
enum class board_string { maker, product };

// Copies the board string WHICH into VALUE (LEN bytes) as kenv(2) hands out a value: at
// most LEN bytes, terminated only if the terminator fits. -1 with errno set on failure.
int platform_board_string(board_string which, char *value, int len);

// From now on, a write into a pipe whose reader has gone fails with EPIPE instead of ending
// the process with SIGPIPE.
void platform_ignore_sigpipe();

// Effective user id of the process.
uid_t platform_geteuid();

// Real user id of the process: the user who ran it, not root, in a setuid-root run.
uid_t platform_getuid();

// Room for a device path, its terminator included.
constexpr size_t device_path_size = 1024;

// The bus device to open when the user names none, into PATH: /dev/smb0 on FreeBSD; on Linux
// the node of the one SMBus adapter the kernel has, found in sysfs (the -v trace shows the
// search). False when there is no such device to take, after saying why on standard error.
bool platform_default_device(std::span<char, device_path_size> path);

// What the -f line of the usage text says about the device and its default.
const char *platform_device_help();

// An open bus device: its descriptor, and what the platform must remember about it while it
// is open (Linux: the chip that I2C_SLAVE selected, the chips that a kernel driver holds; the
// other platforms keep nothing, STATE null). Made by the two opens, released whole by
// platform_close; nothing of it outlives the device.
struct platform_state;

// What a run changes in its own process from the moment it asks for the device's lock until
// the device is closed, so that nobody but root can stop or hold the process that holds the
// bus. The terminal's stop signals (SIGTSTP, SIGTTIN, SIGTTOU) are ignored: job control would
// otherwise stop it whatever its ids. In a setuid-root run the real and saved user ids are
// root and only the effective ids (user and group) the real user's (an open that takes the
// lock itself keeps root's effective ids until it returns, never into a bus request):
// kill(2) lets a sender signal a process whose real or saved user id is the sender's real or
// effective one, so the user can no longer send SIGSTOP (which no process can ignore) or
// anything else, while everything the run does with the bus and with files is done with the
// user's rights.
struct device_hold {
    // A setuid-root run whose ids are held: its real user, and the effective group it had.
    bool ids_held = false;
    uid_t user = 0;
    gid_t group_before = 0;
    // The actions of the stop signals before they were ignored, to be put back.
    bool stops_ignored = false;
    void (*stop_actions[3])(int) = {};
};

struct bus_handle {
    int fd = -1;
    platform_state *state = nullptr;
    device_hold hold{};
};

// How long an open waits for the device's lock while another process holds it: for as long
// as that takes, or SECONDS at most (0: only as long as one attempt takes).
struct lock_wait {
    bool bounded = false;
    unsigned seconds = 0;
};

// Who took the lock of a device that an open gave up on, as far as the platform can tell: the
// process id of the process that took it, or 0; and its command name, or "" (Linux only, and
// only where the real user could see it with ps(1)), printable characters only.
struct lock_holder {
    pid_t pid = 0;
    char command[32] = "";
};

// Opens the bus device read-write and takes an exclusive lock on it, waiting as WAIT says
// while another process holds one. The handle's hold (device_hold) begins before the lock is
// asked for and lasts until platform_close. Returns the handle, or one whose fd is -1 with
// errno set and no hold: EWOULDBLOCK when the lock was still held at the end of a bounded
// wait, BUSY then saying who held it, found with the real user's rights.
bus_handle platform_open_locked(const char *path, lock_wait wait, lock_holder &busy);

// Opens a device that the user named, in a setuid-root run: read-write with the real user's
// own rights (the open fails as it would for them, EACCES for a device they may not use),
// never through a symbolic link in the last component (ELOOP), and only a character device
// (ENODEV). Then takes the exclusive lock as platform_open_locked does. Returns the handle,
// or one whose fd is -1 with errno set; a refused path is neither kept open nor locked.
bus_handle platform_open_user_locked(const char *path, lock_wait wait, lock_holder &busy);

// Outcome of platform_drop_privileges: done, or the step that failed.
enum class privilege_drop { done, group_failed, user_failed, not_for_good };

// Gives up root for good in a setuid-root run: the real group id becomes the effective and
// saved one, then the real user id likewise, and root must then be out of reach (an attempt
// to regain it fails). errno is set for a failed step.
privilege_drop platform_drop_privileges();

// Closes the device, which releases the lock, frees what the platform kept for it and ends
// the handle's hold: the stop signals' actions and the ids are again those from before the
// open (in a setuid-root run, root's effective ids, which the run then gives up for good).
// BUS is then closed (fd -1); closing a closed handle does nothing.
void platform_close(bus_handle &bus);

// The outcome of one bus transaction: error 0 and, for a read, the data byte; or the errno
// value that explains the failure. A failure the platform has REPORTED, in its own terms on
// standard error (a kernel driver's attribute that could not be read), needs no message of
// the caller's.
struct bus_result {
    int error;
    uint8_t value;
    bool reported = false;
};

// Tells the platform the layout of the chip at the 7-bit address ADDR on the open device,
// before the chip's first transaction, and WHAT the run reads of it; LAYOUT must outlive the
// device. Linux reads a chip that the kernel's driver named in LAYOUT holds through that
// driver's attributes, those of the limits and status bits too WITH_LIMITS; the other
// platforms need nothing of it. No transaction, no trace. False when the platform could not
// keep the layout, after saying why on standard error: the chip cannot be read.
bool platform_describe_chip(bus_handle &bus, uint8_t addr, const chip_layout &layout,
                            chip_reading what);

// Whether the chip at ADDR, described on the open device (platform_describe_chip), is read
// through the kernel's driver that its layout names: that driver checked the chip's identity
// before it bound to it. Linux finds out here, as the chip's first read would; the other
// platforms read every chip over the bus. No transaction, no trace.
bool platform_chip_checked(bus_handle &bus, uint8_t addr);

// One SMBus read-byte-data transaction on the open device: register REG of the chip at the
// 7-bit address ADDR.
bus_result platform_read_byte(bus_handle &bus, uint8_t addr, uint8_t reg);

// One SMBus write-byte-data transaction: VALUE into register REG of the chip at ADDR.
bus_result platform_write_byte(bus_handle &bus, uint8_t addr, uint8_t reg, uint8_t value);
