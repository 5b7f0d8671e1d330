// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The Linux platform over a fake i2c-dev and a sysfs tree of the test's own. ioctl plays
// i2c-dev for the bus descriptor: I2C_SLAVE sets the chip the descriptor addresses (a chip
// that a kernel driver holds refuses, EBUSY, and the address stays), I2C_SMBUS transfers a
// byte with that chip. fstat makes the descriptor an i2c-dev node of the adapter the test
// names. open, opendir, readlink and access see the test's tree where the program asks for
// /sys, so that messages and paths read as on a real system.
#include "capture.h"
#include "platform/platform.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What i2c-dev and the kernel hold, and what the program asked of them.
struct kernel_fake {
    int bus_fd = -1;
    bool i2c_dev = true; // the bus descriptor is an i2c-dev node (major 89)
    int adapter = 3;     // its minor: i2c-3
    int selected = 0;    // the address the descriptor addresses; a new client's is 0
    std::set<int> busy;  // addresses a kernel driver has claimed
    int slave_error = 0; // the next I2C_SLAVE fails with it
    int smbus_error = 0; // the next I2C_SMBUS fails with it
    // A chip's register holds what was written to it, else its address XOR the register.
    std::map<int, uint8_t> written;
    std::vector<std::string> log; // the i2c-dev requests, in order
    std::string sys;              // where /sys is
    int sysfs_opens = 0;          // files opened under /sys
};

kernel_fake kernel;

uint8_t chip_register(int addr, int reg) {
    auto it = kernel.written.find(addr << 8 | reg);
    return it != kernel.written.end() ? it->second : static_cast<uint8_t>(addr ^ reg);
}

int fail(int &error) {
    errno = error;
    error = 0;
    return -1;
}

int i2c_dev_ioctl(unsigned long request, void *arg) {
    if (request == I2C_SLAVE) {
        const auto addr = static_cast<int>(reinterpret_cast<unsigned long>(arg));
        char entry[32];
        snprintf(entry, sizeof entry, "I2C_SLAVE 0x%02x", addr);
        kernel.log.push_back(entry);
        if (kernel.slave_error != 0)
            return fail(kernel.slave_error);
        if (kernel.busy.contains(addr)) {
            errno = EBUSY;
            return -1;
        }
        kernel.selected = addr;
        return 0;
    }
    if (request == I2C_SMBUS) {
        auto *args = static_cast<i2c_smbus_ioctl_data *>(arg);
        char entry[64];
        int n = snprintf(entry, sizeof entry, "%s 0x%02x:0x%02x",
                         args->read_write == I2C_SMBUS_READ ? "read" : "write", kernel.selected,
                         args->command);
        if (args->read_write == I2C_SMBUS_WRITE)
            n += snprintf(entry + n, sizeof entry - n, "=0x%02x", args->data->byte);
        if (args->size != I2C_SMBUS_BYTE_DATA)
            snprintf(entry + n, sizeof entry - n, " size %u", args->size);
        kernel.log.push_back(entry);
        if (kernel.smbus_error != 0)
            return fail(kernel.smbus_error);
        const int at = kernel.selected << 8 | args->command;
        if (args->read_write == I2C_SMBUS_WRITE)
            kernel.written[at] = args->data->byte;
        else
            args->data->byte = chip_register(kernel.selected, args->command);
        return 0;
    }
    char entry[32];
    snprintf(entry, sizeof entry, "request 0x%lx", request);
    kernel.log.push_back(entry);
    errno = ENOTTY;
    return -1;
}

// PATH as the test's tree has it: /sys and what lies under it moved to kernel.sys.
std::string in_tree(const char *path) {
    std::string p = path;
    if (!kernel.sys.empty() && (p == "/sys" || p.starts_with("/sys/")))
        p.replace(0, 4, kernel.sys);
    return p;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    if (fd == kernel.bus_fd)
        return i2c_dev_ioctl(request, arg);
    return static_cast<int>(syscall(SYS_ioctl, fd, request, arg));
}

extern "C" int fstat(int fd, struct stat *st) noexcept {
    int r = fstatat(fd, "", st, AT_EMPTY_PATH);
    if (r == 0 && fd == kernel.bus_fd && kernel.i2c_dev) {
        st->st_mode = S_IFCHR | 0600;
        st->st_rdev = makedev(89, static_cast<unsigned>(kernel.adapter));
    }
    return r;
}

extern "C" int open(const char *path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list ap;
        va_start(ap, flags);
        mode = static_cast<mode_t>(va_arg(ap, int));
        va_end(ap);
    }
    const std::string p = in_tree(path);
    if (p != path)
        kernel.sysfs_opens++;
    return openat(AT_FDCWD, p.c_str(), flags, mode);
}

extern "C" DIR *opendir(const char *path) {
    int fd = openat(AT_FDCWD, in_tree(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    DIR *d = fdopendir(fd);
    if (d == nullptr) {
        int e = errno;
        close(fd);
        errno = e;
    }
    return d;
}

extern "C" ssize_t readlink(const char *path, char *buf, size_t len) noexcept {
    return readlinkat(AT_FDCWD, in_tree(path).c_str(), buf, len);
}

extern "C" int access(const char *path, int mode) noexcept {
    return faccessat(AT_FDCWD, in_tree(path).c_str(), mode, 0);
}

namespace {

// A chip of one voltage, one temperature and one fan, as a driver named "w83793" publishes it.
constexpr voltage_input test_voltages[] = {
    {.reading = {0x20},
     .step_mv = 16,
     .high_limit = {0x2b},
     .low_limit = {0x2c},
     .alarm = {0x41, 0}},
};
constexpr temperature_input test_temperatures[] = {
    {.reading = {0x27}, .max = {0x39}, .max_hyst = {0x3a}, .alarm = {0x41, 4}},
};
constexpr fan_input test_fans[] = {
    {.count = {0x28}, .min = {0x3b}, .alarm = {0x41, 6}},
};
constexpr chip_layout test_layout{
    .driver = "w83793",
    .voltages = test_voltages,
    .temperatures = test_temperatures,
    .fraction = temperature_fraction::away_from_zero,
    .fans = test_fans,
    .no_reading_count = 0xff,
    .intrusion = {0x42, 4},
};

using attributes = std::map<std::string, std::string>;

// The driver's attributes for registers 0x20 = 0x7d (2000 mV), 0x27 = 0x2d (45 degrees),
// 0x28 = 0xfa (a count of 250), with the limits 0x2b = 0xc8 (3200 mV) and, in 0x42, the
// case-open bit; the other limits and status bits 0.
const attributes readings{{"in0_input", "2000"}, {"temp1_input", "45000"}, {"fan1_input", "5400"}};
const attributes limits{{"in0_min", "0"},   {"in0_max", "3200"},     {"in0_alarm", "0"},
                        {"temp1_max", "0"}, {"temp1_max_hyst", "0"}, {"temp1_alarm", "0"},
                        {"fan1_min", "0"},  {"fan1_alarm", "0"},     {"intrusion0_alarm", "1"}};

// One transaction and its outcome: for a read, the byte, or the error with the byte 0.
struct op {
    bool write;
    uint8_t addr;
    uint8_t reg;
    uint8_t value;
    int error = 0;
    bool reported = false;
    int slave_error = 0; // injected into this transaction's I2C_SLAVE
    int smbus_error = 0; // and I2C_SMBUS
};

op rd(uint8_t addr, uint8_t reg, uint8_t value) {
    return {false, addr, reg, value};
}
op wr(uint8_t addr, uint8_t reg, uint8_t value) {
    return {true, addr, reg, value};
}
op failed(op o, int error, bool reported = false) {
    o.error = error;
    o.reported = reported;
    if (!o.write)
        o.value = 0;
    return o;
}
// O failing because its I2C_SLAVE, or its I2C_SMBUS, fails with ERROR.
op slave_fails(op o, int error) {
    o = failed(o, error);
    o.slave_error = error;
    return o;
}
op transfer_fails(op o, int error) {
    o = failed(o, error);
    o.smbus_error = error;
    return o;
}

class LinuxPlatform : public ::testing::Test {
  protected:
    fs::path root;
    std::string sys;
    bus_handle bus;

    void SetUp() override {
        kernel = kernel_fake{};
        char tmpl[] = "/tmp/vantorel-linux-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        sys = (root / "sys").string();
        fs::create_directories(sys);
        std::ofstream(root / "i2c-3") << "";
        lock_holder busy;
        bus = platform_open_locked((root / "i2c-3").c_str(), lock_wait{}, busy);
        ASSERT_GE(bus.fd, 0) << strerror(errno);
        kernel.bus_fd = bus.fd;
        kernel.sys = sys;
    }

    void TearDown() override {
        platform_close(bus);
        kernel = kernel_fake{};
        fs::remove_all(root);
    }

    fs::path client(int addr) const {
        char name[16];
        snprintf(name, sizeof name, "%d-%04x", kernel.adapter, addr);
        return fs::path(sys) / "bus/i2c/devices" / name;
    }

    // The kernel's DRIVER (from MODULE, "" when built in; no driver named: sysfs does not
    // say which) has claimed the chip at ADDR, and publishes ATTRS in its hwmon directory.
    void bind(int addr, const char *driver, const char *module, const attributes &attrs = {}) {
        kernel.busy.insert(addr);
        if (driver == nullptr)
            return;
        fs::create_directories(client(addr) / "hwmon/hwmon2");
        fs::create_directory_symlink(std::string("../../../bus/i2c/drivers/") + driver,
                                     client(addr) / "driver");
        if (*module != '\0') {
            fs::path dir = fs::path(sys) / "bus/i2c/drivers" / driver;
            fs::create_directories(dir);
            fs::create_directory_symlink(std::string("../../../../module/") + module,
                                         dir / "module");
        }
        for (const auto &[name, value] : attrs)
            std::ofstream(client(addr) / "hwmon/hwmon2" / name) << value << "\n";
    }

    // Runs OPS in order, each against its outcome; returns what they wrote on standard error.
    std::string run(const std::vector<op> &ops) {
        return capture_stderr([&] {
            for (size_t i = 0; i < ops.size(); i++) {
                const op &o = ops[i];
                SCOPED_TRACE(::testing::Message() << "transaction " << i);
                kernel.slave_error = o.slave_error;
                kernel.smbus_error = o.smbus_error;
                bus_result r = o.write ? platform_write_byte(bus, o.addr, o.reg, o.value)
                                       : platform_read_byte(bus, o.addr, o.reg);
                EXPECT_EQ(r.error, o.error) << strerror(r.error);
                if (!o.write) {
                    EXPECT_EQ(r.value, o.value);
                }
                EXPECT_EQ(r.reported, o.reported);
            }
        });
    }

    static std::string says(const std::string &message) {
        return std::string(program_invocation_short_name) + ": " + message + "\n";
    }
};

using requests = std::vector<std::string>;

// The descriptor addresses one chip until I2C_SLAVE names another: the platform sets it
// before the first transaction and again only when the address changes, and a selection
// that failed is not taken as made. A failed transfer travels up as its errno, byte 0.
TEST_F(LinuxPlatform, SelectsEachChipOnceAndEveryFailureTravelsUpAsItsErrno) {
    struct {
        const char *name;
        std::vector<op> ops;
        requests want;
    } cases[] = {
        {"one chip: selected once for all its transactions",
         {rd(0x2f, 0x20, 0x0f), rd(0x2f, 0xd0, 0xff), wr(0x2f, 0x40, 0x01), rd(0x2f, 0x40, 0x01)},
         {"I2C_SLAVE 0x2f", "read 0x2f:0x20", "read 0x2f:0xd0", "write 0x2f:0x40=0x01",
          "read 0x2f:0x40"}},
        {"two chips: selected again at each change of address",
         {rd(0x2c, 0x2c, 0x00), rd(0x2c, 0x21, 0x0d), wr(0x2f, 0x4e, 0x80), rd(0x2f, 0x4e, 0x80),
          rd(0x2c, 0x20, 0x0c)},
         {"I2C_SLAVE 0x2c", "read 0x2c:0x2c", "read 0x2c:0x21", "I2C_SLAVE 0x2f",
          "write 0x2f:0x4e=0x80", "read 0x2f:0x4e", "I2C_SLAVE 0x2c", "read 0x2c:0x20"}},
        {"a selection that failed is made again",
         {slave_fails(rd(0x2f, 0x20, 0), EINVAL), rd(0x2f, 0x20, 0x0f)},
         {"I2C_SLAVE 0x2f", "I2C_SLAVE 0x2f", "read 0x2f:0x20"}},
        {"failed transfers keep the selection",
         {transfer_fails(rd(0x2f, 0x20, 0), ENXIO), transfer_fails(wr(0x2f, 0x40, 0x01), EIO),
          rd(0x2f, 0x40, 0x6f)},
         {"I2C_SLAVE 0x2f", "read 0x2f:0x20", "write 0x2f:0x40=0x01", "read 0x2f:0x40"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        EXPECT_EQ(run(c.ops), "");
        EXPECT_EQ(kernel.log, c.want);
    }
}

// i2c-dev refuses (EBUSY) a chip that a kernel driver has claimed. The run fails on it, and
// the first refusal on the device says in Linux's terms which driver holds the chip and how
// to let it go, read from sysfs for the adapter that the descriptor is.
TEST_F(LinuxPlatform, ABusyChipIsExplainedOnceByTheDriverThatHoldsIt) {
    const op busy_read = failed(rd(0x2f, 0x20, 0), EBUSY);
    struct {
        const char *name;
        bool i2c_dev;
        const char *driver; // bound at 0x2f; nullptr: sysfs does not say
        const char *module;
        std::vector<op> ops;
        requests want;
        std::string err;
    } cases[] = {
        {"a driver from a module",
         true,
         "w83793",
         "w83793",
         {busy_read, busy_read, failed(wr(0x2f, 0x40, 1), EBUSY)},
         {"I2C_SLAVE 0x2f", "I2C_SLAVE 0x2f", "I2C_SLAVE 0x2f"},
         says("the kernel's w83793 driver holds the chip at 0x2f on i2c-3") +
             says("release it: echo 3-002f > /sys/bus/i2c/drivers/w83793/unbind, or modprobe "
                  "-r w83793")},
        {"a driver built into the kernel",
         true,
         "at24",
         "",
         {busy_read},
         {"I2C_SLAVE 0x2f"},
         says("the kernel's at24 driver holds the chip at 0x2f on i2c-3") +
             says("release it: echo 3-002f > /sys/bus/i2c/drivers/at24/unbind")},
        {"sysfs names no driver",
         true,
         nullptr,
         "",
         {busy_read},
         {"I2C_SLAVE 0x2f"},
         says("a kernel driver holds the chip at 0x2f on i2c-3")},
        {"a descriptor that is no i2c-dev node: no adapter to look up",
         false,
         "w83793",
         "w83793",
         {busy_read},
         {"I2C_SLAVE 0x2f"},
         ""},
        {"the refusal leaves the other chip selected",
         true,
         "w83793",
         "",
         {rd(0x2c, 0x20, 0x0c), busy_read, rd(0x2c, 0x21, 0x0d)},
         {"I2C_SLAVE 0x2c", "read 0x2c:0x20", "I2C_SLAVE 0x2f", "read 0x2c:0x21"},
         says("the kernel's w83793 driver holds the chip at 0x2f on i2c-3") +
             says("release it: echo 3-002f > /sys/bus/i2c/drivers/w83793/unbind")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        kernel.i2c_dev = c.i2c_dev;
        bind(0x2f, c.driver, c.module);
        EXPECT_EQ(run(c.ops), c.err);
        EXPECT_EQ(kernel.log, c.want);
    }
}

TEST_F(LinuxPlatform, OnlyTheFirstBusyChipOfTheDeviceIsExplained) {
    bind(0x2c, "at24", "");
    bind(0x2f, "w83793", "w83793");
    EXPECT_EQ(run({failed(rd(0x2c, 0x20, 0), EBUSY), failed(rd(0x2f, 0x20, 0), EBUSY)}),
              says("the kernel's at24 driver holds the chip at 0x2c on i2c-3") +
                  says("release it: echo 3-002c > /sys/bus/i2c/drivers/at24/unbind"));
}

// A chip described to the platform and held by the driver its layout names is read through
// that driver's attributes, with no transaction on the bus; any other chip on the device
// still goes through i2c-dev.
TEST_F(LinuxPlatform, AChipHeldByItsLayoutsDriverIsReadThroughTheDriversAttributes) {
    attributes all = readings;
    all.insert(limits.begin(), limits.end());
    attributes without_temp = all;
    without_temp.erase("temp1_input");
    const std::string temp1 = "/sys/bus/i2c/devices/3-002f/hwmon/hwmon2/temp1_input";
    struct {
        const char *name;
        const char *driver; // bound at 0x2f
        attributes published;
        std::vector<uint8_t> described; // the chips described, each with test_layout
        chip_reading what;
        std::vector<op> ops;
        requests want;
        std::string err;
    } cases[] = {
        {"the readings; what the run does not read of the chip reads 0",
         "w83793",
         readings,
         {0x2f},
         chip_reading::readings,
         {rd(0x2f, 0x20, 0x7d), rd(0x2f, 0x27, 0x2d), rd(0x2f, 0x28, 0xfa), rd(0x2f, 0x2b, 0),
          rd(0x2f, 0x42, 0), rd(0x2f, 0x99, 0)},
         {},
         ""},
        {"the limits and status bits too",
         "w83793",
         all,
         {0x2f},
         chip_reading::with_limits,
         {rd(0x2f, 0x20, 0x7d), rd(0x2f, 0x2b, 0xc8), rd(0x2f, 0x42, 0x10)},
         {},
         ""},
        {"three chips described, the held one among them",
         "w83793",
         readings,
         {0x2c, 0x2d, 0x2f},
         chip_reading::readings,
         {rd(0x2c, 0x20, 0x0c), rd(0x2f, 0x20, 0x7d), rd(0x2c, 0x21, 0x0d), rd(0x2d, 0x20, 0x0d),
          rd(0x2f, 0x27, 0x2d)},
         {"I2C_SLAVE 0x2c", "read 0x2c:0x20", "read 0x2c:0x21", "I2C_SLAVE 0x2d", "read 0x2d:0x20"},
         ""},
        {"an attribute that cannot be read fails every read of the chip, said once",
         "w83793",
         without_temp,
         {0x2f},
         chip_reading::readings,
         {failed(rd(0x2f, 0x20, 0), ENOENT, true), failed(rd(0x2f, 0x27, 0), ENOENT, true)},
         {},
         says("reading through the w83793 driver: " + temp1 + ": No such file or directory")},
        {"held by another driver: i2c-dev, which refuses it",
         "at24",
         readings,
         {0x2f},
         chip_reading::readings,
         {failed(rd(0x2f, 0x20, 0), EBUSY)},
         {"I2C_SLAVE 0x2f"},
         says("the kernel's at24 driver holds the chip at 0x2f on i2c-3") +
             says("release it: echo 3-002f > /sys/bus/i2c/drivers/at24/unbind")},
        {"not described: i2c-dev, which refuses it",
         "w83793",
         readings,
         {},
         chip_reading::readings,
         {failed(rd(0x2f, 0x20, 0), EBUSY)},
         {"I2C_SLAVE 0x2f"},
         says("the kernel's w83793 driver holds the chip at 0x2f on i2c-3") +
             says("release it: echo 3-002f > /sys/bus/i2c/drivers/w83793/unbind")},
        {"no driver bound: i2c-dev",
         nullptr,
         {},
         {0x2f},
         chip_reading::readings,
         {rd(0x2f, 0x20, 0x0f)},
         {"I2C_SLAVE 0x2f", "read 0x2f:0x20"},
         ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        if (c.driver != nullptr)
            bind(0x2f, c.driver, "", c.published);
        for (uint8_t addr : c.described)
            ASSERT_TRUE(platform_describe_chip(bus, addr, test_layout, c.what));
        EXPECT_EQ(run(c.ops), c.err);
        EXPECT_EQ(kernel.log, c.want);
    }
}

// The attributes are read at the chip's first read; every later read answers from what was
// read then, whatever becomes of sysfs meanwhile.
TEST_F(LinuxPlatform, TheDriversAttributesAreReadOnceAtTheChipsFirstRead) {
    bind(0x2f, "w83793", "", readings);
    ASSERT_TRUE(platform_describe_chip(bus, 0x2f, test_layout, chip_reading::readings));
    EXPECT_EQ(kernel.sysfs_opens, 0) << "describing a chip reads nothing";
    EXPECT_EQ(run({rd(0x2f, 0x20, 0x7d)}), "");
    const int opens = kernel.sysfs_opens;
    EXPECT_GT(opens, 0);
    fs::remove_all(sys);
    EXPECT_EQ(run({rd(0x2f, 0x27, 0x2d), rd(0x2f, 0x28, 0xfa), rd(0x2f, 0x20, 0x7d)}), "");
    EXPECT_EQ(kernel.sysfs_opens, opens);
    EXPECT_EQ(kernel.log, requests{});
}

// The board strings are the kernel's DMI attributes, one line each, cut to the buffer and
// always terminated; the result counts the terminator, as kenv(2) does.
TEST_F(LinuxPlatform, BoardStringsAreTheDmiBoardAttributesCutToTheBuffer) {
    fs::create_directories(fs::path(sys) / "class/dmi/id");
    std::ofstream(fs::path(sys) / "class/dmi/id/board_vendor") << "Supermicro\n";
    std::ofstream(fs::path(sys) / "class/dmi/id/board_name") << "X7DWN+\n";
    struct {
        board_string which;
        int len;
        int result;
        const char *value;
        int error;
    } cases[] = {
        {board_string::maker, 128, 11, "Supermicro", 0},
        {board_string::product, 128, 7, "X7DWN+", 0},
        {board_string::maker, 6, 6, "Super", 0},
        {board_string::product, 1, 1, "", 0},
        {board_string::maker, 0, -1, nullptr, EINVAL},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.value << " in " << c.len);
        char value[128];
        memset(value, 'x', sizeof value);
        errno = 0;
        EXPECT_EQ(platform_board_string(c.which, value, c.len), c.result);
        if (c.value != nullptr)
            EXPECT_STREQ(value, c.value);
        else
            EXPECT_EQ(errno, c.error);
    }
    fs::remove(fs::path(sys) / "class/dmi/id/board_name");
    char value[128];
    EXPECT_EQ(platform_board_string(board_string::product, value, sizeof value), -1);
    EXPECT_EQ(errno, ENOENT);
}

} // namespace
