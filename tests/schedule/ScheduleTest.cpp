// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/BootClone.h"
#include "settings/BootCommandLine.h"
#include "settings/ScheduledClone.h"

#include "platform/files/TextFiles.h"
#include "platform/registry/RegistryStore.h"
#include "platform/shell/Shell.h"
#include "platform/ui/MessageBox.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using platform::RegRoot;
using Texts = std::vector<std::string>;

constexpr const char* kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const char* kEntry = "Vantrel Clone Partition";
constexpr const char* kList = "0,16,229,3,0,0,0,0";
const std::string kRebootQuestion =
    "The system must be rebooted to begin the clone process.\n\nClick Yes to reboot the system now.\t\t\t\t  \n"
    "Click No to have the clone process begin the next time you reboot.\t\t\t\t  \n"
    "Click Cancel to cancel the clone entirely.";
const std::string kPending = kOtherProgramsScheduledText;

TEST(BootCommandLine, AFolderWithSpacesAndATrailingBackslashSplitsBackWhole)
{
    const std::string folder = "C:\\Program Files\\Tembric Vantrel\\";
    auto arguments = BootCloneArguments(folder, "C:", "E:", "NTFS", kList, 1, {});
    std::string line = JoinBootCommandLine(arguments);

    EXPECT_EQ(line, "\"C:\\Program Files\\Tembric Vantrel\\Keldrun.exe\" C: E: NTFS 0,16,229,3,0,0,0,0 1 "
                    "\"C:\\Program Files\\Tembric Vantrel\\\\\"");
    EXPECT_EQ(CheckBootCommandLine(line, arguments), BootLineCheck::Ok);
    EXPECT_EQ(platform::SplitCommandLine(line),
              (Texts{folder + "Keldrun.exe", "C:", "E:", "NTFS", kList, "1", folder}));
}

TEST(BootCommandLine, FoldersOfThisMachineSplitBackToo)
{
    for (std::string folder : {"/usr/local/lib/vantrel/", "/opt/my tools/vantrel/", "/srv/a\\b\\\\/", "\\\\"}) {
        auto arguments = BootCloneArguments(folder, "D:", "F:", "FAT32", "1,2,3,4,", 0, {});
        std::string line = JoinBootCommandLine(arguments);
        EXPECT_EQ(CheckBootCommandLine(line, arguments), BootLineCheck::Ok) << line;
        EXPECT_EQ(platform::SplitCommandLine(line).back(), folder);
    }
}

// The options travel as digits after the folder, written only up to the last one that is
// on: with all of them off the line is the six-argument one, and an option that comes after
// another writes that one as 0.
TEST(BootCommandLine, OptionDigitsFollowTheFolderUpToTheLastOptionOn)
{
    EXPECT_EQ(OptionDigits({}), Texts{});
    EXPECT_EQ(OptionDigits({false, false}), Texts{});
    EXPECT_EQ(OptionDigits({true, false}), Texts{"1"});
    EXPECT_EQ(OptionDigits({false, true}), (Texts{"0", "1"}));

    const std::string folder = "/opt/Tembric Vantrel\\";
    auto arguments = BootCloneArguments(folder, "C:", "E:", "NTFS", kList, 0, CBootCloneOptions{true});
    std::string line = JoinBootCommandLine(arguments);
    EXPECT_EQ(line, "\"/opt/Tembric Vantrel\\Keldrun.exe\" C: E: NTFS 0,16,229,3,0,0,0,0 0 "
                    "\"/opt/Tembric Vantrel\\\\\" 1");
    EXPECT_EQ(CheckBootCommandLine(line, arguments), BootLineCheck::Ok);
    EXPECT_EQ(platform::SplitCommandLine(line),
              (Texts{folder + "Keldrun.exe", "C:", "E:", "NTFS", kList, "0", folder, "1"}));
}

// Copying only the used space writes the verify digit as 0 before its own, and the line
// still splits back, within the same limit.
TEST(BootCommandLine, CopyingOnlyUsedSpaceAddsTwoDigitsAfterTheFolder)
{
    const std::string folder = "C:\\Program Files\\Tembric Vantrel\\";
    auto arguments = BootCloneArguments(folder, "C:", "E:", "NTFS", kList, 0, {.usedSpaceOnly = true});
    std::string line = JoinBootCommandLine(arguments);
    EXPECT_EQ(line, "\"C:\\Program Files\\Tembric Vantrel\\Keldrun.exe\" C: E: NTFS 0,16,229,3,0,0,0,0 0 "
                    "\"C:\\Program Files\\Tembric Vantrel\\\\\" 0 1");
    EXPECT_EQ(CheckBootCommandLine(line, arguments), BootLineCheck::Ok);
    EXPECT_EQ(platform::SplitCommandLine(line),
              (Texts{folder + "Keldrun.exe", "C:", "E:", "NTFS", kList, "0", folder, "0", "1"}));
    auto both = BootCloneArguments(folder, "C:", "E:", "NTFS", kList, 0, {.verifyCopy = true, .usedSpaceOnly = true});
    EXPECT_EQ(std::vector<std::string>(both.end() - 2, both.end()), (Texts{"1", "1"}));

    // A folder that leaves room for six arguments but not for eight.
    const std::string deep = "/" + std::string(103, 'v') + "/";
    auto six = BootCloneArguments(deep, "C:", "E:", "NTFS", kList, 1, {});
    auto eight = BootCloneArguments(deep, "C:", "E:", "NTFS", kList, 1, {.usedSpaceOnly = true});
    EXPECT_EQ(CheckBootCommandLine(JoinBootCommandLine(six), six), BootLineCheck::Ok);
    EXPECT_EQ(CheckBootCommandLine(JoinBootCommandLine(eight), eight), BootLineCheck::TooLong);
}

TEST(BootCommandLine, ALineIsRefusedRatherThanCutShortOrMisread)
{
    // A 105-character folder gives a line of 258 characters; the longer size-field lists
    // make it 259 (room left for the zero) and 260.
    auto line = [](std::size_t extra) {
        std::string folder = "/" + std::string(103, 'v') + "/";
        auto arguments = BootCloneArguments(folder, "C:", "E:", "NTFS", kList + std::string(extra, '0'), 1, {});
        std::string text = JoinBootCommandLine(arguments);
        EXPECT_EQ(text.size(), 258 + extra);
        return CheckBootCommandLine(text, arguments);
    };
    EXPECT_EQ(line(1), BootLineCheck::Ok);
    EXPECT_EQ(line(2), BootLineCheck::TooLong);

    auto quoted = BootCloneArguments("/opt/say \"hi\"/", "C:", "E:", "NTFS", kList, 1, {});
    EXPECT_EQ(CheckBootCommandLine(JoinBootCommandLine(quoted), quoted), BootLineCheck::Ambiguous);
}

class ScheduleTest : public ::testing::Test {
protected:
    void Schedule(std::deque<int> answers, const std::string& folder = "/opt/Tembric Vantrel/",
                  const CBootCloneOptions& options = {})
    {
        for (int answer : answers)
            m_boxes.Answer(answer);
        ScheduleBootClone(folder, "C:", "E:", "FAT32", "1,2,3,4,", 0, options);
    }

    std::optional<std::string> Entry(RegRoot root = RegRoot::LocalMachine) const
    {
        platform::CRegKey key;
        std::string text;
        if (platform::CRegKey::Open(root, kRunOnce, platform::RegAccess::Read, key) != platform::RegStatus::Ok ||
            platform::ReadStringValue(key, kEntry, text) != platform::RegStatus::Ok)
            return std::nullopt;
        return text;
    }

    void AddRunOnceValue(RegRoot root, const std::string& name)
    {
        platform::CRegKey key;
        ASSERT_EQ(platform::CRegKey::Create(root, kRunOnce, key), platform::RegStatus::Ok);
        ASSERT_EQ(platform::WriteStringValue(key, name, "/usr/bin/true"), platform::RegStatus::Ok);
    }

    std::optional<std::string> ShutdownLog() const { return platform::ReadWholeFile(m_machine.Path("shutdown.log")); }

    testsupport::CTempMachine m_machine;
    testsupport::CScriptedMessageBox m_boxes;
};

TEST_F(ScheduleTest, CancelStoresAndRestartsNothing)
{
    Schedule({platform::IDCANCEL});
    EXPECT_EQ(m_boxes.Texts(), Texts{kRebootQuestion});
    EXPECT_FALSE(Entry());
    EXPECT_FALSE(ShutdownLog());
}

TEST_F(ScheduleTest, NoStoresTheEntryAndASecondTryFindsItPending)
{
    EXPECT_TRUE(RunOnceIsEmpty());
    Schedule({platform::IDNO});
    EXPECT_EQ(Entry(), "\"/opt/Tembric Vantrel/Keldrun.exe\" C: E: FAT32 1,2,3,4, 0 \"/opt/Tembric Vantrel/\"");
    EXPECT_FALSE(ShutdownLog());
    EXPECT_FALSE(RunOnceIsEmpty());

    // The entry is Vantrel's own: the refusal says which clone waits and offers to cancel
    // it; No keeps it.
    Schedule({platform::IDNO, platform::IDNO}, "/elsewhere/");
    const std::string scheduled = AlreadyScheduledText(*FindScheduledClone());
    EXPECT_EQ(scheduled, "Cannot run in Safe Mode at this time.  A Vantrel clone is already scheduled for the next "
                         "start of the machine: the C: partition onto the E: partition, FAT32, in slow mode.\n\nDo "
                         "you want to cancel it?  Yes cancels it; press Create again to schedule this clone instead.  "
                         "No keeps it.");
    EXPECT_EQ(m_boxes.Texts(), (Texts{kRebootQuestion, kRebootQuestion, scheduled}));
    EXPECT_EQ(Entry(), "\"/opt/Tembric Vantrel/Keldrun.exe\" C: E: FAT32 1,2,3,4, 0 \"/opt/Tembric Vantrel/\"");

    // Yes cancels it, and the next Create schedules the new clone.
    Schedule({platform::IDNO, platform::IDYES}, "/elsewhere/");
    EXPECT_EQ(m_boxes.Texts().back(), kScheduledCloneCancelledText);
    EXPECT_FALSE(Entry());
    EXPECT_TRUE(RunOnceIsEmpty());
    Schedule({platform::IDNO}, "/elsewhere/");
    EXPECT_EQ(Entry(), "\"/elsewhere/Keldrun.exe\" C: E: FAT32 1,2,3,4, 0 \"/elsewhere/\"");
    EXPECT_FALSE(ShutdownLog());
}

// Vantrel's entry and another program's wait together: cancelling Vantrel's would not let
// the new clone be scheduled, so the refusal is the one for other programs, and Vantrel's
// entry stays.
TEST_F(ScheduleTest, VantrelsEntryBesideAnotherProgramsIsRefusedForTheOtherProgram)
{
    Schedule({platform::IDNO});
    const std::optional<std::string> stored = Entry();
    ASSERT_TRUE(stored);
    for (RegRoot root : {RegRoot::CurrentUser, RegRoot::LocalMachine}) {
        AddRunOnceValue(root, "Updater");
        Schedule({platform::IDNO}, "/elsewhere/");
        EXPECT_EQ(m_boxes.Texts().back(), kPending);
        EXPECT_EQ(Entry(), stored);
    }
}

// The entry read back: split by the Windows rules, the mode and the optional digits read as
// Keldrun reads them, and a line that carries no clone, or another program under Vantrel's
// name, told as it stands.
TEST_F(ScheduleTest, TheScheduledCloneIsReadBackFromItsEntry)
{
    EXPECT_FALSE(FindScheduledClone());
    AddRunOnceValue(RegRoot::LocalMachine, "Updater");
    EXPECT_FALSE(FindScheduledClone());

    Schedule({platform::IDNO});  // blocked by the updater: nothing stored
    EXPECT_FALSE(FindScheduledClone());
    platform::CRegKey key;
    ASSERT_EQ(platform::CRegKey::Create(RegRoot::LocalMachine, kRunOnce, key), platform::RegStatus::Ok);
    const auto describe = [](const std::string& drive) { return drive + " (/dev/" + drive.substr(0, 1) + ")"; };
    for (auto [line, summary] : std::initializer_list<std::pair<std::string, std::string>>{
             {"\"/opt/v w/Keldrun.exe\" D: F: NTFS 0,16,229,3,0,0,0,0 1 \"/opt/v w/\\\"",
              "the D: (/dev/D) partition onto the F: (/dev/F) partition, NTFS, in fast mode"},
             {"\"/opt/Keldrun.exe\" D: F: FAT32 1,2,3,4, x1 \"/opt/\" 1",
              "the D: (/dev/D) partition onto the F: (/dev/F) partition, FAT32, in slow mode, verified"},
             {"\"/opt/Keldrun.exe\" D: F: NTFS 1,2,3,4, 0 \"/opt/\" x 1",
              "the D: (/dev/D) partition onto the F: (/dev/F) partition, NTFS, in slow mode, only the used space"},
             {"\"/opt/KELDRUN.EXE\" D: F: NTFS 0,16,229,3,0,0,0,0 0 \"/opt/\"",
              "the D: (/dev/D) partition onto the F: (/dev/F) partition, NTFS, in slow mode"},
             {"\"/tmp/wipe.exe\" D: F: NTFS 0,16,229,3,0,0,0,0 1 \"/opt/\"",
              "the command \"/tmp/wipe.exe\" D: F: NTFS 0,16,229,3,0,0,0,0 1 \"/opt/\""},
             {"/usr/bin/true", "the command /usr/bin/true"}}) {
        ASSERT_EQ(platform::WriteStringValue(key, kEntry, line), platform::RegStatus::Ok);
        std::optional<CScheduledClone> clone = FindScheduledClone();
        ASSERT_TRUE(clone);
        EXPECT_EQ(clone->commandLine, line);
        EXPECT_EQ(ScheduledCloneSummary(*clone, describe), summary);
    }
    EXPECT_EQ(FindScheduledClone()->arguments, Texts{"/usr/bin/true"});
    EXPECT_TRUE(CancelScheduledClone());
    EXPECT_FALSE(FindScheduledClone());
    EXPECT_TRUE(CancelScheduledClone());  // nothing left to cancel
    // Other programs' entries stay, and still block Safe Mode with the message for them.
    Schedule({platform::IDNO});
    EXPECT_EQ(m_boxes.Texts().back(), kPending);
}

TEST_F(ScheduleTest, AVerifiedCloneCarriesTheVerifyDigit)
{
    m_boxes.Answer(platform::IDNO);
    ScheduleBootClone("/opt/Tembric Vantrel/", "C:", "E:", "FAT32", "1,2,3,4,", 1, CBootCloneOptions{true});
    EXPECT_EQ(Entry(), "\"/opt/Tembric Vantrel/Keldrun.exe\" C: E: FAT32 1,2,3,4, 1 \"/opt/Tembric Vantrel/\" 1");
}

TEST_F(ScheduleTest, TheEntryOfAUsedSpaceCloneEndsWithTheVerifyAndUsedSpaceDigits)
{
    Schedule({platform::IDNO}, "/opt/Tembric Vantrel/", {.usedSpaceOnly = true});
    EXPECT_EQ(Entry(), "\"/opt/Tembric Vantrel/Keldrun.exe\" C: E: FAT32 1,2,3,4, 0 \"/opt/Tembric Vantrel/\" 0 1");
}

TEST_F(ScheduleTest, YesStoresTheEntryAndRestartsOnce)
{
    Schedule({platform::IDYES});
    EXPECT_TRUE(Entry());
    EXPECT_EQ(ShutdownLog(), "shutdown -r -f -t 0\n");
    EXPECT_EQ(m_boxes.Texts(), Texts{kRebootQuestion});
}

TEST_F(ScheduleTest, OnlyNamedEntriesOfEitherListBlock)
{
    AddRunOnceValue(RegRoot::CurrentUser, "");
    AddRunOnceValue(RegRoot::LocalMachine, "");
    EXPECT_TRUE(RunOnceIsEmpty());

    AddRunOnceValue(RegRoot::CurrentUser, "Updater");
    EXPECT_FALSE(RunOnceIsEmpty());
    Schedule({platform::IDYES});
    EXPECT_EQ(m_boxes.Texts(), (Texts{kRebootQuestion, kPending}));
    EXPECT_FALSE(Entry());
    EXPECT_FALSE(Entry(RegRoot::CurrentUser));
    EXPECT_FALSE(ShutdownLog());
}

TEST_F(ScheduleTest, AnEntryThatCannotBeStoredIsToldAndNoRestartFollows)
{
    // A folder too deep for the 260-byte line, then a registry that cannot be written.
    Schedule({platform::IDYES}, "/" + std::string(200, 'd') + "/");
    ASSERT_EQ(m_boxes.Texts().size(), 2u);
    EXPECT_NE(m_boxes.Texts()[1].find("too long"), std::string::npos);

    std::filesystem::create_directory(m_machine.Path("hklm.db"));
    Schedule({platform::IDYES});
    ASSERT_EQ(m_boxes.Texts().size(), 4u);
    EXPECT_NE(m_boxes.Texts()[3].find("could not be stored"), std::string::npos);

    EXPECT_FALSE(Entry());
    EXPECT_FALSE(ShutdownLog());
}

}  // namespace
