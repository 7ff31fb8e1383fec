// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/BootClone.h"

#include "clone/CloneTexts.h"
#include "clone/usedspace/UsedSpace.h"
#include "platform/drives/DriveLetters.h"
#include "platform/files/TextFiles.h"
#include "platform/registry/RegistryStore.h"
#include "tests/bootclone/ProgramRun.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

constexpr std::size_t kSector = 512;
constexpr const char* kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const char* kEntry = "Vantrel Clone Partition";
constexpr const char* kNtfsList = "0,16,229,3,0,0,0,0";

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i / kSector) * 29 + i * 3);
    return bytes;
}

// A clone scheduled from Vantrel and run at the next start by vantrel-runonce, on a
// simulated machine whose install folder has blanks in its path.
class BootPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // vantrel-runonce runs nothing from a store that anyone but root could change.
        if (geteuid() != 0)
            GTEST_SKIP() << "the boot-time runner trusts only a registry owned by root";
        fs::create_directories(m_folder);
        Drive('S', m_source);
        Drive('D', std::string(m_source.size() + 8 * kSector, '\xEE'));
    }

    void Drive(char letter, const std::string& content)
    {
        std::string path = m_machine.Path(std::string(1, letter) + ".img");
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        std::string error;
        ASSERT_TRUE(platform::AssignDriveLetter(letter, path, error)) << error;
    }

    // Schedules S: onto D: without restarting now.
    void Schedule(const std::string& fileSystem, int fastMode, const CBootCloneOptions& options = {})
    {
        m_boxes.Answer(platform::IDNO);
        ScheduleBootClone(m_folder, "S:", "D:", fileSystem, kNtfsList, fastMode, options);
    }
    // A stand-in for Keldrun that writes down what it was given, one argument a line.
    void RecordArguments()
    {
        std::ofstream(m_folder + "Keldrun.exe") << "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"$(dirname \"$0\")/args\"\n";
        fs::permissions(m_folder + "Keldrun.exe", fs::perms::owner_all);
    }

    std::optional<std::string> Entry() const
    {
        platform::CRegKey key;
        std::string text;
        if (platform::CRegKey::Open(platform::RegRoot::LocalMachine, kRunOnce, platform::RegAccess::Read, key) !=
                platform::RegStatus::Ok ||
            platform::ReadStringValue(key, kEntry, text) != platform::RegStatus::Ok)
            return std::nullopt;
        return text;
    }

    testsupport::CProgramResult Boot()
    {
        return testsupport::RunCaptured({RUNONCE_PATH}, "\n", m_machine.Root());
    }

    testsupport::CTempMachine m_machine;
    testsupport::CScriptedMessageBox m_boxes;
    std::string m_folder = m_machine.Path("Program Files/Tembric Vantrel/");
    std::string m_source = Pattern(256 * 1024);
};

TEST_F(BootPathTest, KeldrunReceivesExactlyTheSixArgumentsOfTheClone)
{
    RecordArguments();
    Schedule("FAT32", 0);

    auto run = Boot();
    EXPECT_EQ(run.m_exitCode, 0) << run.m_err;
    EXPECT_EQ(platform::ReadWholeFile(m_folder + "args"),
              m_folder + "Keldrun.exe\nS:\nD:\nFAT32\n" + kNtfsList + "\n0\n" + m_folder + "\n");
    EXPECT_FALSE(Entry());
}

// The verify digit comes before the used-space digit, and says no verification.
TEST_F(BootPathTest, CopyingOnlyUsedSpaceAddsTheVerifyAndUsedSpaceDigitsAfterTheFolder)
{
    RecordArguments();
    Schedule("NTFS", 1, {.usedSpaceOnly = true});

    auto run = Boot();
    EXPECT_EQ(run.m_exitCode, 0) << run.m_err;
    EXPECT_EQ(platform::ReadWholeFile(m_folder + "args"),
              m_folder + "Keldrun.exe\nS:\nD:\nNTFS\n" + kNtfsList + "\n1\n" + m_folder + "\n0\n1\n");
}

TEST_F(BootPathTest, TheScheduledCloneRunsOnceAtTheNextStart)
{
    fs::create_symlink(KELDRUN_PATH, m_folder + "Keldrun.exe");
    Schedule("FAT32", 1);
    ASSERT_TRUE(Entry());
    // Until the restart the entry itself blocks a second scheduling, which says so.
    Schedule("FAT32", 0);
    EXPECT_TRUE(m_boxes.Texts().back().starts_with(
        "Cannot run in Safe Mode at this time.  A Vantrel clone is already scheduled for the next start of the "
        "machine: the S: partition onto the D: partition, FAT32, in fast mode."))
        << m_boxes.Texts().back();

    auto run = Boot();
    EXPECT_EQ(run.m_exitCode, 0) << run.m_err;
    EXPECT_NE(run.m_out.find("Succesfully created the D: partition clone."), std::string::npos) << run.m_out;
    EXPECT_FALSE(Entry());

    std::string copy = platform::ReadWholeFile(m_machine.Path("D.img")).value_or("");
    EXPECT_TRUE(copy.substr(0, m_source.size()) == m_source) << "the copy is not the source";
    EXPECT_EQ(platform::ReadWholeFile(m_folder + "status.txt"),
              "From: S:\nTo:   D:\nFile System: FAT32\n\n262144\nDone => 262144\n");
    EXPECT_EQ(platform::ReadWholeFile(m_machine.Path("shutdown.log")), "shutdown -r -f -t 0\n");

    // Nothing is left to run at the start after that.
    run = Boot();
    EXPECT_EQ(run.m_exitCode, 0) << run.m_err;
    EXPECT_EQ(platform::ReadWholeFile(m_machine.Path("shutdown.log")), "shutdown -r -f -t 0\n");
}

// Keldrun heard the option: a source that holds no FAT32 file system has no used space to
// tell, and is copied whole with a line that says so.
TEST_F(BootPathTest, TheScheduledCloneCopiesOnlyUsedSpaceWhereItCanBeTold)
{
    fs::create_symlink(KELDRUN_PATH, m_folder + "Keldrun.exe");
    Schedule("FAT32", 1, {.usedSpaceOnly = true});

    auto run = Boot();
    EXPECT_EQ(run.m_exitCode, 0) << run.m_err;
    const std::string whole = WholePartitionText("S:", usedspace::kFatBootSectorUnsound);
    EXPECT_EQ(platform::ReadWholeFile(m_folder + "status.txt"),
              "From: S:\nTo:   D:\nFile System: FAT32\n\n" + whole + "\n262144\nDone => 262144\n");
    EXPECT_NE(run.m_out.find(whole), std::string::npos) << run.m_out;
    std::string copy = platform::ReadWholeFile(m_machine.Path("D.img")).value_or("");
    EXPECT_TRUE(copy.substr(0, m_source.size()) == m_source) << "the copy is not the source";
}

}  // namespace
