// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/DriveProbe.h"

#include "platform/files/TextFiles.h"
#include "tests/probe/BootSectorImage.h"
#include "tests/support/FakeDrives.h"
#include "tests/support/FaultyVolume.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

using probetest::CBootSectorImage;
namespace fs = std::filesystem;

const std::string kHeader =
    "Displaying Drive Report from text file: DriveReport.txt\n"
    "If you have problems, e-mail this report along with the problem to: support@tembric.example\n"
    "\n";

// Runs the test inside the temporary machine's folder, so the report file lands there.
class CWorkingDirectory {
public:
    explicit CWorkingDirectory(const std::string& path) : m_previous(fs::current_path()) { fs::current_path(path); }
    ~CWorkingDirectory() { fs::current_path(m_previous); }

private:
    fs::path m_previous;
};

class DriveSurveyTest : public ::testing::Test {
protected:
    void AddVolume(char letter, const CBootSectorImage& sector)
    {
        m_volumes.Add(letter, 1 << 20).SetBytes(0, sector.Data());
    }
    // The letters whose volumes were opened, in order.
    std::string OpenedLetters() const
    {
        std::string letters;
        for (const auto& open : m_volumes.Opens())
            letters += open.rawName.back() == ':' ? open.rawName[open.rawName.size() - 2] : '?';
        return letters;
    }
    // A floppy A:, an NTFS fixed C:, a CD-ROM D: holding a disc, an unopenable network E:.
    void MakeOfficeMachine()
    {
        m_drives.SetDrive('A', {.type = platform::kDriveRemovable});
        m_drives.SetDrive('C', {.type = platform::kDriveFixed, .totalBytes = 20'003'926'016});
        m_drives.SetDrive('D', {.type = platform::kDriveCdrom});
        m_drives.SetDrive('E', {.type = platform::kDriveRemote});
        AddVolume('A', CBootSectorImage().Text(82, "FAT32"));
        AddVolume('C', CBootSectorImage().Text(3, "NTFS    "));
        AddVolume('D', CBootSectorImage().Text(3, "NTFS    "));
    }

    testsupport::CTempMachine m_machine;
    testsupport::CFakeDrives m_drives;
    testsupport::CFaultyVolumes m_volumes;
};

TEST_F(DriveSurveyTest, ReportFileOfFloppyNtfsCdromAndNetworkDrives)
{
    MakeOfficeMachine();
    CWorkingDirectory here(m_machine.Root());
    CDriveProbe probe(false, m_drives, m_volumes);

    EXPECT_EQ(probe.SurveyDrives(true), "ACE");

    const std::string expected =
        "Displaying Drive Report from text file: DriveReport.txt\n"
        "If you have problems, e-mail this report along with the problem to: support@tembric.example\n"
        "\n"
        "Drive: A:\n"
        "    Floppy drive\n"
        "\n"
        "Drive: C:\n"
        "    Fixed drive\n"
        "    Successfully read drive.\n"
        "    File system: NTFS\n"
        "    Partition size: 20,003,926,016\n"
        "\n"
        "Drive: D:\n"
        "    CD-ROM drive\n"
        "\n"
        "Drive: E:\n"
        "    Remote or networked drive\n"
        "\n"
        "\n"
        "\n";
    EXPECT_EQ(platform::ReadWholeFile(m_machine.Path("DriveReport.txt")).value_or("missing"), expected);
    EXPECT_EQ(probe.Report() + "\n", expected);
    // A: and the CD-ROM are never touched.
    EXPECT_EQ(OpenedLetters(), "CE");
}

TEST_F(DriveSurveyTest, WritingReplacesAnOldReportAndNotWritingLeavesIt)
{
    MakeOfficeMachine();
    CWorkingDirectory here(m_machine.Root());
    std::ofstream(m_machine.Path("DriveReport.txt")) << "an old report\n";

    CDriveProbe(false, m_drives, m_volumes).SurveyDrives(false);
    EXPECT_EQ(platform::ReadWholeFile(m_machine.Path("DriveReport.txt")), "an old report\n");

    CDriveProbe first(false, m_drives, m_volumes);
    first.SurveyDrives(true);
    CDriveProbe second(false, m_drives, m_volumes);
    second.SurveyDrives(true);
    EXPECT_EQ(platform::ReadWholeFile(m_machine.Path("DriveReport.txt")), second.Report() + "\n");
}

// A link planted under the report's name in the working folder is replaced by the report,
// whatever it points at; its target is neither created nor written.
TEST_F(DriveSurveyTest, APlantedLinkIsReplacedAndItsTargetLeftAlone)
{
    MakeOfficeMachine();
    CWorkingDirectory here(m_machine.Root());
    const std::string report = m_machine.Path("DriveReport.txt");
    const std::string target = m_machine.Path("made-through-the-link");
    ASSERT_EQ(symlink(target.c_str(), report.c_str()), 0);

    CDriveProbe probe(false, m_drives, m_volumes);
    probe.SurveyDrives(true);
    EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
    EXPECT_FALSE(fs::is_symlink(report));
    EXPECT_EQ(platform::ReadWholeFile(report), probe.Report() + "\n");
}

TEST_F(DriveSurveyTest, EntriesOfEveryDriveType)
{
    m_drives.SetDrive('F', {.type = platform::kDriveRemovable});  // no medium: opens, cannot be read
    m_drives.SetDrive('G', {.type = platform::kDriveRemovable});  // cannot even be opened
    m_drives.SetDrive('H', {.type = platform::kDriveFixed, .totalBytes = 999});
    m_drives.SetDrive('I', {.type = platform::kDriveRamdisk, .totalBytes = 1000});
    m_drives.SetDrive('J', {.type = platform::kDriveUnknown});
    m_drives.SetDrive('K', {.type = platform::kDriveNoRootDir});
    m_drives.SetDrive('L', {.type = 7});
    m_volumes.Add('F', 1 << 20).FailRead(0);
    AddVolume('H', CBootSectorImage().Text(54, "FAT16"));
    AddVolume('I', CBootSectorImage().Text(54, "FAT16"));
    AddVolume('J', CBootSectorImage().Text(82, "FAT32"));
    AddVolume('K', CBootSectorImage().Text(82, "FAT32").Bytes(32, {2, 0, 0, 0}));
    AddVolume('L', CBootSectorImage());

    CDriveProbe vantrel(true, m_drives, m_volumes);
    EXPECT_EQ(vantrel.SurveyDrives(false), "FGH");
    EXPECT_EQ(vantrel.Report(), kHeader +
                                    "Drive: F:\n    Removeable drive\n    Could not successfully read drive.\n\n\n"
                                    "Drive: G:\n    Removeable drive\n\n\n"
                                    "Drive: H:\n    Fixed drive\n    Successfully read drive.\n"
                                    "    File system: FAT16\n    Partition size: 999\n\n"
                                    "Drive: I:\n    Ramdisk\n    Successfully read drive.\n"
                                    "    File system: FAT16\n    Partition size: 1,000\n\n"
                                    "Drive: J:\n    Unknown drive\n    Successfully read drive.\n"
                                    "    File system: FAT32\n    Partition size: 0\n\n"
                                    "Drive: K:\n    Successfully read drive.\n"
                                    "    File system: FAT32\n    Partition size: 1,024\n\n"
                                    "Drive: L:\n    Successfully read drive.\n    Drive not NTFS or FAT32.\n\n\n");

    // Without FAT16 the fixed FAT16 drive is still reported, with no file-system line.
    CDriveProbe tallisk(false, m_drives, m_volumes);
    EXPECT_EQ(tallisk.SurveyDrives(false), "FGH");
    EXPECT_NE(tallisk.Report().find("Drive: H:\n    Fixed drive\n    Successfully read drive.\n"
                                    "    Drive not NTFS or FAT32.\n\n\nDrive: I:"),
              std::string::npos);
}

// A table whose drive strings do not fit the buffer, or are missing altogether.
class CUnlistableDrives : public testsupport::CFakeDrives {
public:
    explicit CUnlistableDrives(std::uint32_t length) : m_length(length) {}
    std::uint32_t GetLogicalDriveStrings(std::span<char>) override { return m_length; }

private:
    std::uint32_t m_length;
};

TEST_F(DriveSurveyTest, FailedOrTruncatedDriveListMeansNoDrives)
{
    for (std::uint32_t length : {0u, 256u, 400u}) {
        CUnlistableDrives drives(length);
        drives.SetDrive('C', {});
        CDriveProbe probe(true, drives, m_volumes);
        EXPECT_EQ(probe.SurveyDrives(false), "") << length;
        EXPECT_EQ(probe.Report(), kHeader) << length;
    }
}

}  // namespace
