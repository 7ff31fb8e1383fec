// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CloneDlg.h"
#include "platform/ui/MessageBox.h"
#include "probe/DriveConfigsDlg.h"
#include "probe/DriveConfigsDlgControls.h"
#include "tests/support/gui/GuiTest.h"
#include "tests/support/SimulatedMachine.h"
#include "worker/CloneDlgControls.h"

#include <gtest/gtest.h>

using Texts = std::vector<std::string>;

namespace {

using driveconfigsdlg::kDriveList;

class DriveConfigs : public testing::Test {
protected:
    Texts Listed()
    {
        CDriveConfigsDlg dialog(machine.m_drives, machine.m_volumes);
        Texts items;
        guitest::RunWith(dialog, [&] {
            items = guitest::Items(dialog, kDriveList);
            dialog.UserClick(platform::IDCANCEL);
        });
        return items;
    }

    guitest::CSimulatedMachine machine;
};

TEST_F(DriveConfigs, LastDriveHasNoSeparatorAndAIsNeverListed)
{
    machine.AddUnopenable('A', platform::kDriveRemovable);
    machine.AddNtfs('C', 10737418240);
    EXPECT_EQ(Listed(), (Texts{"Drive:\t\tC:", "File System:\tNTFS", "Partition Size:\t10,737,418,240 (10.0 GiB)",
                               "Bytes Available:\t2,684,354,560 (2.5 GiB)"}));
}

TEST_F(DriveConfigs, UnreadableDrivesAreLeftOutButStillCountForTheSeparator)
{
    machine.AddFat32('C', 2048);
    machine.m_drives.SetDrive('C', {platform::kDriveFixed, 999424, 512});  // the system's own count
    machine.AddNtfs('D', 4096);
    machine.AddUnopenable('E', platform::kDriveRemote);
    machine.AddFat16('F', 2048);
    machine.AddUnopenable('R', platform::kDriveCdrom);
    machine.AddUnopenable('S', platform::kDriveRamdisk);
    EXPECT_EQ(Listed(), (Texts{"Drive:\t\tC:", "File System:\tFAT32", "Partition Size:\t999,424 (976.0 KiB)",
                               "Bytes Available:\t512", "", "Drive:\t\tD:", "File System:\tNTFS",
                               "Partition Size:\t4,096 (4.0 KiB)", "Bytes Available:\t1,024 (1.0 KiB)", "", "Drive:\t\tF:",
                               "File System:\tFAT16", "Partition Size:\t2,048 (2.0 KiB)", "Bytes Available:\t1,024 (1.0 KiB)"}));
}

TEST_F(DriveConfigs, OpensFromTheCloneDialogAndFailedSizeQueryShowsZero)
{
    machine.SetInstallFolder(machine.m_machine.Path(""));
    machine.AddNtfs('C', 1 << 20);
    machine.m_drives.SetDrive('C', {platform::kDriveFixed, 1 << 20, 1 << 19, false});
    Texts items;
    CCloneDlg dialog(machine.m_drives, machine.m_volumes);
    guitest::RunWith(dialog, [&] {
        guitest::WhenNextDialogRuns([&](platform::CDialog& configs) { items = guitest::Items(configs, kDriveList); });
        dialog.UserClick(clonedlg::kDriveConfigsButton);
    });
    EXPECT_EQ(items, (Texts{"Drive:\t\tC:", "File System:\tNTFS", "Partition Size:\t0", "Bytes Available:\t0"}));
}

}  // namespace

TEST_F(DriveConfigs, EveryItemOfADriveTellsItsDeviceAndTheSeparatorNothing)
{
    machine.AddNtfs('C', 10 * 1024 * 1024);
    machine.AddFat32('D', 4096);
    machine.m_drives.SetDetails('C', {"/dev/sda1", "SYSTEM", "/"});
    machine.m_drives.SetDetails('D', {"/home/user/d.img", "", ""});
    CDriveConfigsDlg dialog(machine.m_drives, machine.m_volumes);
    Texts tips;
    guitest::RunWith(dialog, [&] {
        for (int i = 0, n = dialog.ItemCount(kDriveList); i < n; ++i)
            tips.push_back(dialog.ItemToolTip(kDriveList, i));
    });
    const std::string c = "/dev/sda1\nSize: 10.0 MiB\nLabel: SYSTEM\nMounted on /",
                      d = "/home/user/d.img\nSize: 2.0 MiB\nNot mounted";
    EXPECT_EQ(tips, (Texts{c, c, c, c, "", d, d, d, d}));
}
