// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/DriveProbe.h"

#include "platform/drives/DriveLetters.h"
#include "platform/shell/Shell.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <optional>
#include <vector>

namespace {

// The full path of a formatting tool, which lives in an sbin folder often not on PATH.
std::optional<std::string> FindTool(const std::string& name)
{
    for (const char* dir : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
        if (access((dir + name).c_str(), X_OK) == 0)
            return dir + name;
    }
    return std::nullopt;
}

// Formats an image file of the machine and gives it drive letter C:.
class FileSystemImageTest : public ::testing::Test {
protected:
    void Format(std::size_t size, std::vector<std::string> command)
    {
        const std::string tool = command[0];
        std::optional<std::string> path = FindTool(tool);
        if (!path)
            GTEST_SKIP() << tool << " is not installed";
        command[0] = *path;
        m_image = m_machine.MakeImage("volume.img", size);
        command.push_back(m_image);
        ASSERT_EQ(platform::RunProgram(command), 0) << tool << " failed";
        std::string error;
        ASSERT_TRUE(platform::AssignDriveLetter('C', m_image, error)) << error;
    }
    bool Probe(bool recogniseFat16)
    {
        CDriveProbe probe(recogniseFat16);
        return probe.ProbeVolume("C:", m_fileSystem, m_size, m_list);
    }

    testsupport::CTempMachine m_machine;
    std::string m_image;
    std::string m_fileSystem;
    std::uint64_t m_size = 0;
    std::string m_list;
};

constexpr std::size_t kMiB = 1 << 20;

TEST_F(FileSystemImageTest, Ntfs)
{
    Format(64 * kMiB, {"mkntfs", "-F", "-Q", "-q", "-s", "512", "-p", "0", "-S", "63", "-H", "255"});
    if (IsSkipped() || HasFatalFailure())
        return;
    ASSERT_TRUE(Probe(false));
    EXPECT_EQ(m_fileSystem, "NTFS");
    EXPECT_EQ(m_size, 64 * kMiB);
    // The format leaves the last sector for its backup boot sector: 131071 sectors.
    EXPECT_EQ(m_list, "255,255,1,0,0,0,0,0");
}

TEST_F(FileSystemImageTest, Fat32)
{
    Format(64 * kMiB, {"mkfs.fat", "-F", "32"});
    if (IsSkipped() || HasFatalFailure())
        return;
    ASSERT_TRUE(Probe(false));
    EXPECT_EQ(m_fileSystem, "FAT32");
    EXPECT_EQ(m_size, 64 * kMiB);
    EXPECT_EQ(m_list, "0,0,2,0,");

    // The same drive as the machine's survey sees it.
    CDriveProbe survey(false);
    EXPECT_EQ(survey.SurveyDrives(false), "C");
    EXPECT_NE(survey.Report().find("Drive: C:\n    Fixed drive\n    Successfully read drive.\n"
                                   "    File system: FAT32\n    Partition size: 67,108,864\n\n"),
              std::string::npos)
        << survey.Report();
}

TEST_F(FileSystemImageTest, LargeFat16)
{
    Format(64 * kMiB, {"mkfs.fat", "-F", "16"});
    if (IsSkipped() || HasFatalFailure())
        return;
    ASSERT_TRUE(Probe(true));
    EXPECT_EQ(m_fileSystem, "FAT16");
    EXPECT_EQ(m_size, 64 * kMiB);
    EXPECT_EQ(m_list, "0,0,2,0,");
    EXPECT_FALSE(Probe(false));
}

TEST_F(FileSystemImageTest, SmallFat16CountsInTheSixteenBitField)
{
    Format(16 * kMiB, {"mkfs.fat", "-F", "16"});
    if (IsSkipped() || HasFatalFailure())
        return;
    ASSERT_TRUE(Probe(true));
    EXPECT_EQ(m_fileSystem, "FAT16");
    EXPECT_EQ(m_size, 16 * kMiB);
    EXPECT_EQ(m_list, "0,0,0,0,");
}

}  // namespace
