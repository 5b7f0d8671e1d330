// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The manual page and the README against the program: the boards, options and exit statuses
// they document must be the ones the program has.
#include "run.h"

#include <gtest/gtest.h>

#include <sysexits.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

const std::string linux_build = VANTOREL_LINUX_BIN;
const std::string source_dir = VANTOREL_SOURCE_DIR;
// The page as the build configured it, with the version in its footer.
const std::string manual_page = VANTOREL_MANUAL_PAGE;

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> split(const std::string &text, const std::regex &separator) {
    return {std::sregex_token_iterator(text.begin(), text.end(), separator, -1),
            std::sregex_token_iterator()};
}

// The lines of the manual from the heading line HEADING up to the next .Sh.
std::vector<std::string> manual_section(const std::string &heading) {
    std::vector<std::string> all = lines_of(read_file(manual_page));
    std::vector<std::string> section;
    bool inside = false;
    for (const std::string &line : all) {
        if (line == heading)
            inside = true;
        else if (inside && line.starts_with(".Sh "))
            break;
        else if (inside)
            section.push_back(line);
    }
    EXPECT_FALSE(section.empty()) << "no " << heading << " in the manual";
    return section;
}

using board_row = std::vector<std::string>; // maker, product, chip, address

TEST(Manual, BoardTableIsTheListing) {
    // The page: the ".It maker Ta product Ta chip Ta address" rows of the column list, less
    // its header row of bold column names.
    std::vector<board_row> page;
    bool in_table = false;
    for (const std::string &line : manual_section(".Ss SUPPORTED BOARDS")) {
        if (line.starts_with(".Bl -column"))
            in_table = true;
        else if (line == ".El")
            in_table = false;
        else if (in_table && line.starts_with(".It ") && !line.starts_with(".It Sy "))
            page.push_back(split(line.substr(4), std::regex(" Ta ")));
    }

    // The program: columns of the listing are at least two blanks apart; chip names hold one.
    outcome o = run({linux_build, {"-l"}, ""});
    ASSERT_EQ(o.status, 0) << o.err;
    std::vector<board_row> listed;
    for (const std::string &line : lines_of(o.out))
        if (!line.starts_with("maker ") && !line.starts_with("---"))
            listed.push_back(split(line, std::regex(" {2,}")));

    ASSERT_EQ(listed.size(), 17u) << o.out;
    EXPECT_EQ(page, listed);
}

TEST(Manual, DocumentsEveryOptionOfTheUsageText) {
    std::set<std::string> page;
    std::regex item(R"(^\.It Fl (\w)\b.*)");
    for (const std::string &line : manual_section(".Sh DESCRIPTION")) {
        std::smatch m;
        if (std::regex_match(line, m, item))
            page.insert(m[1]);
    }

    outcome o = run({linux_build, {"-h"}, ""});
    EXPECT_EQ(o.status, EX_USAGE);
    std::set<std::string> usage;
    std::regex option(R"(^  -(\w) .*)");
    for (const std::string &line : lines_of(o.out)) {
        std::smatch m;
        if (std::regex_match(line, m, option))
            usage.insert(m[1]);
    }

    EXPECT_EQ(usage, (std::set<std::string>{"J", "N", "P", "S", "a", "c", "f", "h", "l", "o", "t",
                                            "v", "x"}));
    EXPECT_EQ(page, usage);
}

// The statuses the sources can end with: 0 and every sysexits(3) name they use.
std::set<int> statuses_in_sources() {
    const std::map<std::string, int> value = {
        {"EX_USAGE", EX_USAGE},       {"EX_DATAERR", EX_DATAERR},
        {"EX_NOINPUT", EX_NOINPUT},   {"EX_NOUSER", EX_NOUSER},
        {"EX_NOHOST", EX_NOHOST},     {"EX_UNAVAILABLE", EX_UNAVAILABLE},
        {"EX_SOFTWARE", EX_SOFTWARE}, {"EX_OSERR", EX_OSERR},
        {"EX_OSFILE", EX_OSFILE},     {"EX_CANTCREAT", EX_CANTCREAT},
        {"EX_IOERR", EX_IOERR},       {"EX_TEMPFAIL", EX_TEMPFAIL},
        {"EX_PROTOCOL", EX_PROTOCOL}, {"EX_NOPERM", EX_NOPERM},
        {"EX_CONFIG", EX_CONFIG}};
    std::set<int> used = {0};
    std::regex name(R"(\bEX_[A-Z]+\b)");
    for (const auto &entry : std::filesystem::recursive_directory_iterator(source_dir + "/src")) {
        if (entry.path().extension() != ".cpp")
            continue;
        std::string text = read_file(entry.path());
        for (std::sregex_iterator m(text.begin(), text.end(), name), end; m != end; ++m) {
            EXPECT_TRUE(value.contains(m->str())) << m->str() << " in " << entry.path();
            if (value.contains(m->str()))
                used.insert(value.at(m->str()));
        }
    }
    return used;
}

TEST(Manual, ExitStatusesAreThoseOfTheProgramInPageAndReadme) {
    std::set<int> program = statuses_in_sources();
    EXPECT_EQ(program, (std::set<int>{0, 64, 65, 66, 69, 70, 71, 74, 75, 77}));

    std::set<int> page;
    std::regex item(R"(^\.It Li (\d+)$)");
    for (const std::string &line : manual_section(".Sh EXIT STATUS")) {
        std::smatch m;
        if (std::regex_match(line, m, item))
            page.insert(std::stoi(m[1]));
    }
    EXPECT_EQ(page, program);

    // The README's table: the rows "| 64 | ... |" under its "| status | meaning |" header.
    std::set<int> readme;
    std::regex row(R"(^\| (\d+) \|.*)");
    bool in_table = false;
    for (const std::string &line : lines_of(read_file(source_dir + "/README.md"))) {
        std::smatch m;
        if (line.starts_with("| status | meaning |"))
            in_table = true;
        else if (!line.starts_with("|"))
            in_table = false;
        else if (in_table && std::regex_match(line, m, row))
            readme.insert(std::stoi(m[1]));
    }
    EXPECT_EQ(readme, program);
}

// The version is CMake's; the page's footer, the README and the newest NEWS.md entry of a
// release show it (an "Unreleased" entry above it gathers what comes next).
TEST(Manual, VersionIsTheProjectsInPageReadmeAndNews) {
    const std::string version = VANTOREL_VERSION;
    std::vector<std::string> page = lines_of(read_file(manual_page));
    EXPECT_NE(std::find(page.begin(), page.end(), ".Os vantorel " + version), page.end());

    EXPECT_NE(read_file(source_dir + "/README.md").find("This is vantorel " + version + ","),
              std::string::npos);

    std::vector<std::string> news = lines_of(read_file(source_dir + "/NEWS.md"));
    auto newest = std::find_if(news.begin(), news.end(), [](const std::string &line) {
        return line.starts_with("## ") && line != "## Unreleased";
    });
    ASSERT_NE(newest, news.end());
    EXPECT_TRUE(newest->starts_with("## " + version + " ")) << *newest;
}

} // namespace
