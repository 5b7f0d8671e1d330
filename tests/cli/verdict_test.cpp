// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The verdicts of -N through the simulated program where a chip's registers decide them: a
// chip that holds no meant limit (an all-zero image, readings without their limits), every
// reading left out, a temperature at the top of its register, a voltage window held
// inverted, a fan's status bit without a minimum; and how -a and -P show an inverted window.
#include "cli.h"

#include <gtest/gtest.h>

namespace {

// The two windows of x7dbp_limits held the other way round, with the status bits that the chip then
// sets at every value (0x4B bits 0 and 4).
const std::string inverted = "reg 0x2f 0x60 0x8c\nreg 0x2f 0x61 0xa0\n"
                             "reg 0x2f 0x6a 0x1c\nreg 0x2f 0x6b 0x22\n"
                             "reg 0x2f 0x4b 0x11\n";

const char *const x7dbp_labels[] = {"CPU1 Temperature",
                                    "CPU1 Second Core",
                                    "CPU2 Temperature",
                                    "CPU2 Second Core",
                                    "System Temperature",
                                    "FAN1",
                                    "FAN2",
                                    "FAN3",
                                    "FAN4",
                                    "FAN5",
                                    "FAN6",
                                    "FAN7",
                                    "FAN8",
                                    "FAN9",
                                    "FAN10",
                                    "VcoreA",
                                    "VcoreB",
                                    "-12V",
                                    "P1V5",
                                    "+3.3V",
                                    "+12V",
                                    "5Vsb",
                                    "5VDD",
                                    "P_VTT",
                                    "VBat"};

using Verdicts = Cli;

std::string status_line(const std::string &out) {
    return out.substr(0, out.find('\n'));
}

// Up to the perfdata.
std::string status_text(const std::string &out) {
    const std::string line = status_line(out);
    return line.substr(0, line.find(" | "));
}

struct verdict_case {
    const char *name;
    std::string world;
    std::vector<std::string> args;
    int status;
    std::string text;  // the status line up to the perfdata
    std::string lines; // what follows the status line
};

class Verdict : public Verdicts, public ::testing::WithParamInterface<verdict_case> {};

TEST_P(Verdict, StatusAndStatusLine) {
    const verdict_case &c = GetParam();
    std::vector<std::string> args = {"-N"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    outcome o = sim_run(args, c.world);
    EXPECT_EQ(o.status, c.status) << o.out;
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(status_text(o.out), c.text);
    EXPECT_EQ(o.out.substr(o.out.find('\n') + 1), c.lines);
}

std::vector<std::string> every_label_left_out() {
    std::vector<std::string> args;
    for (const char *l : x7dbp_labels)
        args.insert(args.end(), {"-x", l});
    return args;
}

const std::string x7dbp = fixture("x7dbp.fix");
const std::string unjudged = "VANTOREL UNKNOWN - X7DBP: no reading could be judged: ";
const std::string one_out =
    "VANTOREL CRITICAL - X7DBP: 1 of 25 readings out of the board's limits ";
const std::string within = "VANTOREL OK - X7DBP: 25 readings within the board's limits";

INSTANTIATE_TEST_SUITE_P(
    X7dbp, Verdict,
    ::testing::Values(
        // The readings without any limit register set: nothing to judge by.
        verdict_case{"no_limits",
                     x7dbp,
                     {},
                     3,
                     unjudged + "the chip holds no meant limit for any of its 25 readings",
                     ""},
        verdict_case{"no_limits_case_open",
                     x7dbp + "reg 0x2f 0x4e 0x40\n",
                     {},
                     3,
                     "VANTOREL UNKNOWN - X7DBP: the case has been opened, no reading could be "
                     "judged: the chip holds no meant limit for any of its 25 readings",
                     "the case has been opened: the chip's case-open bit is set\n"},
        verdict_case{"every_label_left_out", x7dbp + x7dbp_limits, every_label_left_out(), 3,
                     unjudged + "-x leaves out every reading", ""},
        // 0x7F, the top of the register, over a meant limit: an overheat or a failed sensor.
        verdict_case{"temperature_127",
                     x7dbp + x7dbp_limits + "reg 0x2f 0x1c 0x7f\n",
                     {},
                     2,
                     one_out + "(CPU1 Temperature)",
                     "CPU1 Temperature: 127 C, at or over its limit of 80 C\n"},
        verdict_case{"temperature_126_its_bit_set",
                     x7dbp + x7dbp_limits + "reg 0x2f 0x1c 0x7e\nreg 0x2f 0x4c 0x10\n",
                     {},
                     2,
                     one_out + "(CPU1 Temperature)",
                     "CPU1 Temperature: 126 C, at or over its limit of 80 C\n"},
        // Inverted windows are none: neither the values nor the bits the chip sets against
        // them count.
        verdict_case{"inverted_windows", x7dbp + x7dbp_limits + inverted, {}, 0, within, ""},
        // FAN3 has no minimum (its count 0): its status bit means nothing.
        verdict_case{"fan_bit_without_a_minimum",
                     x7dbp + x7dbp_limits + "reg 0x2f 0x4d 0x10\n",
                     {},
                     0,
                     within,
                     ""}),
    by_case_name{});

// A chip whose every register reads 0: no readings to speak of and no limits, never OK.
TEST_F(Verdicts, AnAllZeroChipIsNeverJudged) {
    outcome o = sim_run({"-N"}, x7dbp_world);
    EXPECT_EQ(o.status, 3) << o.out;
    EXPECT_TRUE(o.out.starts_with("VANTOREL UNKNOWN - ")) << o.out;
    EXPECT_EQ(o.out.find("OK"), std::string::npos) << o.out;
}

// An inverted window is shown as the chip holds it in every form: its min (where the chip
// flags the rail under) above its max (where it flags it over), never put in order.
TEST_F(Verdicts, AnInvertedWindowIsShownAsTheChipHoldsIt) {
    const std::string world = x7dbp + x7dbp_limits + inverted;
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> lines;
    } forms[] = {
        {{"-a"},
         {"VcoreA                  1.202 V    (min =   1.280 V, max =   1.120 V)  ",
          "-12V                  -11.904 V    (min = -10.752 V, max = -13.056 V)  "}},
        {{"-a", "-c"}, {"VcoreA,1.202,V,1.280,1.120,1,,,", "-12V,-11.904,V,-10.752,-13.056,1,,,"}},
        {{"-a", "-J"},
         {"\t\t\"VcoreA\": {\"min\": \"1.280 V\", \"max\": \"1.120 V\"},",
          "\t\t\"-12V\": {\"min\": \"-10.752 V\", \"max\": \"-13.056 V\"},"}},
        {{"-P"},
         {"vantorel_voltage_min_volts{sensor=\"VcoreA\"} 1.280",
          "vantorel_voltage_max_volts{sensor=\"VcoreA\"} 1.120",
          "vantorel_voltage_min_volts{sensor=\"-12V\"} -10.752",
          "vantorel_voltage_max_volts{sensor=\"-12V\"} -13.056"}},
    };
    for (const auto &form : forms) {
        SCOPED_TRACE(form.args.back());
        outcome o = sim_run(form.args, world);
        EXPECT_EQ(o.status, 0) << o.err;
        for (const std::string &line : form.lines)
            EXPECT_NE(o.out.find(line), std::string::npos) << line << "\n" << o.out;
    }
}

} // namespace
