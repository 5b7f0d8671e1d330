// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Fuzz target: the search for the SMBus adapter and the naming of a chip's driver (Linux),
// over a fuzzed sysfs-like tree laid out in a scratch directory.
//
// Input: whether the I2C core is there (bus/i2c/devices), the room for the device path,
// whether the trace is on, up to twelve entries of bus/i2c/devices (named i2c-N with any N,
// i2c- with any text, or any name at all; a directory or a link to one) each with a name
// attribute that is absent, a directory, arbitrary bytes or "SMBus" and bytes, and per
// adapter a device node and an i2c-dev class entry or not; then the driver link of the
// client 0-002f and its driver's module link, with arbitrary targets.
//
// Checked: the adapters counted are the entries named i2c- and a decimal number an int
// holds; the candidates are those whose name (its first line, at most 63 bytes) begins
// "SMBus", stored lowest number first; the outcome follows from their count, the room for
// the node path and whether the node exists, as default_smbus_device's answer does. A
// chip's driver is the last component of its link's target, when that fits a name.
// Nothing is left open.
#include "platform/linux/i2c_adapters.h"
#include "scratch.h"
#include "trace/trace.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <limits.h>
#include <string.h>

#include <algorithm>
#include <charconv>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Text usable as one path component: no '/' or NUL, not empty, "." or "..".
std::string component(std::string text) {
    for (char &c : text)
        if (c == '/' || c == '\0')
            c = '_';
    if (text.empty() || text == "." || text == "..")
        text = "x" + text;
    return text;
}

// The adapter number of an entry name, as the kernel names adapters: i2c-N.
int adapter_number(const std::string &name) {
    if (name.rfind("i2c-", 0) != 0 || name.size() == 4 || name[4] < '0' || name[4] > '9')
        return -1;
    long long n = 0;
    const char *end = name.data() + name.size();
    auto [ptr, ec] = std::from_chars(name.data() + 4, end, n);
    if (ec != std::errc() || ptr != end || n > INT_MAX)
        return -1;
    return static_cast<int>(n);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    const fs::path tree = fresh_tree("search");
    const fs::path sys = tree / "sys", dev = tree / "dev";
    const fs::path devices = sys / "bus/i2c/devices";
    fs::create_directories(dev);
    const bool core = in.ConsumeIntegralInRange(0, 15) != 0;
    if (core)
        fs::create_directories(devices);
    const size_t room = in.ConsumeIntegralInRange<size_t>(1, 96);
    opt_verbose = in.ConsumeBool();

    std::set<std::string> names;
    int adapters = 0;
    std::vector<int> candidates; // adapter numbers
    const int entries = core ? in.ConsumeIntegralInRange(0, 12) : 0;
    for (int i = 0; i < entries; i++) {
        std::string name;
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            name = "i2c-" + std::to_string(in.ConsumeIntegralInRange<int>(0, 40));
            break;
        case 1:
            name = "i2c-" + std::to_string(in.ConsumeIntegral<unsigned long long>());
            break;
        case 2:
            name = component("i2c-" + in.ConsumeRandomLengthString(12));
            break;
        default:
            name = component(in.ConsumeRandomLengthString(20));
            break;
        }
        if (!names.insert(name).second)
            continue;
        fs::path entry = devices / name;
        if (in.ConsumeBool()) { // as the kernel has it: a link to the device's directory
            fs::create_directories(sys / "devices" / name);
            fs::create_directory_symlink("../../../devices/" + name, entry);
        } else {
            fs::create_directory(entry);
        }
        std::string label;
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            break;
        case 1:
            fs::create_directory(entry / "name");
            break;
        case 2:
            label = in.ConsumeRandomLengthString(80);
            write_file(entry / "name", label);
            break;
        default:
            label = "SMBus" + in.ConsumeRandomLengthString(80);
            write_file(entry / "name", label);
            break;
        }
        const int number = adapter_number(name);
        if (number < 0)
            continue;
        adapters++;
        // The device node and i2c-dev's class entry, as i2c-dev names them.
        const std::string node_name = "i2c-" + std::to_string(number);
        if (in.ConsumeBool())
            write_file(dev / node_name, "");
        if (in.ConsumeBool())
            fs::create_directories(sys / "class/i2c-dev" / node_name);
        std::string first = label.substr(0, 63);
        first = first.substr(0, first.find_first_of(std::string("\n\0", 2)));
        if (first.rfind("SMBus", 0) == 0)
            candidates.push_back(number);
    }

    // The chip 0-002f and who holds it.
    std::string driver_target = in.ConsumeRandomLengthString(300);
    for (char &c : driver_target)
        c = c == '\0' ? '_' : c;
    std::string module_target = in.ConsumeRandomLengthString(100);
    for (char &c : module_target)
        c = c == '\0' ? '_' : c;
    if (core && !driver_target.empty()) {
        fs::create_directories(devices / "0-002f");
        fs::create_symlink(driver_target, devices / "0-002f/driver");
        const std::string base = driver_target.substr(driver_target.rfind('/') + 1);
        if (!module_target.empty() && !base.empty() && base.size() < i2c_name_size && base != "." &&
            base != "..") {
            fs::create_directories(sys / "bus/i2c/drivers" / base);
            fs::create_symlink(module_target, sys / "bus/i2c/drivers" / base / "module");
        }
    }

    const int free_fd = lowest_free_fd();
    std::vector<char> device(room);
    const adapter_search s = find_smbus_adapter(sys.c_str(), dev.c_str(), device);
    std::vector<char> again(room);
    const bool chosen = default_smbus_device(sys.c_str(), dev.c_str(), again);
    chip_holder holder;
    const bool held = find_chip_holder(sys.c_str(), 0, 0x2f, holder);
    explain_busy_chip(sys.c_str(), 0, 0x2f);
    opt_verbose = false;
    if (lowest_free_fd() != free_fd)
        __builtin_trap();

    // The adapters and candidates, lowest number first.
    if (s.adapters != adapters || s.candidates != static_cast<int>(candidates.size()) ||
        s.stored() > static_cast<int>(s.candidate.size()))
        __builtin_trap();
    std::sort(candidates.begin(), candidates.end());
    for (int i = 0; i < s.stored(); i++) {
        const i2c_adapter &a = s.candidate[static_cast<size_t>(i)];
        if (a.number != candidates[static_cast<size_t>(i)] || strncmp(a.name, "SMBus", 5) != 0 ||
            strlen(a.name) >= sizeof a.name)
            __builtin_trap();
    }

    // The outcome.
    adapter_search_outcome want = adapter_search_outcome::none;
    std::string node;
    if (candidates.size() > 1) {
        want = adapter_search_outcome::several;
    } else if (candidates.size() == 1) {
        node = dev.string() + "/i2c-" + std::to_string(candidates[0]);
        want = node.size() >= room ? adapter_search_outcome::unreadable
               : fs::exists(node)  ? adapter_search_outcome::found
                                   : adapter_search_outcome::no_device_node;
    }
    if (s.outcome != want || chosen != (want == adapter_search_outcome::found))
        __builtin_trap();
    if ((want == adapter_search_outcome::found || want == adapter_search_outcome::no_device_node) &&
        (node != device.data() || node != again.data()))
        __builtin_trap();
    if (want == adapter_search_outcome::unreadable && s.error != ENAMETOOLONG)
        __builtin_trap();
    if (want == adapter_search_outcome::no_device_node &&
        s.i2c_dev != fs::exists(sys / "class/i2c-dev" / ("i2c-" + std::to_string(candidates[0]))))
        __builtin_trap();

    // The driver: the last component of the link's target, when it fits.
    const std::string base = driver_target.substr(driver_target.rfind('/') + 1);
    const bool names_one = core && !base.empty() && base.size() < sizeof holder.driver;
    if (held != names_one || (held && base != holder.driver) ||
        strlen(holder.module) >= sizeof holder.module || strchr(holder.module, '/') != nullptr)
        __builtin_trap();
    return 0;
}
