// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Finding the SMBus adapter and the driver that holds a chip, over small sysfs and /dev trees
// laid out in a temporary directory the way the kernel lays out its own.
#include "capture.h"
#include "platform/linux/i2c_adapters.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A root holding sys/ and dev/, removed again after the test.
class Tree : public ::testing::Test {
  protected:
    fs::path root;
    std::string sys, dev;

    void SetUp() override {
        char tmpl[] = "/tmp/vantorel-sysfs-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        sys = (root / "sys").string();
        dev = (root / "dev").string();
        fs::create_directories(root / "dev");
    }
    void TearDown() override {
        fs::remove_all(root);
    }

    // bus/i2c/devices/i2c-N with its name; with NODE, dev/i2c-N (a plain file will do: only
    // its existence is looked at).
    void adapter(int n, const std::string &name, bool node = true) {
        fs::path dir = fs::path(sys) / "bus/i2c/devices" / ("i2c-" + std::to_string(n));
        fs::create_directories(dir);
        std::ofstream(dir / "name") << name << "\n";
        if (node)
            std::ofstream(fs::path(dev) / ("i2c-" + std::to_string(n))) << "";
    }
    // Any other entry of bus/i2c/devices: a client N-00AA, or something odd.
    void entry(const std::string &name) {
        fs::create_directories(fs::path(sys) / "bus/i2c/devices" / name);
    }
    // i2c-dev's own class entry for adapter N: i2c-dev is loaded and knows it.
    void i2c_dev_class(int n) {
        fs::create_directories(fs::path(sys) / "class/i2c-dev" / ("i2c-" + std::to_string(n)));
    }
    // The client CLIENT (N-00AA) bound to DRIVER, which comes from MODULE ("" built in).
    void bound(const std::string &client, const std::string &driver, const std::string &module) {
        fs::path dir = fs::path(sys) / "bus/i2c/devices" / client;
        fs::create_directories(dir);
        fs::create_symlink("../../../../bus/i2c/drivers/" + driver, dir / "driver");
        fs::path drv = fs::path(sys) / "bus/i2c/drivers" / driver;
        fs::create_directories(drv);
        if (!module.empty())
            fs::create_symlink("../../../../module/" + module, drv / "module");
    }

    adapter_search search(std::string *device = nullptr) {
        std::array<char, 1024> path{};
        adapter_search s = find_smbus_adapter(sys.c_str(), dev.c_str(), path);
        if (device != nullptr)
            *device = path.data();
        return s;
    }
    std::vector<std::pair<int, std::string>> stored(const adapter_search &s) {
        std::vector<std::pair<int, std::string>> out;
        for (int i = 0; i < s.stored(); i++)
            out.emplace_back(s.candidate[static_cast<size_t>(i)].number,
                             s.candidate[static_cast<size_t>(i)].name);
        return out;
    }
};

using candidates = std::vector<std::pair<int, std::string>>;

TEST_F(Tree, PicksTheOneAdapterNamedSMBusWhateverItsNumber) {
    adapter(0, "i915 gmbus dpc");
    adapter(1, "AUX B/DDI B/PHY B");
    adapter(3, "SMBus I801 adapter at f000");
    entry("3-002f"); // a client on it
    entry("i2c-");   // not an adapter: no number
    entry("i2c-1x");
    std::string device;
    adapter_search s = search(&device);
    EXPECT_EQ(s.outcome, adapter_search_outcome::found);
    EXPECT_EQ(device, dev + "/i2c-3");
    EXPECT_EQ(s.adapters, 3);
    EXPECT_EQ(stored(s), (candidates{{3, "SMBus I801 adapter at f000"}}));
}

TEST_F(Tree, FindsNoAdapterWithoutTheI2CCoreOrWithoutAnSMBusHost) {
    EXPECT_EQ(search().outcome, adapter_search_outcome::none); // no bus/i2c at all

    adapter(0, "i915 gmbus dpc");
    adapter(1, "I2C adapter for SMBus devices"); // "SMBus" only at the start counts
    adapter(2, "smbus lowercase");
    adapter_search s = search();
    EXPECT_EQ(s.outcome, adapter_search_outcome::none);
    EXPECT_EQ(s.adapters, 3);
    EXPECT_EQ(s.candidates, 0);
}

TEST_F(Tree, RefusesToChooseAmongSeveralAndListsThemByNumber) {
    adapter(10, "SMBus PIIX4 adapter at 0700");
    adapter(2, "SMBus stub driver");
    adapter(5, "i915 gmbus dpc");
    adapter_search s = search();
    EXPECT_EQ(s.outcome, adapter_search_outcome::several);
    EXPECT_EQ(stored(s),
              (candidates{{2, "SMBus stub driver"}, {10, "SMBus PIIX4 adapter at 0700"}}));
}

TEST_F(Tree, KeepsTheLowestNumbersWhenThereAreMoreThanItHolds) {
    for (int n : {11, 3, 9, 0, 7, 5, 1, 10, 2, 8, 4})
        adapter(n, "SMBus adapter " + std::to_string(n));
    adapter_search s = search();
    EXPECT_EQ(s.outcome, adapter_search_outcome::several);
    EXPECT_EQ(s.candidates, 11);
    std::vector<int> numbers;
    for (auto &[n, name] : stored(s))
        numbers.push_back(n);
    EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2, 3, 4, 5, 7, 8}));
}

TEST_F(Tree, TellsAMissingNodeFromAMissingI2CDev) {
    adapter(0, "SMBus stub driver", false);
    std::string device;
    adapter_search s = search(&device);
    EXPECT_EQ(s.outcome, adapter_search_outcome::no_device_node);
    EXPECT_EQ(device, dev + "/i2c-0");
    EXPECT_FALSE(s.i2c_dev);

    i2c_dev_class(0);
    s = search();
    EXPECT_EQ(s.outcome, adapter_search_outcome::no_device_node);
    EXPECT_TRUE(s.i2c_dev);
}

TEST_F(Tree, AnUnlistableDirectoryIsAnErrorNotAnEmptyBus) {
    fs::create_directories(fs::path(sys) / "bus/i2c");
    std::ofstream(fs::path(sys) / "bus/i2c/devices") << "";
    adapter_search s = search();
    EXPECT_EQ(s.outcome, adapter_search_outcome::unreadable);
    EXPECT_EQ(s.error, ENOTDIR);
}

TEST_F(Tree, ANodePathThatDoesNotFitIsRefusedNotCut) {
    adapter(12, "SMBus stub driver");
    std::array<char, 8> small{}; // "<dev>/i2c-12" does not fit
    adapter_search s = find_smbus_adapter(sys.c_str(), dev.c_str(), small);
    EXPECT_EQ(s.outcome, adapter_search_outcome::unreadable);
    EXPECT_EQ(s.error, ENAMETOOLONG);
}

// What the program says: standard error, and the trace on standard output.
struct told {
    bool ok;
    std::string err, trace;
};

class Told : public Tree {
  protected:
    told tell(bool verbose) {
        told t{};
        std::array<char, 1024> path{};
        t.err = capture_stderr([&] {
            t.trace = capture_traced(
                verbose, [&] { t.ok = default_smbus_device(sys.c_str(), dev.c_str(), path); });
        });
        return t;
    }
};

TEST_F(Told, TheChoiceOnlyOnTheTrace) {
    adapter(0, "i915 gmbus dpc");
    adapter(1, "SMBus stub driver");
    told quiet = tell(false);
    EXPECT_TRUE(quiet.ok);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.trace, "");

    told t = tell(true);
    EXPECT_TRUE(t.ok);
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.trace, "==> find_smbus_adapter(sysfs = " + sys + ", dev = " + dev +
                           ")\n"
                           "==> \tadapters: 2, SMBus: 1\n"
                           "==> \ti2c-1: SMBus stub driver\n"
                           "==> find_smbus_adapter() returning " +
                           dev + "/i2c-1\n");
}

TEST_F(Told, EachFailureExplainedOnStandardError) {
    const std::string p = std::string(program_invocation_short_name) + ": ";
    struct {
        const char *name;
        std::function<void()> layout;
        std::string err;
    } cases[] = {
        {"none", [&] { adapter(0, "i915 gmbus dpc"); },
         p + "no SMBus adapter found in " + sys +
             "/bus/i2c/devices: load the chipset's SMBus driver (modprobe i2c-i801 on the "
             "supported Intel boards), or name the device with -f\n"},
        {"several",
         [&] {
             adapter(1, "SMBus PIIX4 adapter at 0700");
             adapter(0, "SMBus stub driver");
         },
         p + "2 SMBus adapters found; name the one to read with -f:\n" + p + dev +
             "/i2c-0: SMBus stub driver\n" + p + dev + "/i2c-1: SMBus PIIX4 adapter at 0700\n"},
        {"more than are listed",
         [&] {
             for (int n = 0; n < 10; n++)
                 adapter(n, "SMBus " + std::to_string(n));
         },
         ""},
        {"no i2c-dev", [&] { adapter(0, "SMBus stub driver", false); },
         p + "SMBus adapter i2c-0 (SMBus stub driver) has no device node " + dev +
             "/i2c-0: i2c-dev is not loaded (modprobe i2c-dev)\n"},
        {"no node",
         [&] {
             adapter(2, "SMBus I801 adapter at f000", false);
             i2c_dev_class(2);
         },
         p + "SMBus adapter i2c-2 (SMBus I801 adapter at f000) has no device node " + dev +
             "/i2c-2: create it with mknod " + dev + "/i2c-2 c 89 2\n"},
        {"unlistable",
         [&] {
             fs::create_directories(fs::path(sys) / "bus/i2c");
             std::ofstream(fs::path(sys) / "bus/i2c/devices") << "";
         },
         p + "cannot list the I2C adapters in " + sys + "/bus/i2c/devices: Not a directory\n"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(sys);
        fs::remove_all(dev);
        fs::create_directories(dev);
        c.layout();
        told t = tell(false);
        EXPECT_FALSE(t.ok);
        EXPECT_EQ(t.trace, "");
        if (c.err.empty()) // the count, the first eight, and how many more
            EXPECT_TRUE(t.err.starts_with(p + "10 SMBus adapters found;") &&
                        t.err.ends_with(p + dev + "/i2c-7: SMBus 7\n" + p + "and 2 more\n"))
                << t.err;
        else
            EXPECT_EQ(t.err, c.err);
    }
}

TEST_F(Tree, NamesTheDriverBoundToAClientAndItsModule) {
    bound("0-002f", "w83793", "w83793");
    bound("1-004c", "lm75", ""); // built into the kernel: no module link
    entry("0-002c");             // a client no driver has bound
    struct {
        int adapter, address;
        bool found;
        const char *driver, *module;
    } cases[] = {
        {0, 0x2f, true, "w83793", "w83793"},
        {1, 0x4c, true, "lm75", ""},
        {0, 0x2c, false, "", ""},
        {1, 0x2f, false, "", ""}, // no such client
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.address);
        chip_holder h;
        EXPECT_EQ(find_chip_holder(sys.c_str(), c.adapter, c.address, h), c.found);
        EXPECT_STREQ(h.driver, c.driver);
        EXPECT_STREQ(h.module, c.module);
    }
}

TEST_F(Tree, ABusyChipNamesItsDriverAndHowToReleaseIt) {
    const std::string p = std::string(program_invocation_short_name) + ": ";
    bound("0-002f", "w83793", "w83793");
    bound("3-002c", "w83792d", "");
    EXPECT_EQ(capture_stderr([&] { explain_busy_chip(sys.c_str(), 0, 0x2f); }),
              p + "the kernel's w83793 driver holds the chip at 0x2f on i2c-0\n" + p +
                  "release it: echo 0-002f > " + sys +
                  "/bus/i2c/drivers/w83793/unbind, or modprobe -r w83793\n");
    EXPECT_EQ(capture_stderr([&] { explain_busy_chip(sys.c_str(), 3, 0x2c); }),
              p + "the kernel's w83792d driver holds the chip at 0x2c on i2c-3\n" + p +
                  "release it: echo 3-002c > " + sys + "/bus/i2c/drivers/w83792d/unbind\n");
    EXPECT_EQ(capture_stderr([&] { explain_busy_chip(sys.c_str(), 1, 0x2f); }),
              p + "a kernel driver holds the chip at 0x2f on i2c-1\n");
}

TEST_F(Tree, TheAdapterOfADescriptorIsTheMinorOfAnI2CDevNode) {
    std::string file = dev + "/regular";
    std::ofstream(file) << "";
    for (const char *path : {file.c_str(), "/dev/null"}) {
        int fd = open(path, O_RDONLY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(i2c_adapter_of(fd), -1) << path;
        close(fd);
    }
    std::string node = dev + "/i2c-5";
    if (mknod(node.c_str(), S_IFCHR | 0600, makedev(89, 5)) != 0)
        GTEST_SKIP() << "cannot make a device node here";
    int fd = open(node.c_str(), O_PATH);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(i2c_adapter_of(fd), 5);
    close(fd);
}

} // namespace
