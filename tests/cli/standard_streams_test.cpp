// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The command-line suite: output that does not reach its destination is not a success.
#include "cli.h"

namespace {

// Whatever the run writes on standard output (a report in any form, the listing, the
// plugin's report, its UNKNOWN report after a failure, the trace), a standard output that
// cannot take it fails the run, and says so once on standard error: the plugin's answer
// stays UNKNOWN.
struct unwritable_case {
    const char *name;
    std::vector<std::string> args; // after -f DEVICE
    bool bus_fails;                // at the third transaction
    int status;
};

class UnwritableStandardOutput : public Cli,
                                 public ::testing::WithParamInterface<unwritable_case> {};

TEST_P(UnwritableStandardOutput, IsAnIoErrorSaidOnce) {
    const unwritable_case &c = GetParam();
    std::vector<std::string> args = {"-f", device};
    args.insert(args.end(), c.args.begin(), c.args.end());
    for (stdout_mode mode : {stdout_mode::full, stdout_mode::closed}) {
        if (mode == stdout_mode::closed && wrapped_runs())
            continue; // a wrapper fills a closed descriptor itself
        SCOPED_TRACE(mode == stdout_mode::full ? "to /dev/full" : "closed");
        invocation inv{sim, args, fixture("x7dbp.fix") + (c.bus_fails ? "fail 3\n" : "")};
        inv.out = mode;
        outcome o = run(inv);
        EXPECT_EQ(o.status, c.status);
        expect_warning(o, "write error on standard output");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnwritableStandardOutput,
    ::testing::Values(unwritable_case{"list", {"-l"}, false, 74},
                      unwritable_case{"json", {"-J"}, false, 74},
                      unwritable_case{"prometheus", {"-P"}, false, 74},
                      unwritable_case{"plugin", {"-N"}, false, 3},
                      unwritable_case{"plugin_and_trace", {"-v", "-N"}, false, 3},
                      unwritable_case{"plugin_listing", {"-N", "-l"}, false, 3},
                      unwritable_case{"plugin_usage", {"-N", "-h"}, false, 3},
                      unwritable_case{"plugin_bus_failure_and_trace", {"-v", "-N"}, true, 3}),
    by_case_name{});

// --- closed standard descriptors: the device never takes their place ---

struct closed_case {
    const char *name;
    bool in, out, err;
};

class ClosedDescriptors : public Cli, public ::testing::WithParamInterface<closed_case> {};

// Run by root, with no C library to reopen them as in a setuid run: a closed descriptor is
// the lowest free one, which the device open would take, and the report would go to the bus.
TEST_P(ClosedDescriptors, NeverReachTheDevice) {
    if (wrapped_runs())
        GTEST_SKIP() << wrapper_takes_descriptors;
    const closed_case &c = GetParam();
    invocation inv{sim, {"-v", "-c", "-f", device}, as_user(0) + fixture("x7dbp.fix")};
    inv.stdin_closed = c.in;
    inv.out = c.out ? stdout_mode::closed : stdout_mode::capture;
    inv.stderr_closed = c.err;
    outcome o = run(inv);
    EXPECT_EQ(read_file(device), "") << "the report went into the device";
    if (c.out) {
        // Filled read-only: the report's write fails as it would to a closed descriptor.
        EXPECT_EQ(o.status, 74);
    } else {
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_NE(o.out.find("==> read_byte(fd = 3, slave = 0x2f, idxreg = 0x10)\n"),
                  std::string::npos)
            << o.out;
        EXPECT_NE(o.out.find(expected("x7dbp.csv")), std::string::npos) << o.out;
    }
    if (c.err)
        EXPECT_EQ(o.err, "");
    else if (c.out)
        expect_warning(o, "write error on standard output");
}

INSTANTIATE_TEST_SUITE_P(Cases, ClosedDescriptors,
                         ::testing::Values(closed_case{"stdin", true, false, false},
                                           closed_case{"stdout", false, true, false},
                                           closed_case{"stderr", false, false, true},
                                           closed_case{"all_three", true, true, true}),
                         by_case_name{});

} // namespace
