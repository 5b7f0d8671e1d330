// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The command-line suite: option parsing: everything decided before the run sequence starts.
#include "cli.h"

#include <regex>

namespace {

struct option_case {
    const char *name;
    std::vector<std::string> args;
    uid_t uid;
    int status;
    const char *stdout_file; // expected standard output
    const char *stderr_text; // standard error; up to the errno text after a warn(3) message
};

class Options : public Cli, public ::testing::WithParamInterface<option_case> {};

TEST_P(Options, EndWithTheirOutputAndStatus) {
    const option_case &c = GetParam();
    outcome o = run({sim, c.args, as_user(c.uid) + x7dbp_world});
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.out, expected(c.stdout_file));
    std::string err = c.stderr_text;
    if (err.ends_with(": ")) // warn(3): the errno text that follows is not ours
        EXPECT_TRUE(o.err.starts_with(err)) << o.err;
    else
        EXPECT_EQ(o.err, err);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Options,
    ::testing::Values(
        option_case{"list", {"-l"}, 0, 0, "list.txt", ""},
        option_case{"list_as_user", {"-l"}, 1000, 0, "list.txt", ""},
        option_case{"conflicting_formats_then_list", {"-J", "-c", "-l"}, 0, 0, "list.txt", ""},
        option_case{"bad_option_after_list_unseen", {"-l", "-z"}, 0, 0, "list.txt", ""},
        option_case{"help", {"-h"}, 0, 64, "usage.txt", ""},
        option_case{"help_as_user", {"-h"}, 1000, 64, "usage.txt", ""},
        option_case{"question_mark_without_diagnostic", {"-?"}, 0, 64, "usage.txt", ""},
        option_case{
            "unknown_option", {"-z"}, 0, 64, "usage.txt", "vantorel: invalid option -- 'z'\n"},
        option_case{"unknown_option_before_list",
                    {"-z", "-l"},
                    0,
                    64,
                    "usage.txt",
                    "vantorel: invalid option -- 'z'\n"},
        option_case{"n_as_device_path_is_no_plugin_mode",
                    {"-f", "-N", "-f"},
                    0,
                    64,
                    "usage.txt",
                    "vantorel: option requires an argument -- 'f'\n"},
        option_case{"timeout_not_a_number",
                    {"-t", "1.5"},
                    0,
                    64,
                    "/dev/null",
                    "vantorel: -t 1.5: not a whole number of seconds\n"},
        option_case{"timeout_without_argument",
                    {"-t"},
                    0,
                    64,
                    "usage.txt",
                    "vantorel: option requires an argument -- 't'\n"},
        option_case{"device_without_argument",
                    {"-f"},
                    0,
                    64,
                    "usage.txt",
                    "vantorel: option requires an argument -- 'f'\n"},
        option_case{"help_after_operand_unseen_then_root_check",
                    {"operand", "-h"},
                    1000,
                    77,
                    "/dev/null",
                    "vantorel: Must be run as root, or setuid root: "}),
    by_case_name{});

TEST_F(Cli, TraceBeforeListFramesTheListingAndAfterItIsNeverParsed) {
    outcome o = run({sim, {"-v", "-l"}, ""});
    EXPECT_EQ(o.status, 0);
    std::regex framed(
        "==> list_models\\(b = 0x[0-9a-f]+\\)\n([^]*)==> list_models\\(\\) returning\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(o.out, m, framed)) << o.out;
    EXPECT_EQ(m[1].str(), expected("list.txt"));
    EXPECT_EQ(run({sim, {"-l", "-v"}, ""}).out, expected("list.txt"));
}

} // namespace
