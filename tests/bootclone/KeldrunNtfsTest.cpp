// SPDX-License-Identifier: GPL-3.0-or-later
// Keldrun cloning real NTFS images (made with mkntfs) onto larger partitions.

#include "platform/drives/Drives.h"
#include "platform/files/TextFiles.h"
#include "tests/bootclone/ProgramRun.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/NtfsClone.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

using testsupport::CProgramResult;
using testsupport::kNtfsSourceSize;

constexpr std::uint64_t kMiB = 1 << 20;
constexpr const char* kFastProgress = "20,971,520 total accumulated bytes written to the partition...\n"
                                      "41,943,040 total accumulated bytes written to the partition...\n"
                                      "62,914,560 total accumulated bytes written to the partition...\n"
                                      "67,108,864 total accumulated bytes written to the partition...\n";
constexpr const char* kHeader = "From: X:\nTo:   Y:\nFile System: NTFS\n\n";
constexpr const char* kFastTotals = "20971520\n41943040\n62914560\n67108864\n";

// The console summary of a completed clone of the 64 MiB source onto Y:.
std::string Summary(const std::optional<std::string>& note = std::nullopt)
{
    return "\nSuccesfully created the Y: partition clone.\n"
           "Total bytes copied to the partition: 67,108,864\n\n" +
           (note ? *note + "\n" : std::string()) +
           "Press the Enter key, or press the Ctrl-Alt-Del keys to reboot the system.\n"
           "The partition will be useable when the system fully boots up.\n";
}

class KeldrunNtfsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testsupport::NtfsToolsPresent(m_machine))
            GTEST_SKIP() << "the NTFS tools of ntfs-3g are missing (scripts/install-deps installs them)";
        ASSERT_EQ(mkdir(m_reportFolder.c_str(), 0755), 0);
        m_source = testsupport::MakeNtfsSource(m_machine, m_machine.Path("X.img"));
        ASSERT_FALSE(m_source.m_bytes.empty()) << "the NTFS source could not be made";
        Assign('X', m_source.m_path);
    }

    void Assign(char letter, const std::string& path)
    {
        std::string error;
        ASSERT_TRUE(platform::AssignDriveLetter(letter, path, error)) << error;
    }
    // An NTFS image of size bytes, Y: unless told otherwise.
    std::string Destination(std::uint64_t size, bool lettered = true)
    {
        std::string path = m_machine.Path("Y.img");
        EXPECT_TRUE(testsupport::MakeNtfsImage(m_machine, path, size));
        if (lettered)
            Assign('Y', path);
        return path;
    }
    CProgramResult Keldrun(const std::string& list, bool fast)
    {
        return testsupport::RunCaptured({KELDRUN_PATH, "X:", "Y:", "NTFS", list, fast ? "1" : "0", m_reportFolder},
                                        "\n", m_machine.Root());
    }
    std::optional<std::string> Status() const { return platform::ReadWholeFile(m_reportFolder + "status.txt"); }

    testsupport::CTempMachine m_machine;
    std::string m_reportFolder = m_machine.Path("Vantrel/");
    testsupport::CNtfsSource m_source;
};

TEST_F(KeldrunNtfsTest, FastModeOntoALargerPartitionGivesASoundVolumeOfItsSize)
{
    std::string dest = Destination(96 * kMiB);
    const std::string list = testsupport::SizeFieldList(dest);
    ASSERT_EQ(list, "255,255,2,0,0,0,0,0");

    CProgramResult run = Keldrun(list, true);
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_EQ(run.m_out, kFastProgress + Summary());
    EXPECT_EQ(run.m_err, "");
    EXPECT_EQ(Status(), std::string(kHeader) + kFastTotals + "Done => 67108864\n");
    testsupport::ExpectGrownCopy(m_machine, m_source, dest, list);
}

TEST_F(KeldrunNtfsTest, SlowModeOntoAGibibytePartitionGivesASoundVolumeOfItsSize)
{
    std::string dest = Destination(1024 * kMiB);
    const std::string list = testsupport::SizeFieldList(dest);

    CProgramResult run = Keldrun(list, false);
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_TRUE(run.m_out.ends_with("67,108,864 total accumulated bytes written to the partition...\n" + Summary()))
        << run.m_out.substr(run.m_out.size() - std::min<std::size_t>(run.m_out.size(), 600));
    EXPECT_EQ(Status(), std::string(kHeader) + "Done => 67108864\n");
    testsupport::ExpectGrownCopy(m_machine, m_source, dest, list);
}

// A block device is held exclusively by the engine and by ntfsresize in turn.
TEST_F(KeldrunNtfsTest, OntoABlockDeviceTheToolsGetTheDeviceOnceTheEngineLetsGo)
{
    std::string image = Destination(96 * kMiB, false);
    testsupport::CLoopDevice loop(image);
    if (!loop.IsAttached())
        GTEST_SKIP() << "no loop device: " << loop.Error();
    Assign('Y', loop.Path());
    const std::string list = testsupport::SizeFieldList(loop.Path());

    CProgramResult run = Keldrun(list, true);
    EXPECT_EQ(run.m_out, kFastProgress + Summary());
    testsupport::ExpectGrownCopy(m_machine, m_source, loop.Path(), list);
}

TEST_F(KeldrunNtfsTest, AnEqualOrSmallerSizeLeavesTheCopyAsTheEngineWroteIt)
{
    const std::pair<std::string, std::string> cases[] = {
        {"255,255,1,0,0,0,0,0", std::string("\xFF\xFF\x01\0\0\0\0\0", 8)},  // the source's own size
        {"0,0,1,0,0,0,0,0", std::string("\0\0\x01\0\0\0\0\0", 8)},
    };
    for (const auto& [list, field] : cases) {
        SCOPED_TRACE(list);
        std::filesystem::remove(m_machine.Path("Y.img"));
        std::string dest = m_machine.MakeImage("Y.img", kNtfsSourceSize, 0xEE);
        std::string error;
        platform::RemoveDriveLetter('Y', error);
        Assign('Y', dest);

        CProgramResult run = Keldrun(list, true);
        EXPECT_EQ(run.m_out, kFastProgress + Summary());
        EXPECT_EQ(Status(), std::string(kHeader) + kFastTotals + "Done => 67108864\n");
        std::string expected = m_source.m_bytes;
        expected.replace(40, 8, field);
        EXPECT_TRUE(platform::ReadWholeFile(dest) == expected)
            << "the copy differs from the source beyond bytes 40 to 47";
    }
}

TEST_F(KeldrunNtfsTest, WithoutTheNtfsToolsTheCopyKeepsTheSourcesCapacityAndSaysWhatToRun)
{
    std::string dest = Destination(96 * kMiB);
    const std::string list = testsupport::SizeFieldList(dest);
    const std::string path = std::getenv("PATH");
    std::filesystem::create_directory(m_machine.Path("bin"));
    setenv("PATH", m_machine.Path("bin").c_str(), 1);
    CProgramResult run = Keldrun(list, true);
    setenv("PATH", path.c_str(), 1);

    const std::string note = testsupport::CapacityNote("X:", dest);
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_EQ(run.m_out, kFastProgress + Summary(note));
    EXPECT_EQ(Status(), std::string(kHeader) + kFastTotals + note +
                            "\nDone => 67108864\n");
    testsupport::ExpectCopyOfTheSourcesSize(m_source, dest, list);
    testsupport::CToolRun fix = testsupport::RunTool(m_machine, "ntfsfix", {"--no-action", dest});
    EXPECT_EQ(fix.exitCode, 0) << fix.out << fix.err;

    // What the note says to run grows the copy to its partition.
    testsupport::CToolRun resize =
        testsupport::RunTool(m_machine, "ntfsresize", {"--force", "--no-progress-bar", dest});
    EXPECT_EQ(resize.exitCode, 0) << resize.out;
    EXPECT_EQ(testsupport::SizeFieldSectors(dest) / 8, 196607u / 8);
}

}  // namespace
