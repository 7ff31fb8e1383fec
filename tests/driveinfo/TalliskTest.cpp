// SPDX-License-Identifier: GPL-3.0-or-later
#include "driveinfo/DriveReportDlg.h"
#include "platform/files/TextFiles.h"
#include "platform/ui/MessageBox.h"
#include "tests/support/gui/GuiTest.h"
#include "tests/support/SimulatedMachine.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// Tallisk's dialog started from a folder of the simulated machine.
class Tallisk : public testing::Test {
protected:
    Tallisk() : m_saved(std::filesystem::current_path()) { std::filesystem::current_path(machine.m_machine.Root()); }
    ~Tallisk() override { std::filesystem::current_path(m_saved); }

    // The report as it stands while the dialog is on screen.
    std::string ReportWhileShown()
    {
        CDriveReportDlg dialog(machine.m_drives, machine.m_volumes);
        std::string report;
        guitest::RunWith(dialog, [&] {
            report = platform::ReadWholeFile("DriveReport.txt").value_or("(none)");
            dialog.UserClick(platform::IDCANCEL);
        });
        return report;
    }

    guitest::CSimulatedMachine machine;
    std::filesystem::path m_saved;
};

TEST_F(Tallisk, ReportIsWrittenBeforeTheDialogShowsAndReplacedOnTheNextStart)
{
    machine.AddNtfs('C', 1 << 20);
    machine.AddFat16('D', 1 << 20);
    std::string first = ReportWhileShown();
    EXPECT_EQ(first.rfind("Displaying Drive Report from text file: DriveReport.txt", 0), 0u) << first;
    EXPECT_NE(first.find("File system: NTFS"), std::string::npos) << first;
    EXPECT_EQ(first.find("FAT16"), std::string::npos) << "FAT16 is not recognised for the report";
    EXPECT_EQ(ReportWhileShown(), first);
}

}  // namespace
