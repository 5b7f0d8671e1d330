// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The command-line suite: the monitoring-plugin report (-N).
#include "cli.h"

#include <fcntl.h>
#include <sys/file.h>

#include <map>
#include <set>
#include <regex>
#include <sstream>

namespace {

// The X7DBP fixture with limits as a BIOS sets them: CPU1 Temperature's critical limit 80 and
// warning limit 70 (hysteresis 75 and 65), VcoreA's window 1.120-1.280 V, the -12V rail's
// -13.056 to -10.752 V (its registers hold the limits the other way round), FAN1's minimum
// count 1125 (1200 RPM). Every other limit register is 0: nothing a board means.
struct verdict_case {
    const char *name;
    std::string regs; // written over the fixture's limits
    std::vector<std::string> args;
    int status;
    std::string status_line; // up to the perfdata
    std::string lines;       // what follows the status line
};

class PluginVerdicts : public Cli, public ::testing::WithParamInterface<verdict_case> {};

TEST_P(PluginVerdicts, StateStatusLineAndAProblemLineEach) {
    const verdict_case &c = GetParam();
    std::vector<std::string> args = {"-N"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    outcome o = sim_run(args, fixture("x7dbp.fix") + x7dbp_limits + c.regs);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.err, "");
    const size_t end = o.out.find('\n');
    ASSERT_NE(end, std::string::npos) << o.out;
    EXPECT_TRUE(o.out.starts_with(c.status_line + " | 'CPU1 Temperature'=")) << o.out;
    EXPECT_EQ(o.out.substr(end + 1), c.lines);
}

const std::string out_of = "X7DBP: 1 of 25 readings out of the board's limits ";

INSTANTIATE_TEST_SUITE_P(
    X7dbp, PluginVerdicts,
    ::testing::Values(
        verdict_case{
            "within", "", {}, 0, "VANTOREL OK - X7DBP: 25 readings within the board's limits", ""},
        verdict_case{"temperature_at_its_limit",
                     "reg 0x2f 0x78 0x26\n",
                     {},
                     2,
                     "VANTOREL CRITICAL - " + out_of + "(CPU1 Temperature)",
                     "CPU1 Temperature: 38 C, at or over its limit of 38 C\n"},
        verdict_case{"temperature_at_its_warning_limit",
                     "reg 0x2f 0x7a 0x26\n",
                     {},
                     1,
                     "VANTOREL WARNING - " + out_of + "(CPU1 Temperature)",
                     "CPU1 Temperature: 38 C, at or over its warning limit of 38 C\n"},
        // CPU1 Temperature's status bit (bit 12 of 0x4B-0x4E) set: CRITICAL over the warning
        // level as under it.
        verdict_case{"temperature_alarm_over_its_warning_limit",
                     "reg 0x2f 0x1c 0x4c\nreg 0x2f 0x4c 0x10\n",
                     {},
                     2,
                     "VANTOREL CRITICAL - " + out_of + "(CPU1 Temperature)",
                     "CPU1 Temperature: 76 C, the chip's alarm for it is set\n"},
        verdict_case{"temperature_alarm_under_its_warning_limit",
                     "reg 0x2f 0x1c 0x45\nreg 0x2f 0x4c 0x10\n",
                     {},
                     2,
                     "VANTOREL CRITICAL - " + out_of + "(CPU1 Temperature)",
                     "CPU1 Temperature: 69 C, the chip's alarm for it is set\n"},
        verdict_case{"minus_12v_rail_outside",
                     "reg 0x2f 0x14 0x10\n",
                     {},
                     2,
                     "VANTOREL CRITICAL - " + out_of + "(-12V)",
                     "-12V: -6.144 V, outside its limits -13.056 to -10.752 V\n"},
        verdict_case{"fan_under_its_minimum",
                     "reg 0x2f 0x90 0x01\nreg 0x2f 0x91 0x00\n",
                     {},
                     2,
                     "VANTOREL CRITICAL - " + out_of + "(FAN1)",
                     "FAN1: 3000 RPM, under its minimum of 5273 RPM\n"},
        verdict_case{"fan_alarm",
                     "reg 0x2f 0x4d 0x04\n",
                     {},
                     2,
                     "VANTOREL CRITICAL - " + out_of + "(FAN1)",
                     "FAN1: 3000 RPM, the chip's alarm for it is set\n"},
        verdict_case{"fan_alarm_left_out",
                     "reg 0x2f 0x4d 0x10\n",
                     {"-x", "FAN3", "-x", "FAN3"},
                     0,
                     "VANTOREL OK - X7DBP: 24 readings within the board's limits",
                     ""},
        verdict_case{"alarm_against_a_limit_of_0",
                     "reg 0x2f 0x4c 0x20\n",
                     {},
                     0,
                     "VANTOREL OK - X7DBP: 25 readings within the board's limits",
                     ""},
        verdict_case{"case_opened_whatever_is_left_out",
                     "reg 0x2f 0x4e 0x40\n",
                     {"-x", "FAN1", "-x", "VcoreB"},
                     2,
                     "VANTOREL CRITICAL - X7DBP: the case has been opened, 23 readings within "
                     "the board's limits",
                     "the case has been opened: the chip's case-open bit is set\n"}),
    by_case_name{});

// The W83792D's temperatures are signed: its System Temperature at 0xF6 is -10 C, and its
// CPU Temperature input with no sensor attached reads 0x80, -128 C, with its status bit set
// (0xA9 bit 2). The table keeps showing the registers' bytes; -P and -N take them as the chip
// does, and neither pages. The limits keep their half degree (30.5, 25.5).
TEST_F(Cli, SignedTemperaturesAreExportedAndJudgedAsTheChipKeepsThem) {
    const std::string world = fixture("p8sc8.fix") + fixture("p8sc8-limits.fix") +
                              "reg 0x2f 0xc0 0xf6\nreg 0x2f 0x27 0x80\nreg 0x2f 0xa9 0x84\n";
    outcome plain = sim_run({}, world);
    EXPECT_TRUE(plain.out.starts_with("CPU Temperature           128 C\n"
                                      "System Temperature        246 C\n"))
        << plain.out;

    outcome p = sim_run({"-P"}, world);
    EXPECT_EQ(p.status, 0);
    for (const char *sample :
         {"vantorel_temperature_celsius{sensor=\"CPU Temperature\"} -128\n",
          "vantorel_temperature_celsius{sensor=\"System Temperature\"} -10\n",
          "vantorel_temperature_max_celsius{sensor=\"System Temperature\"} 30.5\n",
          "vantorel_temperature_max_hyst_celsius{sensor=\"System "
          "Temperature\"} 25.5\n"})
        EXPECT_NE(p.out.find(sample), std::string::npos) << sample << p.out;

    outcome n = sim_run({"-N"}, world);
    const std::string status_line = n.out.substr(0, n.out.find('\n'));
    EXPECT_NE(status_line.find(" | 'CPU Temperature'=-128;;75 'System Temperature'=-10;;30.5 "),
              std::string::npos)
        << status_line;
    EXPECT_EQ(n.out.find("Temperature:"), std::string::npos) << n.out;
    EXPECT_EQ(status_line.find("Temperature,"), std::string::npos) << status_line;
}

// A reading at a W83792D limit's whole degree is under the limit when its half-degree bit is
// set (0xC6 bit 7): 30 C against 30.5 C is within, as the chip's own bit, clear, says.
TEST_F(Cli, AHalfDegreeLimitIsOverAReadingAtItsWholeDegree) {
    const std::string world = fixture("p8sc8.fix") + fixture("p8sc8-limits.fix") +
                              "reg 0x2f 0xc0 0x1e\nreg 0x2f 0xa9 0x00\nreg 0x2f 0xaa 0x00\n"
                              "reg 0x2f 0x3d 0x00\nreg 0x2f 0x3c 0x00\nreg 0x2f 0xbb 0x00\n"
                              "reg 0x2f 0x31 0x00\nreg 0x2f 0x32 0x00\nreg 0x2f 0xb6 0x00\n"
                              "reg 0x2f 0xb7 0x00\n";
    outcome n = sim_run({"-N"}, world);
    EXPECT_EQ(n.status, 0) << n.out;
    EXPECT_TRUE(n.out.starts_with("VANTOREL OK - P8SC8: ")) << n.out;
    EXPECT_NE(n.out.find("'System Temperature'=30;;30.5 "), std::string::npos) << n.out;
}

TEST_F(Cli, PluginReportWithLimitsIsTheHandWrittenText) {
    outcome o = sim_run({"-N"}, fixture("x7dbp.fix") + x7dbp_limits);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, expected("x7dbp.plugin"));
}

// The X6DVA's chip at 0x2c holds plain register values and no limits: they keep their place
// in the perfdata under labels that say what they are. Without the limit registers of the
// chip at 0x2f nothing is judged.
TEST_F(Cli, PluginReportOfRegisterValuesIsTheHandWrittenText) {
    outcome o = sim_run({"-N"}, fixture("x6dva.fix"));
    EXPECT_EQ(o.status, 3) << o.err;
    EXPECT_EQ(o.out, expected("x6dva.plugin"));
}

// Perfdata as a reader of the plugin format takes it apart: 'LABEL'=VALUE[;WARN[;CRIT]],
// a quote inside a label written twice.
std::vector<std::pair<std::string, std::vector<std::string>>> perfdata(const std::string &line) {
    std::vector<std::pair<std::string, std::vector<std::string>>> items;
    size_t at = line.find(" | ");
    if (at == std::string::npos)
        return items;
    at += 3;
    while (at < line.size()) {
        std::string label;
        EXPECT_EQ(line[at], '\'') << line.substr(at);
        for (at++; at < line.size(); at++) {
            if (line[at] == '\'' && line[at + 1] == '\'')
                label += line[at++];
            else if (line[at] == '\'')
                break;
            else
                label += line[at];
        }
        EXPECT_EQ(line[at + 1], '=');
        size_t end = line.find(' ', at);
        std::vector<std::string> fields;
        std::stringstream rest(line.substr(at + 2, end == std::string::npos ? end : end - at - 2));
        for (std::string f; std::getline(rest, f, ';');)
            fields.push_back(f);
        items.emplace_back(label, fields);
        at = end == std::string::npos ? line.size() : end + 1;
    }
    return items;
}

// Every reading that -J shows is in the perfdata exactly once, in the same order, with the
// value -J prints (a temperature's as -P exports it, signed), and every range's start lies
// below its end (the -12 V rails' too). A plain register value (the X6DVA's chip at 0x2c) is
// labelled as one, never as a rail's volts.
TEST_F(Cli, PerfdataHoldsEveryReadingOnceWithTheValueOfJson) {
    const std::pair<const char *, std::string> worlds[] = {
        {"x7dbp", fixture("x7dbp.fix") + x7dbp_limits},
        {"p8sc8", fixture("p8sc8.fix") + fixture("p8sc8-limits.fix")},
        {"x6dva", fixture("x6dva.fix") + fixture("x6dva-limits.fix")}};
    for (const auto &[name, world] : worlds) {
        SCOPED_TRACE(name);
        outcome j = sim_run({"-J"}, world);
        std::vector<std::pair<std::string, std::string>> json;
        std::regex entry("\t\t\"(.*)\": \"(\\S+) (C|RPM|V)\",?");
        std::stringstream lines(j.out);
        for (std::string l; std::getline(lines, l);) {
            std::smatch m;
            if (std::regex_match(l, m, entry))
                json.emplace_back(m[1], m[2]);
        }
        // The cells -P exports as plain register values, whose perfdata label says so.
        std::set<std::string> registers;
        std::map<std::string, std::string> temperatures;
        outcome p = sim_run({"-P"}, world);
        std::regex sample("vantorel_register_value\\{sensor=\"(.*)\"\\} .*");
        std::regex temperature("vantorel_temperature_celsius\\{sensor=\"(.*)\"\\} (.*)");
        std::stringstream samples(p.out);
        for (std::string l; std::getline(samples, l);) {
            std::smatch m;
            if (std::regex_match(l, m, sample))
                registers.insert(m[1]);
            else if (std::regex_match(l, m, temperature))
                temperatures[m[1]] = m[2];
        }
        outcome o = sim_run({"-N"}, world);
        EXPECT_LT(o.status, 3) << o.out; // judged
        auto items = perfdata(o.out.substr(0, o.out.find('\n')));
        ASSERT_EQ(items.size(), json.size()) << o.out;
        for (size_t i = 0; i < items.size(); i++) {
            EXPECT_EQ(items[i].first,
                      json[i].first + (registers.count(json[i].first) ? " register value" : ""));
            ASSERT_FALSE(items[i].second.empty());
            const auto t = temperatures.find(json[i].first);
            EXPECT_EQ(items[i].second[0], t != temperatures.end() ? t->second : json[i].second)
                << items[i].first;
            for (size_t f = 1; f < items[i].second.size(); f++) {
                const std::string &range = items[i].second[f];
                const size_t colon = range.find(':');
                if (colon == std::string::npos || colon + 1 == range.size())
                    continue;
                EXPECT_LT(std::stod(range.substr(0, colon)), std::stod(range.substr(colon + 1)))
                    << items[i].first << " " << range;
            }
        }
    }
}

TEST(PluginPerfdata, LabelsAreQuotedAndAQuoteInsideIsDoubled) {
    auto items = perfdata("S | 'a b'=1 'it''s'=2;;3: '-12V'=-1.000;;-13.200:-10.800");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].first, "it's");
    EXPECT_EQ(items[2].second, (std::vector<std::string>{"-1.000", "", "-13.200:-10.800"}));
}

// With -N every failure is UNKNOWN (3): its message on the status line, standard error
// silent; a usage error's usage text after it.
// What a case does to the run besides its options and world.
enum class hostile {
    none,
    reader_gone, // standard output is a pipe whose reader has closed it
    no_dev_null, // standard input closed, and no /dev/null to fill it with
    lock_held,   // this process holds the device's lock while the run lasts
};

struct unknown_case {
    const char *name;
    std::vector<std::string> args; // DEVICE stands for the test's device
    std::string world;
    std::string message; // DEVICE and LOCKED as in still_locked(), for 1 s
    bool usage_follows;
    hostile condition = hostile::none;
};

std::string with_device(std::string text, const std::string &device) {
    for (size_t at; (at = text.find("LOCKED")) != std::string::npos;)
        text.replace(at, 6, still_locked(device, 1));
    for (size_t at; (at = text.find("DEVICE")) != std::string::npos;)
        text.replace(at, 6, device);
    return text;
}

class PluginFailures : public Cli, public ::testing::WithParamInterface<unknown_case> {};

// Whatever ends a check, it answers 3 and says why on its status line, within its time: a
// reader that went away gets no line, but its run is not killed for it.
TEST_P(PluginFailures, AreUnknownWithTheMessageOnTheStatusLine) {
    const unknown_case &c = GetParam();
    invocation inv{sim, {}, c.world};
    for (const std::string &arg : c.args)
        inv.args.push_back(with_device(arg, device));
    int fds[2] = {-1, -1};
    int holder = -1;
    switch (c.condition) {
    case hostile::none:
        break;
    case hostile::reader_gone:
        ASSERT_EQ(pipe(fds), 0);
        close(fds[0]);
        inv.out = stdout_mode::descriptor;
        inv.stdout_fd = fds[1];
        break;
    case hostile::no_dev_null:
        if (wrapped_runs())
            GTEST_SKIP() << wrapper_takes_descriptors;
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root for a mount namespace without /dev/null";
        inv.stdin_closed = true;
        inv.without_dev_null = true;
        break;
    case hostile::lock_held:
        holder = open(device.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_EQ(flock(holder, LOCK_EX), 0);
        break;
    }
    std::string out = temp_path("out"), err = temp_path("err");
    pid_t pid = start(inv, out, err);
    if (fds[1] >= 0)
        close(fds[1]);
    // A run that waits for the lock past its bound is let go on, so that it ends.
    if (holder >= 0) {
        EXPECT_TRUE(ended_within(pid, 1 + slack())) << "the check did not answer in time";
        close(holder);
    }
    outcome o = finish(pid, out, err);
    if (o.status == 125 && c.condition == hostile::no_dev_null)
        GTEST_SKIP() << "no mount namespace to be had here";
    EXPECT_EQ(o.status, 3);
    if (c.condition == hostile::reader_gone) {
        EXPECT_EQ(o.err, warn_prefix + "write error on standard output: Broken pipe\n");
        return;
    }
    EXPECT_EQ(o.out, "VANTOREL UNKNOWN - " + with_device(c.message, device) + "\n" +
                         (c.usage_follows ? expected("usage.txt") : std::string()));
    EXPECT_EQ(o.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PluginFailures,
    ::testing::Values(
        unknown_case{"help", {"-N", "-h"}, "", "the usage of vantorel follows", true},
        unknown_case{"question_mark", {"-?", "-N"}, "", "the usage of vantorel follows", true},
        unknown_case{"bad_option_before_n", {"-z", "-N"}, "", "invalid option -- 'z'", true},
        unknown_case{
            "missing_argument", {"-N", "-x"}, "", "option requires an argument -- 'x'", true},
        unknown_case{
            "two_forms", {"-N", "-P"}, "euid 0\n", "Please choose only one output format", false},
        unknown_case{"file",
                     {"-N", "-o", "/tmp/x"},
                     "euid 0\n",
                     "-o does not go with -N, whose report is for standard output",
                     false},
        unknown_case{"not_root",
                     {"-N"},
                     "euid 1000\n" + x7dbp_world,
                     "Must be run as root, or setuid root",
                     false},
        unknown_case{"no_board_strings",
                     {"-N"},
                     "euid 0\n",
                     "kenv() for smbios.planar.maker failed: No such file or directory",
                     false},
        unknown_case{"unsupported_board",
                     {"-N"},
                     "maker Supermicro\nproduct X7SBI\n",
                     "Your motherboard does not appear to be supported.  Please visit "
                     "https://vantorel.org/ to see if support for your motherboard and/or "
                     "system is under development.",
                     false},
        unknown_case{"label_the_board_lacks",
                     {"-N", "-x", "FAN1", "-x", "FAN11"},
                     x7dbp_world,
                     "-x FAN11: the X7DBP has no reading of that name",
                     false},
        unknown_case{"device",
                     {"-N", "-f", "/nonexistent/smb9"},
                     x7dbp_world,
                     "open() on /nonexistent/smb9 failed: No such file or directory",
                     false},
        // A '|' would start the perfdata, a ';' end a perfdata field: both become '_'.
        unknown_case{"label_with_perfdata_characters",
                     {"-N", "-x", "a|b;c", "-x", "|"},
                     x7dbp_world,
                     "-x a_b_c: the X7DBP has no reading of that name",
                     false},
        unknown_case{"device_with_perfdata_characters",
                     {"-N", "-f", "/nonexistent/smb|0;1"},
                     x7dbp_world,
                     "open() on /nonexistent/smb_0_1 failed: No such file or directory",
                     false},
        unknown_case{"timeout_not_a_number",
                     {"-N", "-t", "ten"},
                     "",
                     "-t ten: not a whole number of seconds",
                     false},
        unknown_case{
            "reader_gone", {"-N", "-f", "DEVICE"}, x7dbp_world, "", false, hostile::reader_gone},
        unknown_case{"closed_descriptor_without_dev_null",
                     {"-N", "-f", "DEVICE"},
                     x7dbp_world,
                     "cannot open /dev/null in place of closed descriptor 0: No such file or "
                     "directory",
                     false,
                     hostile::no_dev_null},
        unknown_case{"device_locked",
                     {"-N", "-t", "1", "-f", "DEVICE"},
                     x7dbp_world,
                     "LOCKED",
                     false,
                     hostile::lock_held}),
    by_case_name{});

TEST_F(Cli, PluginBusFailureIsUnknown) {
    outcome o = sim_run({"-N"}, fixture("x7dbp.fix") + "fail 3\n");
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.out, "VANTOREL UNKNOWN - ioctl(SMB_READB) failed: Input/output error\n");
    EXPECT_EQ(o.err, "");
}

TEST_F(Cli, ExcludingWithoutPluginModeIsAUsageError) {
    outcome o = sim_run({"-x", "FAN1"}, fixture("x7dbp.fix"));
    EXPECT_EQ(o.status, 64);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "vantorel: -x goes with -N only\n");
}

} // namespace
