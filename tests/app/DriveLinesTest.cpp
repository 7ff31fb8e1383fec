// SPDX-License-Identifier: GPL-3.0-or-later
// What the clone dialog tells a user who does not think in drive letters: the line under
// each list, a destination in use, the progress of a clone, a clone waiting for the next
// start, and help where no viewer is installed.
#include "app/CloneDlg.h"
#include "app/CloneDlgTexts.h"
#include "app/DriveLine.h"
#include "tests/app/NamedDrives.h"
#include "platform/files/TextFiles.h"
#include "platform/registry/RegistryStore.h"
#include "platform/ui/Controls.h"
#include "settings/OptionsDlgControls.h"
#include "settings/ScheduledClone.h"
#include "tests/support/gui/GuiTest.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/SimulatedMachine.h"
#include "tests/support/TwinNotes.h"
#include "worker/CloneDlgControls.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>

using namespace clonedlg;
using platform::IDNO;
using platform::IDYES;

namespace {

using apptest::kMiB;

// C: and D: with their devices and labels (NamedDrives.h).
class DriveLines : public testing::Test {
protected:
    DriveLines() { apptest::AddNamedDrives(machine); }

    void Settings(std::uint32_t chooseSafeMode, std::uint32_t dontUseSafeMode)
    {
        machine.StoreSetting("ChooseSafeMode", chooseSafeMode);
        machine.StoreSetting("DontUseSafeMode", dontUseSafeMode);
        machine.StoreSetting("SafeModeOnly", chooseSafeMode == 0 && dontUseSafeMode == 0 ? 1 : 0);
    }
    // Gives letter an image file of its own as its device, for the checks of its use.
    std::string Device(char letter)
    {
        std::string image = machine.m_machine.MakeImage(std::string(1, letter) + ".img", 4096);
        machine.m_volumes.SetDevice(letter, image);
        return image;
    }
    // The machine's mount table: image mounted on target, read-only or not.
    void Mounted(const std::string& image, const std::string& target, bool readOnly = false)
    {
        const int mount = ++m_mounts;
        std::ofstream(machine.m_machine.Path("mountinfo"), std::ios::app)
            << "3" << mount << " 1 7:" << mount << " / " << target << (readOnly ? " ro" : " rw")
            << ",relatime - vfat " << image << (readOnly ? " ro\n" : " rw\n");
    }
    int Run(std::function<void(CCloneDlg&)> script)
    {
        CCloneDlg dialog(machine.m_drives, machine.m_volumes);
        return guitest::RunWith(dialog, [&] { script(dialog); });
    }

    guitest::CSimulatedMachine machine;
    testsupport::CScriptedMessageBox boxes;
    int m_mounts = 0;
};

TEST_F(DriveLines, EachListTellsItsDriveAndTheDestinationThatItWillBeOverwritten)
{
    machine.AddUnopenable('F', platform::kDriveFixed);
    machine.m_drives.SetDrive('F', {platform::kDriveFixed, 3 * 1024 * kMiB / 2, 0});
    Run([](CCloneDlg& dialog) {
        const std::string source = "/dev/sdb1, label SOURCE, 100.0 MiB\nnot mounted";
        EXPECT_EQ(dialog.ControlText(kSourceDriveLine), source);
        // The size field keeps its exact bytes beside it.
        EXPECT_EQ(dialog.ControlText(kSourceSize), " 104,857,600");
        EXPECT_EQ(dialog.ControlToolTip(kSourceDriveLine), source);
        EXPECT_EQ(dialog.ControlText(kDestDriveLine), "");

        dialog.UserChoose(kDestList, 1);
        EXPECT_EQ(dialog.ControlText(kDestDriveLine),
                  "/dev/sdc1, label DATA, 200.0 MiB\nnot mounted: will be overwritten");
        EXPECT_TRUE(dialog.IsControlEnabled(kCreateButton));
        dialog.UserChoose(kDestList, 0);
        EXPECT_EQ(dialog.ControlText(kDestDriveLine), "");

        // A source whose file system is not recognised: the drive table's size, and why no
        // destination is offered.
        dialog.UserChoose(kDestList, 1);
        dialog.UserChoose(kSourceList, 2);
        EXPECT_EQ(dialog.ControlText(kSourceDriveLine), "1.5 GiB\nnot mounted: neither NTFS nor FAT32, nothing to clone");
        EXPECT_EQ(dialog.ControlText(kDestDriveLine), "");
        EXPECT_FALSE(dialog.IsControlEnabled(kCreateButton));
    });
}

// A destination in use is marked in the list, never a surprise at Create: it cannot take a
// clone now, only one in Safe Mode, before anything mounts it. A source mounted for
// writing is marked too, with the advice to copy it in Safe Mode; a read-only one is not.
TEST_F(DriveLines, ADriveInUseIsMarkedAndCreateFollowsWhatItWouldStart)
{
    Mounted(Device('D'), "/mnt/data");
    const std::string use = "/dev/sdc1, label DATA, 200.0 MiB\nmounted on /mnt/data: ";
    struct CCase {
        std::uint32_t choose, dontUse;
        bool create;
        const char* line;
    };
    for (const CCase& c : {CCase{0, 1, false, "unmount it to clone onto it"},
                           CCase{1, 0, true, "only Safe Mode can clone onto it"},
                           CCase{0, 0, true, "will be overwritten at the next start"}}) {
        SCOPED_TRACE(c.line);
        Settings(c.choose, c.dontUse);
        Run([&](CCloneDlg& dialog) {
            EXPECT_EQ(guitest::Items(dialog, kDestList), (std::vector<std::string>{"", "D:"}));
            EXPECT_TRUE(dialog.IsItemDimmed(kDestList, 1));
            EXPECT_FALSE(dialog.IsItemDimmed(kSourceList, 0));
            dialog.UserChoose(kDestList, 1);
            EXPECT_EQ(dialog.ControlText(kDestDriveLine), use + c.line);
            EXPECT_EQ(dialog.IsControlEnabled(kCreateButton), c.create);
        });
    }

    // The Options dialog changes what Create would start, and with it the line and Create.
    Settings(1, 0);
    Run([&](CCloneDlg& dialog) {
        dialog.UserChoose(kDestList, 1);
        EXPECT_TRUE(dialog.IsControlEnabled(kCreateButton));
        guitest::WhenNextDialogRuns([](platform::CDialog& options) {
            options.UserClick(optionsdlg::kDontUseSafeModeButton);
            options.UserClick(platform::IDOK);
        });
        dialog.UserClick(kOptionsButton);
        EXPECT_FALSE(dialog.IsControlEnabled(kCreateButton));
        EXPECT_EQ(dialog.ControlText(kDestDriveLine), use + "unmount it to clone onto it");
    });

    const std::string source = Device('C');
    Mounted(source, "/", true);
    Run([](CCloneDlg& dialog) {
        EXPECT_FALSE(dialog.IsItemDimmed(kSourceList, 0));
        EXPECT_EQ(dialog.ControlText(kSourceDriveLine),
                  "/dev/sdb1, label SOURCE, 100.0 MiB\nmounted on / (read-only)");
    });
    std::filesystem::remove(machine.m_machine.Path("mountinfo"));
    Mounted(source, "/");
    Run([](CCloneDlg& dialog) {
        EXPECT_TRUE(dialog.IsItemDimmed(kSourceList, 0));
        EXPECT_EQ(dialog.ControlText(kSourceDriveLine),
                  "/dev/sdb1, label SOURCE, 100.0 MiB\nmounted on /: it may change while it is copied, clone it in "
                  "Safe Mode");
    });
}

// The bar and the line follow the copy; at the end the message adds the time taken, and
// the destination's fields tell what the destination holds now: the source's file system.
TEST_F(DriveLines, ProgressIsShownAndTheDestinationIsReadAgainWhenTheCloneEnds)
{
    testsupport::CMemoryVolume& source = machine.AddFat32('C', 128, 64 * 1024);
    machine.AddNtfs('D', 128 * 1024, 128 * 1024);
    machine.m_drives.SetDetails('D', {"/dev/sdc1", "DATA", ""});
    Settings(0, 1);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::string whileCopying;
    int barWhileCopying = -1;
    CCloneDlg dialog(machine.m_drives, machine.m_volumes);
    guitest::RunUntilEnded(dialog, [&] {
        dialog.UserChoose(kDestList, 1);
        EXPECT_EQ(dialog.ControlText(kDestFileSystem), " NTFS");
        source.OnRead([released](int) { released.wait(); });
        dialog.UserClick(kCreateButton);
        guitest::WhenTrue([&] { return !dialog.ControlText(kProgressText).empty(); }, [&] {
            whileCopying = dialog.ControlText(kProgressText);
            barWhileCopying = dialog.ProgressPosition(kProgressBar);
            release.set_value();
            guitest::WhenTrue([&] { return dialog.ControlText(kDestFileSystem) == " FAT32"; }, [&] {
                EXPECT_EQ(dialog.ProgressPosition(kProgressBar), platform::kProgressRange);
                EXPECT_TRUE(dialog.ControlText(kProgressText).starts_with("Copying: 100 %, 64.0 KiB in 0:0"))
                    << dialog.ControlText(kProgressText);
                EXPECT_EQ(dialog.ControlText(kDestSize), " 65,536");
                EXPECT_EQ(dialog.ControlText(kDestDriveLine),
                          "/dev/sdc1, label DATA, 64.0 KiB\nnot mounted: will be overwritten");
                guitest::CloseOnceIdle(dialog);
            });
        });
    });
    EXPECT_EQ(whileCopying, "Copying: 0 %");
    EXPECT_EQ(barWhileCopying, 0);
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(testsupport::WithoutTimes(boxes.Texts()[0]),
              "Done!\n\nDrive partition cloned from: C:\nDrive partition cloned to: D:\n\n"
              "The partition will be useable after rebooting the computer.\n\nTime taken: T.");

    // A new choice clears the progress of the last clone.
    CCloneDlg again(machine.m_drives, machine.m_volumes);
    guitest::RunWith(again, [&] {
        EXPECT_EQ(again.ProgressPosition(kProgressBar), 0);
        EXPECT_EQ(again.ControlText(kProgressText), "");
    });
}

// While Vantrel's clone waits for the next start, the dialog says so as it opens and
// offers to cancel it.
TEST_F(DriveLines, AScheduledCloneIsToldAtStartAndCanBeCancelled)
{
    platform::CRegKey key;
    ASSERT_EQ(platform::CRegKey::Create(platform::RegRoot::LocalMachine, kRunOnceKey, key), platform::RegStatus::Ok);
    ASSERT_EQ(platform::WriteStringValue(key, kBootEntryName,
                                         "\"/var/lib/vantrel/Keldrun.exe\" C: D: NTFS 0,1,2,3,4,5,6,7 0 "
                                         "\"/var/lib/vantrel/\""),
              platform::RegStatus::Ok);
    const std::string notice = ScheduledCloneNoticeText(
        "the C: (/dev/sdb1) partition onto the D: (/dev/sdc1) partition, NTFS, in slow mode");

    boxes.Answer(IDNO);
    Run([](CCloneDlg&) {});
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{notice});
    EXPECT_TRUE(FindScheduledClone());

    boxes.Answer(IDYES);
    Run([](CCloneDlg&) {});
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{notice, notice, kScheduledCloneCancelledText}));
    EXPECT_FALSE(FindScheduledClone());

    Run([](CCloneDlg&) {});
    EXPECT_EQ(boxes.Texts().size(), 3u);
}

// Where no CHM viewer is registered and xdg-open is missing, Help says where the help is.
TEST_F(DriveLines, HelpWithoutAViewerSaysWhereTheHelpIs)
{
    const char* path = std::getenv("PATH");
    const std::string saved = path != nullptr ? path : "";
    std::filesystem::create_directory(machine.m_machine.Path("bin"));
    setenv("PATH", machine.m_machine.Path("bin").c_str(), 1);
    Run([](CCloneDlg& dialog) { dialog.UserClick(kHelpButton); });
    setenv("PATH", saved.c_str(), 1);
    const std::string helpFile = machine.m_machine.Path("Vantrel/") + "Vantrel.chm";
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{NoHelpViewerText(helpFile)});
    EXPECT_NE(boxes.Texts()[0].find("man Vantrel"), std::string::npos);
}

// The texts of the line, whatever uses the drive.
TEST(DriveLine, SaysWhatUsesTheDriveAndWhatBecomesOfIt)
{
    CDriveFacts facts{"/srv/e.img", "", 3 * kMiB / 2, std::nullopt};
    EXPECT_EQ(SourceLineText(facts, true), "/srv/e.img, 1.5 MiB\nnot mounted");
    facts.use = platform::CVolumeUse{"/dev/loop2", "", false, {"dm-0"}, false};
    EXPECT_EQ(SourceLineText(facts, true), "/srv/e.img, 1.5 MiB\nheld by dm-0 through /dev/loop2");
    EXPECT_EQ(DestinationLineText(facts, SafeModeChoice::AtOnce),
              "/srv/e.img, 1.5 MiB\nheld by dm-0 through /dev/loop2: unmount it to clone onto it");
    EXPECT_TRUE(DestinationBlocked(facts, SafeModeChoice::AtOnce));
    EXPECT_FALSE(DestinationBlocked(facts, SafeModeChoice::Ask));
    facts.use.reset();
    EXPECT_FALSE(DestinationBlocked(facts, SafeModeChoice::AtOnce));
}

}  // namespace

namespace {

// Real FAT32 images as D: (the source) and E:, on the simulated machine's drive table and
// raw volumes, with an /etc/fstab that mounts D: by its serial.
class TwinCopies : public testing::Test {
protected:
    void SetUp() override
    {
        if (std::system("command -v mkfs.vfat >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "mkfs.vfat of dosfstools is missing";
        if (std::system("command -v mlabel >/dev/null 2>&1 || command -v fatlabel >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "neither mlabel of mtools nor fatlabel of dosfstools is installed";
        m_source = Image('D', 40, "OLDDATA");
        m_copy = Image('E', 48, "COPY");
        std::filesystem::create_directories(m_machine.Path("etc"));
        m_ids = *testsupport::FileSystemIdsOf(m_source);
        m_fstabLine = "UUID=" + m_ids.uuid + " /data vfat defaults 0 2";
        std::ofstream(m_machine.Path("etc/fstab")) << "# static file system information\n"
                                                   << m_fstabLine << "\nLABEL=OTHER /other vfat defaults 0 0\n";
        platform::CRegKey key;
        ASSERT_EQ(platform::CRegKey::Create(platform::RegRoot::LocalMachine, guitest::kVantrelKey, key),
                  platform::RegStatus::Ok);
        ASSERT_EQ(platform::WriteStringValue(key, "Path", m_machine.Path("")), platform::RegStatus::Ok);
        ASSERT_EQ(platform::WriteDwordValue(key, "ChooseSafeMode", 0), platform::RegStatus::Ok);
        ASSERT_EQ(platform::WriteDwordValue(key, "DontUseSafeMode", 1), platform::RegStatus::Ok);
    }

    std::string Image(char letter, int mebibytes, const std::string& label)
    {
        const std::string path = m_machine.MakeImage(std::string(1, letter) + ".img", mebibytes * kMiB);
        EXPECT_EQ(std::system(("mkfs.vfat -F 32 -n " + label + " " + path + " >/dev/null 2>&1").c_str()), 0);
        std::string error;
        EXPECT_TRUE(platform::AssignDriveLetter(letter, path, error)) << error;
        return path;
    }

    // Clones D: onto E: at once, answering the offer of a new serial with answer.
    void Clone(int answer)
    {
        boxes.Answer(answer);
        CCloneDlg dialog;
        guitest::RunUntilEnded(dialog, [&] {
            dialog.UserChoose(kSourceList, 0);
            dialog.UserChoose(kDestList, 1);
            dialog.UserClick(kCreateButton);
            guitest::CloseOnceIdle(dialog);
        });
    }

    testsupport::CTempMachine m_machine;
    testsupport::CScriptedMessageBox boxes;
    std::string m_source, m_copy;
    platform::CFileSystemIds m_ids;
    std::string m_fstabLine;
};

// The copy carries the source's serial and label: the message says so and names the line
// of /etc/fstab that may now mount either; a serial of the copy's own is offered, and
// given to the copy alone.
TEST_F(TwinCopies, TheCopyIsToldAsTheSourcesTwinAndMayGetASerialOfItsOwn)
{
    Clone(IDNO);
    ASSERT_EQ(boxes.Texts().size(), 2u);
    EXPECT_NE(boxes.Texts()[0].find("\n\nThe copy on the E: partition carries the same file-system serial (UUID " +
                                    m_ids.uuid + ") and label (OLDDATA) as the D: partition"),
              std::string::npos)
        << boxes.Texts()[0];
    EXPECT_NE(boxes.Texts()[0].find("/etc/fstab names them in: \"" + m_fstabLine + "\"."), std::string::npos)
        << boxes.Texts()[0];
    EXPECT_NE(boxes.Texts()[0].find("\n\nTo give the copy a serial of its own, run: "), std::string::npos);
    EXPECT_EQ(boxes.Texts()[1], RenewSerialQuestionText({"D:", "E:", "FAT32", "", true}));
    EXPECT_EQ(testsupport::FileSystemIdsOf(m_copy)->uuid, m_ids.uuid);
    const std::string report = platform::ReadWholeFile(m_machine.Path("Report.txt")).value_or("");
    EXPECT_NE(report.find("/etc/fstab names them in: \"" + m_fstabLine + "\".\n"), std::string::npos) << report;

    Clone(IDYES);
    ASSERT_EQ(boxes.Texts().size(), 5u);
    const std::string renewed = testsupport::FileSystemIdsOf(m_copy)->uuid;
    EXPECT_NE(renewed, m_ids.uuid);
    EXPECT_EQ(testsupport::FileSystemIdsOf(m_source)->uuid, m_ids.uuid);
    EXPECT_EQ(testsupport::FileSystemIdsOf(m_copy)->label, "OLDDATA");
    EXPECT_EQ(boxes.Texts()[4], "The copy on the E: partition has the serial " + renewed + " now; the D: partition "
                                "keeps " + m_ids.uuid + ".");
}

// The lines of /etc/fstab that name a serial or label, in each way fstab can.
TEST(TwinVolumes, FstabLinesAreFoundByEveryNameOfTheSerialAndLabel)
{
    const std::string fstab = "# UUID=ABCD-1234 /commented vfat\n"
                              "UUID=abcd-1234\t/data  vfat defaults 0 2\n"
                              "UUID=\"ABCD-1234\" /quoted vfat defaults\n"
                              "/dev/disk/by-uuid/ABCD-1234 /link vfat defaults\n"
                              "LABEL=MY\\040DATA /label vfat defaults\n"
                              "/dev/disk/by-label/MY\\x20DATA /labellink vfat defaults\n"
                              "LABEL=MY /other vfat defaults\n"
                              "UUID=ABCD-12345 /longer vfat defaults\n"
                              "PARTUUID=ABCD-1234 /partition vfat defaults\n";
    EXPECT_EQ(FstabLinesNaming(fstab, "ABCD-1234", "MY DATA"),
              (std::vector<std::string>{"UUID=abcd-1234 /data vfat defaults 0 2",
                                        "UUID=\"ABCD-1234\" /quoted vfat defaults",
                                        "/dev/disk/by-uuid/ABCD-1234 /link vfat defaults",
                                        "LABEL=MY\\040DATA /label vfat defaults",
                                        "/dev/disk/by-label/MY\\x20DATA /labellink vfat defaults"}));
    EXPECT_EQ(FstabLinesNaming(fstab, "", ""), std::vector<std::string>{});
}

}  // namespace
