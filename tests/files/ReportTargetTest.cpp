// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/TextFiles.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

using platform::AppendToFile;
using platform::ReadWholeFile;
using platform::RemoveIfOpenable;

namespace {

constexpr uid_t kOtherUser = 65534;

// A report path in a machine folder, and a file only root may read or write that a
// planted link or hard link may point at.
class ReportTarget : public testing::Test {
protected:
    ReportTarget()
    {
        std::ofstream(m_secret) << "secret\n";
        chmod(m_secret.c_str(), 0600);
    }

    bool IsLink(const std::string& path) const { return std::filesystem::is_symlink(path); }
    std::optional<std::string> Secret() const { return ReadWholeFile(m_secret); }

    testsupport::CTempMachine m_machine;
    std::string m_report = m_machine.Path("status.txt");
    std::string m_secret = m_machine.Path("root-only");
};

TEST_F(ReportTarget, ALinkIsNeverWrittenThroughAndRemovalTakesTheLinkNotItsTarget)
{
    const std::string missing = m_machine.Path("created-by-the-report");
    for (const std::string& target : {missing, m_secret}) {
        ASSERT_EQ(symlink(target.c_str(), m_report.c_str()), 0);
        EXPECT_FALSE(AppendToFile(m_report, "From: X:\n")) << target;
        EXPECT_TRUE(IsLink(m_report)) << target;
        EXPECT_TRUE(RemoveIfOpenable(m_report)) << target;
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(m_report))) << target;
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(Secret(), "secret\n");

    // With the link gone the report is a file of its own again.
    EXPECT_TRUE(AppendToFile(m_report, "From: X:\n"));
    EXPECT_EQ(ReadWholeFile(m_report), "From: X:\n");
}

TEST_F(ReportTarget, ALinkSwappedInBetweenTwoLinesGetsNothing)
{
    ASSERT_TRUE(AppendToFile(m_report, "20971520\n"));
    const std::string planted = m_machine.Path("planted");
    ASSERT_EQ(symlink(m_secret.c_str(), planted.c_str()), 0);
    ASSERT_EQ(std::rename(planted.c_str(), m_report.c_str()), 0);
    EXPECT_FALSE(AppendToFile(m_report, "41943040\n"));
    EXPECT_EQ(Secret(), "secret\n");
}

TEST_F(ReportTarget, AsRootAFileWithOtherLinksOrOfAForeignOwnerIsRefused)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the ownership checks are root's";
    ASSERT_EQ(link(m_secret.c_str(), m_report.c_str()), 0);
    EXPECT_FALSE(AppendToFile(m_report, "line\n"));
    EXPECT_EQ(Secret(), "secret\n");
    ASSERT_EQ(unlink(m_report.c_str()), 0);

    std::ofstream(m_report) << "theirs\n";
    ASSERT_EQ(chown(m_report.c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_FALSE(AppendToFile(m_report, "line\n"));
    EXPECT_EQ(ReadWholeFile(m_report), "theirs\n");

    // In a folder of that user the file is one they could have written anyway, as on a
    // medium whose files all belong to the user who mounted it.
    ASSERT_EQ(chown(m_machine.Root().c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_TRUE(AppendToFile(m_report, "line\n"));
    EXPECT_EQ(ReadWholeFile(m_report), "theirs\nline\n");
    ASSERT_EQ(chown(m_machine.Root().c_str(), 0, 0), 0);
}

TEST_F(ReportTarget, AnythingButARegularFileIsLeftAloneWithoutWaiting)
{
    ASSERT_EQ(mkfifo(m_report.c_str(), 0666), 0);
    EXPECT_FALSE(AppendToFile(m_report, "line\n"));  // would wait for a reader if it opened it
    EXPECT_FALSE(RemoveIfOpenable(m_report));
    EXPECT_TRUE(std::filesystem::is_fifo(m_report));
    ASSERT_EQ(unlink(m_report.c_str()), 0);

    ASSERT_EQ(mkdir(m_report.c_str(), 0755), 0);
    EXPECT_FALSE(AppendToFile(m_report, "line\n"));
    EXPECT_FALSE(RemoveIfOpenable(m_report));
    EXPECT_TRUE(std::filesystem::is_directory(m_report));
}

}  // namespace
