#include "platform/shell/Shell.h"

#include <gtest/gtest.h>

using platform::QuoteArgument;
using platform::SplitArguments;
using platform::SplitCommandLine;
using Args = std::vector<std::string>;

namespace {

struct SplitCase {
    std::string line;
    Args expected;
};

void ExpectSplits(const std::vector<SplitCase>& cases)
{
    for (const SplitCase& c : cases)
        EXPECT_EQ(SplitCommandLine(c.line), c.expected) << "line: " << c.line;
}

TEST(SplitCommandLine, BlanksAndTabsSeparateAndQuotesGroup)
{
    ExpectSplits({
        {"prog a b", {"prog", "a", "b"}},
        {"   prog \t a\t\tb   ", {"prog", "a", "b"}},
        {"prog \"a b\" c", {"prog", "a b", "c"}},
        {"prog a\"b c\"d", {"prog", "ab cd"}},
        {"prog \"open to the end", {"prog", "open to the end"}},
        {"", {}},
        {" \t ", {}},
    });
}

TEST(SplitCommandLine, BackslashesCountOnlyBeforeAQuote)
{
    ExpectSplits({
        {"prog C:\\dir\\ a\\\\b", {"prog", "C:\\dir\\", "a\\\\b"}},
        {"prog a\\\"b", {"prog", "a\"b"}},
        {"prog a\\\\\\\"b", {"prog", "a\\\"b"}},
        {"prog a\\\\\"b c\"", {"prog", "a\\b c"}},
        {"prog \"C:\\Program Files\\Vantrel\\\\\" next", {"prog", "C:\\Program Files\\Vantrel\\", "next"}},
        // One backslash before the closing quote makes it a literal quote; the group runs on.
        {"prog \"C:\\Program Files\\Vantrel\\\" next", {"prog", "C:\\Program Files\\Vantrel\" next"}},
    });
}

TEST(SplitCommandLine, EmptyAndDoubledQuotes)
{
    ExpectSplits({
        {"prog \"\" x", {"prog", "", "x"}},
        {"prog \"\"", {"prog", ""}},
        {"prog \"a\"\"b\" c", {"prog", "a\"b", "c"}},
        {"prog \"a\"\" b\"", {"prog", "a\" b"}},
        {"prog a\"\"b", {"prog", "ab"}},
    });
}

TEST(SplitCommandLine, ProgramTakesNoBackslashRules)
{
    ExpectSplits({
        {"\"C:\\Program Files\\Vantrel\\Keldrun.exe\" C:", {"C:\\Program Files\\Vantrel\\Keldrun.exe", "C:"}},
        {"\"C:\\odd dir\\\" arg", {"C:\\odd dir\\", "arg"}},
        {"C:\\a\\\"b c\"\\p.exe x", {"C:\\a\\b c\\p.exe", "x"}},
    });
}

TEST(SplitArguments, TheFirstArgumentFollowsTheArgumentRules)
{
    EXPECT_EQ(SplitArguments("-r -f -t 0"), (Args{"-r", "-f", "-t", "0"}));
    EXPECT_EQ(SplitArguments("\"a\\\"b\" c"), (Args{"a\"b", "c"}));
    EXPECT_EQ(SplitArguments("  "), Args{});
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

TEST(QuoteArgument, QuotesOnlyWhatNeedsIt)
{
    EXPECT_EQ(QuoteArgument("C:"), "C:");
    EXPECT_EQ(QuoteArgument("235,255,0,0,"), "235,255,0,0,");
    EXPECT_EQ(QuoteArgument("C:\\dir\\"), "C:\\dir\\");
    EXPECT_EQ(QuoteArgument("C:\\Program Files\\Vantrel\\"), "\"C:\\Program Files\\Vantrel\\\\\"");
}

// The boot-time command line: the program quoted as it is, the folder quoted last.
TEST(QuoteArgument, InstallFolderWithSpacesSplitsBackWithOneTrailingBackslash)
{
    const std::string folder = "C:\\Program Files\\My Vantrel\\";
    std::string line = "\"" + folder + "Keldrun.exe\" C: E: NTFS 0,32,3,0,0,0,0,0 1 " + QuoteArgument(folder);
    EXPECT_EQ(SplitCommandLine(line),
              (Args{folder + "Keldrun.exe", "C:", "E:", "NTFS", "0,32,3,0,0,0,0,0", "1", folder}));
}

}  // namespace
