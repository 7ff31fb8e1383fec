#include "clone/ReportFile.h"

#include "platform/files/TextFiles.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

namespace {

TEST(AddThousandsSeparators, GroupsDigitsByThreeFromTheRight)
{
    EXPECT_EQ(AddThousandsSeparators(""), "");
    EXPECT_EQ(AddThousandsSeparators("0"), "0");
    EXPECT_EQ(AddThousandsSeparators("999"), "999");
    EXPECT_EQ(AddThousandsSeparators("1000"), "1,000");
    EXPECT_EQ(AddThousandsSeparators("20971520"), "20,971,520");
    EXPECT_EQ(AddThousandsSeparators(FormatBytes(18446744073709551615ULL)), "18,446,744,073,709,551,615");
}

TEST(ReportFile, StartsAfreshAndAppendsLineByLine)
{
    testsupport::CTempMachine machine;
    std::string report = machine.Path("Report.txt");
    AppendReportLine(report, "old run");
    RemoveIfExists(report);
    AppendReportLine(report, "From: C:\nTo:   D:\nFile System: NTFS\n");
    AppendReportLine(report, "Done => 0");
    EXPECT_EQ(platform::ReadWholeFile(report), "From: C:\nTo:   D:\nFile System: NTFS\n\nDone => 0\n");
}

TEST(ReportFile, AFolderThatDoesNotExistIsNoError)
{
    testsupport::CTempMachine machine;
    std::string report = machine.Path("missing/Report.txt");
    RemoveIfExists(report);
    AppendReportLine(report, "Done => 0");
    EXPECT_FALSE(platform::FileExists(report));
}

}  // namespace
