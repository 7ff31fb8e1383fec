// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/Shell.h"

#include <gtest/gtest.h>

using platform::QuoteArgument;
using platform::SplitCommandLine;
using Args = std::vector<std::string>;

namespace {

struct SplitCase {
    std::string line;
    Args expected;
};

TEST(SplitCommandLine, BlanksQuotesAndBackslashes)
{
    const std::vector<SplitCase> cases = {
        {"   prog \t a\t\tb   ", {"prog", "a", "b"}},
        {"prog \"a b\" c\"d e\"f", {"prog", "a b", "cd ef"}},
        {"prog \"open to the end", {"prog", "open to the end"}},
        {" \t ", {}},
        // Backslashes count only before a quote.
        {"prog C:\\dir\\ a\\\\b", {"prog", "C:\\dir\\", "a\\\\b"}},
        {"prog a\\\"b a\\\\\\\"b", {"prog", "a\"b", "a\\\"b"}},
        {"prog a\\\\\"b c\"", {"prog", "a\\b c"}},
        {"prog \"C:\\Program Files\\Vantrel\\\\\" next", {"prog", "C:\\Program Files\\Vantrel\\", "next"}},
        // One backslash before the closing quote makes it a literal quote; the group runs on.
        {"prog \"C:\\Program Files\\Vantrel\\\" next", {"prog", "C:\\Program Files\\Vantrel\" next"}},
        // Empty arguments and doubled quotes.
        {"prog \"\" x \"\"", {"prog", "", "x", ""}},
        {"prog \"a\"\" b\" a\"\"b", {"prog", "a\" b", "ab"}},
        // The program takes no backslash rules.
        {"\"C:\\odd dir\\\" arg", {"C:\\odd dir\\", "arg"}},
        {"C:\\a\\\"b c\"\\p.exe x", {"C:\\a\\b c\\p.exe", "x"}},
    };
    for (const SplitCase& c : cases)
        EXPECT_EQ(SplitCommandLine(c.line), c.expected) << "line: " << c.line;
}

TEST(QuoteArgument, EveryArgumentComesBackUnchanged)
{
    const Args tricky = {"",       "plain",  "a b",     "tab\there", "C:\\Program Files\\Vantrel\\",
                         "/opt/my vantrel/",   "a\"b",    "a\\\"b",    "\\",
                         "ends\\", "\\\\\"", "\"\"",   "\" \"",     "back\\\\slashes\\\\ x"};
    std::string line = "prog";
    Args expected = {"prog"};
    for (const std::string& argument : tricky) {
        EXPECT_EQ(SplitCommandLine("prog " + QuoteArgument(argument) + " next"), (Args{"prog", argument, "next"}))
            << "argument: " << argument << " quoted: " << QuoteArgument(argument);
        line += " " + QuoteArgument(argument);
        expected.push_back(argument);
    }
    EXPECT_EQ(SplitCommandLine(line), expected);
}

// The boot-time command line: the program quoted as it is, the folder quoted last.
TEST(QuoteArgument, InstallFolderWithSpacesSplitsBackWithOneTrailingBackslash)
{
    const std::string folder = "C:\\Program Files\\My Vantrel\\";
    EXPECT_EQ(QuoteArgument(folder), "\"C:\\Program Files\\My Vantrel\\\\\"");
    std::string line = "\"" + folder + "Keldrun.exe\" C: E: NTFS 0,32,3,0,0,0,0,0 1 " + QuoteArgument(folder);
    EXPECT_EQ(SplitCommandLine(line),
              (Args{folder + "Keldrun.exe", "C:", "E:", "NTFS", "0,32,3,0,0,0,0,0", "1", folder}));
}

}  // namespace
