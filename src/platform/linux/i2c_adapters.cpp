// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Linux: finding the SMBus adapter in sysfs, and naming the driver that holds a chip.
#include "platform/linux/i2c_adapters.h"
#include "platform/linux/sysfs.h"
#include "trace/trace.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// i2c-dev's character-device major number.
constexpr unsigned i2c_dev_major = 89;

// SMBus host adapters name themselves so; nothing else on the I2C bus does.
constexpr char smbus_prefix[] = "SMBus";

// The adapter number of a directory entry named i2c-N; -1 for anything else (clients are
// named N-00AA, and "." and ".." are there too).
int adapter_number(const char *entry) {
    if (strncmp(entry, "i2c-", 4) != 0 || entry[4] < '0' || entry[4] > '9')
        return -1;
    char *end;
    errno = 0;
    long n = strtol(entry + 4, &end, 10);
    if (*end != '\0' || errno != 0 || n > INT_MAX)
        return -1;
    return static_cast<int>(n);
}

// Files CANDIDATE among the stored ones by number, dropping the highest when they are full.
void file_candidate(adapter_search &s, const i2c_adapter &candidate) {
    int stored = s.stored();
    s.candidates++;
    int at = stored;
    while (at > 0 && s.candidate[static_cast<size_t>(at - 1)].number > candidate.number)
        at--;
    if (at == static_cast<int>(s.candidate.size()))
        return;
    int last = stored < static_cast<int>(s.candidate.size()) ? stored : stored - 1;
    for (int i = last; i > at; i--)
        s.candidate[static_cast<size_t>(i)] = s.candidate[static_cast<size_t>(i - 1)];
    s.candidate[static_cast<size_t>(at)] = candidate;
}

// The last component of a symbolic link's target, into NAME; false when PATH is no link.
bool link_basename(const char *path, char (&name)[i2c_name_size]) {
    char target[PATH_MAX];
    ssize_t n = readlink(path, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = '\0';
    const char *base = strrchr(target, '/');
    base = base == nullptr ? target : base + 1;
    if (*base == '\0' || strlen(base) >= sizeof name)
        return false;
    strcpy(name, base);
    return true;
}

} // namespace

adapter_search find_smbus_adapter(const char *sysfs_root, const char *dev_root,
                                  std::span<char> device) {
    adapter_search s;
    char path[PATH_MAX];
    if (!fits(snprintf(path, sizeof path, "%s/bus/i2c/devices", sysfs_root), sizeof path)) {
        s.outcome = adapter_search_outcome::unreadable;
        s.error = ENAMETOOLONG;
        return s;
    }
    DIR *dir = opendir(path);
    if (dir == nullptr) {
        // Without the I2C core loaded there is no I2C bus type at all: no adapter.
        if (errno != ENOENT) {
            s.outcome = adapter_search_outcome::unreadable;
            s.error = errno;
        }
        return s;
    }
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir);
        if (entry == nullptr) {
            if (errno != 0) {
                s.outcome = adapter_search_outcome::unreadable;
                s.error = errno;
                closedir(dir);
                return s;
            }
            break;
        }
        i2c_adapter adapter{};
        adapter.number = adapter_number(entry->d_name);
        if (adapter.number < 0)
            continue;
        s.adapters++;
        if (fits(snprintf(path, sizeof path, "%s/bus/i2c/devices/%s/name", sysfs_root,
                          entry->d_name),
                 sizeof path) &&
            read_attribute(path, adapter.name) == 0 &&
            strncmp(adapter.name, smbus_prefix, sizeof smbus_prefix - 1) == 0)
            file_candidate(s, adapter);
    }
    closedir(dir);

    if (s.candidates == 0) {
        s.outcome = adapter_search_outcome::none;
        return s;
    }
    if (s.candidates > 1) {
        s.outcome = adapter_search_outcome::several;
        return s;
    }
    if (!fits(snprintf(device.data(), device.size(), "%s/i2c-%d", dev_root, s.candidate[0].number),
              device.size())) {
        s.outcome = adapter_search_outcome::unreadable;
        s.error = ENAMETOOLONG;
        return s;
    }
    struct stat st;
    if (stat(device.data(), &st) == 0) {
        s.outcome = adapter_search_outcome::found;
        return s;
    }
    s.outcome = adapter_search_outcome::no_device_node;
    s.i2c_dev = fits(snprintf(path, sizeof path, "%s/class/i2c-dev/i2c-%d", sysfs_root,
                              s.candidate[0].number),
                     sizeof path) &&
                access(path, F_OK) == 0;
    return s;
}

bool default_smbus_device(const char *sysfs_root, const char *dev_root, std::span<char> device) {
    debug_print("find_smbus_adapter(sysfs = %s, dev = %s)\n", sysfs_root, dev_root);
    adapter_search s = find_smbus_adapter(sysfs_root, dev_root, device);
    debug_print("\tadapters: %d, SMBus: %d\n", s.adapters, s.candidates);
    for (int i = 0; i < s.stored(); i++)
        debug_print("\ti2c-%d: %s\n", s.candidate[static_cast<size_t>(i)].number,
                    s.candidate[static_cast<size_t>(i)].name);

    const i2c_adapter &first = s.candidate[0];
    switch (s.outcome) {
    case adapter_search_outcome::found:
        debug_print("find_smbus_adapter() returning %s\n", device.data());
        return true;
    case adapter_search_outcome::none:
        debug_print("find_smbus_adapter() returning no adapter\n");
        say_warnx("no SMBus adapter found in %s/bus/i2c/devices: load the chipset's SMBus driver "
                  "(modprobe i2c-i801 on the supported Intel boards), or name the device with -f",
                  sysfs_root);
        return false;
    case adapter_search_outcome::several:
        debug_print("find_smbus_adapter() returning %d adapters\n", s.candidates);
        say_warnx("%d SMBus adapters found; name the one to read with -f:", s.candidates);
        for (int i = 0; i < s.stored(); i++)
            say_warnx("%s/i2c-%d: %s", dev_root, s.candidate[static_cast<size_t>(i)].number,
                      s.candidate[static_cast<size_t>(i)].name);
        if (s.candidates > s.stored())
            say_warnx("and %d more", s.candidates - s.stored());
        return false;
    case adapter_search_outcome::no_device_node:
        debug_print("find_smbus_adapter() returning no device node\n");
        if (s.i2c_dev)
            say_warnx("SMBus adapter i2c-%d (%s) has no device node %s: create it with "
                      "mknod %s c %u %d",
                      first.number, first.name, device.data(), device.data(), i2c_dev_major,
                      first.number);
        else
            say_warnx("SMBus adapter i2c-%d (%s) has no device node %s: i2c-dev is not loaded "
                      "(modprobe i2c-dev)",
                      first.number, first.name, device.data());
        return false;
    case adapter_search_outcome::unreadable:
        debug_print("find_smbus_adapter() returning error\n");
        errno = s.error;
        say_warn("cannot list the I2C adapters in %s/bus/i2c/devices", sysfs_root);
        return false;
    }
    return false;
}

bool find_chip_holder(const char *sysfs_root, int adapter, int address, chip_holder &holder) {
    holder = chip_holder{};
    char path[PATH_MAX];
    if (!fits(snprintf(path, sizeof path, "%s/bus/i2c/devices/%d-%04x/driver", sysfs_root, adapter,
                       address),
              sizeof path) ||
        !link_basename(path, holder.driver))
        return false;
    if (!fits(
            snprintf(path, sizeof path, "%s/bus/i2c/drivers/%s/module", sysfs_root, holder.driver),
            sizeof path) ||
        !link_basename(path, holder.module))
        holder.module[0] = '\0';
    return true;
}

int i2c_adapter_of(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || major(st.st_rdev) != i2c_dev_major)
        return -1;
    return static_cast<int>(minor(st.st_rdev));
}

void explain_busy_chip(const char *sysfs_root, int adapter, int address) {
    chip_holder holder;
    if (!find_chip_holder(sysfs_root, adapter, address, holder)) {
        say_warnx("a kernel driver holds the chip at 0x%02x on i2c-%d", address, adapter);
        return;
    }
    say_warnx("the kernel's %s driver holds the chip at 0x%02x on i2c-%d", holder.driver, address,
              adapter);
    if (holder.module[0] != '\0')
        say_warnx("release it: echo %d-%04x > %s/bus/i2c/drivers/%s/unbind, or modprobe -r %s",
                  adapter, address, sysfs_root, holder.driver, holder.module);
    else
        say_warnx("release it: echo %d-%04x > %s/bus/i2c/drivers/%s/unbind", adapter, address,
                  sysfs_root, holder.driver);
}
