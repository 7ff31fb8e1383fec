// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CloneDlg.h"
#include "app/DriveChecks.h"
#include "tests/support/gui/GuiTest.h"
#include "tests/support/KernelMount.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/MbrDisk.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/SimulatedMachine.h"
#include "worker/CloneDlgControls.h"

#include <gtest/gtest.h>

#include <memory>

using namespace clonedlg;

// What Create checks before a clone that starts at once, on real devices behind the
// drives: a destination mounted through a loop device is refused, a source mounted
// read-write is warned about, and a whole disk that holds partitions is never offered.
namespace {

class PartitionChecks : public testing::Test {
protected:
    PartitionChecks()
    {
        machine.SetInstallFolder(machine.m_machine.Path(""));
        machine.m_drives.SetWindowsDirectory("Z:\\WINDOWS");
        machine.AddFat32('C', 128, 64 * 1024);
        machine.AddNtfs('D', 128 * 1024, 128 * 1024);
        machine.StoreSetting("ChooseSafeMode", 0);
        machine.StoreSetting("DontUseSafeMode", 1);  // Create clones at once
    }

    // An ext4 image mounted read-write through a loop device, or false (skip with m_skip).
    bool MountedImage()
    {
        const std::string image = machine.m_machine.MakeImage("ext4.img", 8 << 20);
        if (!testsupport::MakeExt4(machine.m_machine, image)) {
            m_skip = "mkfs.ext4 cannot be run here";
            return false;
        }
        m_loop = std::make_unique<testsupport::CLoopDevice>(image);
        if (!m_loop->IsAttached()) {
            m_skip = m_loop->Error();
            return false;
        }
        m_mount = std::make_unique<testsupport::CKernelMount>(m_loop->Path(), m_mountPoint, "ext4");
        m_skip = m_mount->Error();
        m_image = image;
        return m_mount->Mounted();
    }

    // The destination list's entries for source C:.
    std::vector<std::string> Destinations()
    {
        std::vector<std::string> entries;
        CCloneDlg dialog(machine.m_drives, machine.m_volumes);
        guitest::RunWith(dialog, [&] {
            for (int i = 0; i < dialog.ItemCount(kDestList); ++i)
                entries.push_back(dialog.ItemText(kDestList, i));
        });
        return entries;
    }
    // Chooses D: and presses Create; done once expected boxes were shown and the dialog is
    // unlocked again.
    void Create(std::size_t expected)
    {
        CCloneDlg dialog(machine.m_drives, machine.m_volumes);
        guitest::RunUntilEnded(dialog, [&] {
            dialog.UserChoose(kDestList, 1);
            dialog.UserClick(kCreateButton);
            guitest::WhenTrue(
                [&] {
                    return boxes.Texts().size() >= expected && dialog.IsControlEnabled(kDriveConfigsButton) &&
                           !dialog.IsControlEnabled(kCancelButton);
                },
                [&] { dialog.EndDialog(platform::IDCANCEL); });
        });
    }
    bool CloneStarted() const
    {
        for (const auto& open : machine.m_volumes.Opens())
            if (open.access == platform::VolumeAccess::Write)
                return true;
        return false;
    }

    guitest::CSimulatedMachine machine;
    testsupport::CScriptedMessageBox boxes;
    std::string m_mountPoint = machine.m_machine.Path("mnt");
    std::string m_image;
    std::unique_ptr<testsupport::CLoopDevice> m_loop;
    std::unique_ptr<testsupport::CKernelMount> m_mount;
    std::string m_skip;
};

}  // namespace

// Marked in the list, with Create disabled and the reason on its line; and, mounted once
// it was chosen, refused at Create.
TEST_F(PartitionChecks, ADestinationMountedThroughALoopDeviceIsRefusedBeforeAnythingIsWritten)
{
    if (!MountedImage())
        GTEST_SKIP() << m_skip;
    const std::string use = "mounted on " + m_mountPoint + " through " + m_loop->Path();
    machine.m_volumes.SetDevice('D', m_image);
    {
        CCloneDlg dialog(machine.m_drives, machine.m_volumes);
        guitest::RunWith(dialog, [&] {
            EXPECT_TRUE(dialog.IsItemDimmed(kDestList, 1));
            dialog.UserChoose(kDestList, 1);
            EXPECT_FALSE(dialog.IsControlEnabled(kCreateButton));
            const std::string line = dialog.ControlText(kDestDriveLine);
            EXPECT_NE(line.find(use + ": unmount it to clone onto it"), std::string::npos) << line;
        });
    }
    machine.m_volumes.SetDevice('D', "/nonexistent");
    CCloneDlg dialog(machine.m_drives, machine.m_volumes);
    guitest::RunUntilEnded(dialog, [&] {
        dialog.UserChoose(kDestList, 1);
        machine.m_volumes.SetDevice('D', m_image);
        dialog.UserClick(kCreateButton);
        guitest::WhenTrue([&] { return !boxes.Texts().empty(); }, [&] { dialog.EndDialog(platform::IDCANCEL); });
    });
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>({DestinationInUseText("D:", use)}));
    EXPECT_FALSE(CloneStarted());
}

TEST_F(PartitionChecks, ASourceMountedReadWriteIsWarnedAboutAndClonedAllTheSame)
{
    if (!MountedImage())
        GTEST_SKIP() << m_skip;
    machine.m_volumes.SetDevice('C', m_image);
    Create(2);
    ASSERT_EQ(boxes.Texts().size(), 2u);
    EXPECT_EQ(boxes.Texts()[0], MountedSourceText("C:", "mounted on " + m_mountPoint + " through " + m_loop->Path()));
    EXPECT_EQ(boxes.Texts()[1].rfind("Done!", 0), 0u) << boxes.Texts()[1];
    EXPECT_TRUE(CloneStarted());
}

TEST_F(PartitionChecks, AWholeDiskThatHoldsPartitionsIsNotOffered)
{
    std::string why;
    auto disk = testsupport::AttachMbrDisk(machine.m_machine.Path("mbr.img"), why);
    if (!disk)
        GTEST_SKIP() << why;
    machine.m_volumes.SetDevice('D', disk->Path());
    EXPECT_EQ(Destinations(), std::vector<std::string>({""}));
    machine.m_volumes.SetDevice('D', disk->PartitionPath(2));
    EXPECT_EQ(Destinations(), std::vector<std::string>({""}));
    machine.m_volumes.SetDevice('D', disk->PartitionPath(5));
    EXPECT_EQ(Destinations(), std::vector<std::string>({"", "D:"}));
}
