// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Linux: which I2C adapter is the board's SMBus, and who holds a chip on it. The kernel lists
// its adapters in sysfs (bus/i2c/devices/i2c-N, each with a name attribute) and i2c-dev gives
// adapter N the character device i2c-N (major 89, minor N). The chipset's SMBus host drivers
// name their adapters "SMBus ..." (i801, PIIX4, nForce2, ..., and i2c-stub); graphics, DDC
// and other buses do not.
//
// Every function here takes the sysfs root and the device root ("/sys" and "/dev" in the
// program) so that tests can lay out a tree of their own.
#pragma once

#include <array>
#include <span>

// Room for an adapter's or a driver's name; the kernel's own limits are smaller (48 and the
// length of a module name).
constexpr int i2c_name_size = 64;

struct i2c_adapter {
    int number; // N of i2c-N
    char name[i2c_name_size];
};

enum class adapter_search_outcome {
    found,          // one SMBus adapter, and its device node exists
    none,           // no SMBus adapter (or no I2C core at all)
    several,        // more than one SMBus adapter: nobody said which bus to probe
    no_device_node, // one SMBus adapter, but no /dev/i2c-N for it
    unreadable,     // the adapter listing itself failed
};

struct adapter_search {
    adapter_search_outcome outcome = adapter_search_outcome::none;
    int error = 0;        // unreadable: the errno of the failed listing
    int adapters = 0;     // adapters listed, SMBus or not
    int candidates = 0;   // SMBus adapters among them
    bool i2c_dev = false; // no_device_node: i2c-dev does know the adapter (the node is missing)
    // The SMBus adapters, lowest number first; only the first `stored()` of them when there
    // are more than the array holds.
    std::array<i2c_adapter, 8> candidate{};

    int stored() const {
        return candidates < static_cast<int>(candidate.size()) ? candidates
                                                               : static_cast<int>(candidate.size());
    }
};

// Lists the adapters under SYSFS_ROOT/bus/i2c/devices and picks the SMBus one. For found and
// no_device_node, DEVICE receives its node, DEV_ROOT/i2c-N (a node path that does not fit
// makes the outcome unreadable, ENAMETOOLONG).
adapter_search find_smbus_adapter(const char *sysfs_root, const char *dev_root,
                                  std::span<char> device);

// find_smbus_adapter, told as the program tells it: the adapters and the choice on the -v
// trace, and any outcome but found explained on standard error. True when DEVICE holds the
// one SMBus adapter's node.
bool default_smbus_device(const char *sysfs_root, const char *dev_root, std::span<char> device);

// The kernel driver bound to the client at 7-bit ADDRESS on adapter ADAPTER (the driver link
// of bus/i2c/devices/N-00AA), and the module it comes from (empty when it is built in).
struct chip_holder {
    char driver[i2c_name_size];
    char module[i2c_name_size];
};

// False when no driver is bound there (or sysfs does not say).
bool find_chip_holder(const char *sysfs_root, int adapter, int address, chip_holder &holder);

// The adapter number of an open i2c-dev descriptor (its minor number), or -1 when FD is no
// i2c-dev character device.
int i2c_adapter_of(int fd);

// Says on standard error which driver holds the chip at ADDRESS on ADAPTER and how to let it
// go: i2c-dev refuses (EBUSY) to address a chip that a kernel driver has claimed.
void explain_busy_chip(const char *sysfs_root, int adapter, int address);
