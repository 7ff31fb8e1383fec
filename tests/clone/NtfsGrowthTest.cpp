// SPDX-License-Identifier: GPL-3.0-or-later
// Vantrel's clone worker cloning real NTFS images (made with mkntfs) onto larger partitions.

#include "clone/CloneTexts.h"
#include "worker/CreateClone.h"

#include "platform/drives/DriveLetters.h"
#include "platform/files/TextFiles.h"
#include "tests/support/FakeTool.h"
#include "tests/support/NtfsClone.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/RecordingControls.h"
#include "tests/support/ToolRun.h"
#include "tests/support/TwinNotes.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kMiB = 1 << 20;
constexpr const char* kDoneText =
    "Done!\n\nDrive partition cloned from: S:\nDrive partition cloned to: D:\n\n"
    "The partition will be useable after rebooting the computer.";
constexpr const char* kHeader = "From: S:\nTo:   D:\nFile System: NTFS\n\n";
const CCloneRequest kRequest{"S:", "D:", "NTFS", "", true};

class NtfsGrowthTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testsupport::NtfsToolsPresent(m_machine))
            GTEST_SKIP() << "the NTFS tools of ntfs-3g are missing (scripts/install-deps installs them)";
    }

    // The 64 MiB NTFS source S:, changed by prepare (with the NTFS tools) when given.
    void Source(const std::function<void(const std::string& image)>& prepare = {})
    {
        m_source = testsupport::MakeNtfsSource(m_machine, m_machine.Path("S.img"));
        ASSERT_FALSE(m_source.m_bytes.empty()) << "the NTFS source could not be made";
        if (prepare) {
            prepare(m_source.m_path);
            m_source.m_bytes = *platform::ReadWholeFile(m_source.m_path);
        }
        Assign('S', m_source.m_path);
    }
    // An NTFS image of size bytes as D:; its size-field list.
    std::string Destination(std::uint64_t size)
    {
        m_dest = m_machine.Path("D.img");
        EXPECT_TRUE(testsupport::MakeNtfsImage(m_machine, m_dest, size));
        Assign('D', m_dest);
        return testsupport::SizeFieldList(m_dest);
    }
    void Assign(char letter, const std::string& path)
    {
        std::string error;
        platform::RemoveDriveLetter(letter, error);
        ASSERT_TRUE(platform::AssignDriveLetter(letter, path, error)) << error;
    }
    void Clone(const std::string& list, bool fastMode)
    {
        m_dialog.ClearEvents();
        CCreateClone("S:", "D:", "NTFS", list, &m_dialog, fastMode, m_machine.Root() + "/", false).Run();
    }
    // The messages shown, their times left out.
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> boxes;
        for (const std::string& event : m_dialog.Events())
            if (event.starts_with("box "))
                boxes.push_back(testsupport::WithoutTimes(event.substr(4)));
        return boxes;
    }
    // The notes of the completion, then those of a copy that carries its source's serial.
    std::vector<std::string> WithTwins(std::vector<std::string> notes = {}) const
    {
        for (const std::string& note : testsupport::TwinNotes(kRequest, m_source.m_path, m_dest))
            notes.push_back(note);
        return notes;
    }
    // What a completed clone shows: the message with its time and notes, then the offer of a
    // serial of the copy's own (ntfslabel is there with the tools of the clone).
    std::vector<std::string> DoneBoxes(const std::vector<std::string>& notes = {}) const
    {
        std::string done = std::string(kDoneText) + "\n\nTime taken: T.";
        for (const std::string& note : WithTwins(notes))
            done += "\n\n" + note;
        return {done, RenewSerialQuestionText(kRequest)};
    }
    // The end of the report: the notes with the twins', and "Done => ".
    std::string DoneLines(const std::vector<std::string>& notes = {}) const
    {
        std::string lines;
        for (const std::string& note : WithTwins(notes))
            lines += note + "\n";
        return lines + "Done => 67108864\n";
    }
    std::optional<std::string> Report() const { return platform::ReadWholeFile(m_machine.Path("Report.txt")); }

    testsupport::CTempMachine m_machine;
    worker_test::CRecordingControls m_dialog;
    testsupport::CNtfsSource m_source;
    std::string m_dest;
};

TEST_F(NtfsGrowthTest, SlowModeOntoALargerPartitionGivesASoundVolumeOfItsSize)
{
    Source();
    const std::string list = Destination(96 * kMiB);
    Clone(list, 0);

    EXPECT_EQ(Boxes(), DoneBoxes());
    EXPECT_EQ(Report(), std::string(kHeader) + DoneLines());
    EXPECT_EQ(testsupport::SizeFieldList(m_dest), list);
    testsupport::ExpectGrownCopy(m_machine, m_source, m_dest, testsupport::PartitionSizeField(m_dest, 512));
}

TEST_F(NtfsGrowthTest, FastModeOntoAGibibytePartitionGivesASoundVolumeOfItsSize)
{
    Source();
    const std::string list = Destination(1024 * kMiB);
    Clone(list, 1);

    EXPECT_EQ(Boxes(), DoneBoxes());
    EXPECT_EQ(Report(), std::string(kHeader) + "20971520\n41943040\n62914560\n67108864\n" + DoneLines());
    EXPECT_EQ(testsupport::SizeFieldList(m_dest), list);
    testsupport::ExpectGrownCopy(m_machine, m_source, m_dest, testsupport::PartitionSizeField(m_dest, 512));
}

// A volume that ntfs-3g refuses because Windows on it is hibernated or was not shut down
// cleanly must not be resized until it is: ntfsresize would reset its journal.
TEST_F(NtfsGrowthTest, AVolumeThatCannotGrowKeepsTheSourcesCapacityAndSaysSo)
{
    struct CCase {
        const char* what;
        std::function<void(const std::string& image)> prepare;
        std::function<std::string(const std::string& source, const std::string& device)> note;
        const char* probeScript;  // a stand-in for ntfs-3g.probe
    };
    const CCase cases[] = {
        {"a hibernated Windows, refused by ntfs-3g",
         [&](const std::string& image) {
             EXPECT_TRUE(testsupport::PutNtfsFile(m_machine, image, "hiberfil.sys", "hibr" + std::string(8188, '\0')));
         },
         NotShutDownNoteText, nullptr},
        {"a Windows not shut down cleanly, refused by ntfs-3g", {}, NotShutDownNoteText, "exit 15\n"},
        {"a volume ntfs-3g refuses for another reason", {}, CapacityNoteText, "exit 13\n"},
        {"a volume marked for a check, refused by ntfsresize",
         [&](const std::string& image) {
             // A resized volume is marked for a check at Windows' next start.
             testsupport::CToolRun shrink =
                 testsupport::RunTool(m_machine, "ntfsresize", {"--force", "--size", "60000000", image});
             EXPECT_EQ(shrink.exitCode, 0) << shrink.out;
         },
         CapacityNoteText, nullptr},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.what);
        Source(c.prepare);
        const std::string list = Destination(96 * kMiB);
        {
            std::optional<testsupport::CFakeTool> probe;
            if (c.probeScript)
                probe.emplace(m_machine, "ntfs-3g.probe", c.probeScript);
            Clone(list, 1);
        }

        const std::string note = c.note("S:", m_dest);
        EXPECT_EQ(Boxes(), DoneBoxes({note}));
        EXPECT_EQ(Report(), std::string(kHeader) + "20971520\n41943040\n62914560\n67108864\n" + DoneLines({note}));
        testsupport::ExpectCopyOfTheSourcesSize(m_machine, m_source, m_dest);
    }
}

// A copy that fails the check of NTFS while its source passes it is never told as done,
// whatever became of it (here a resize that wrecked its $MFT and claimed success).
TEST_F(NtfsGrowthTest, ACopyThatFailsTheCheckWhileItsSourcePassesIsNeverDone)
{
    Source();
    const std::string list = Destination(96 * kMiB);
    testsupport::CFakeTool resize(m_machine, "ntfsresize",
                                  testsupport::CFakeTool::kRealRunOnly + testsupport::ZeroMftScript(m_source.m_path));
    Clone(list, 1);

    const std::string text = CopyNotUsableText("S:", "D:");
    EXPECT_EQ(Boxes(), std::vector<std::string>{text});
    EXPECT_EQ(Report(), std::string(kHeader) + "20971520\n41943040\n62914560\n67108864\n" + text + "\n");
}

}  // namespace
