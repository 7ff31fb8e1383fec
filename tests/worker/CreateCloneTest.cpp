// SPDX-License-Identifier: GPL-3.0-or-later
#include "worker/CreateClone.h"

#include "clone/ReportFile.h"
#include "clone/VerifyTexts.h"

#include "platform/atoms/Atoms.h"
#include "platform/files/TextFiles.h"
#include "tests/support/FaultyVolume.h"
#include "tests/support/NoNewThreads.h"
#include "tests/support/TempMachine.h"
#include "tests/support/TwinNotes.h"
#include "worker/CloneDlgControls.h"
#include "tests/support/RecordingControls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <thread>

namespace {

using Events = std::vector<std::string>;
using platform::VolumeAccess;

constexpr std::size_t kSector = 512;
constexpr std::size_t kMiB = 1 << 20;
constexpr const char* kCancelAtom = "Vantrel 1.1";

// The six controls a clone locks, in the order it locks and unlocks them.
Events LockEvents(bool locked)
{
    using namespace clonedlg;
    using worker_test::EnableEvent;
    return {EnableEvent(kCancelButton, locked), EnableEvent(kExitButton, !locked),
            EnableEvent(kCreateButton, !locked), EnableEvent(kSourceList, !locked),
            EnableEvent(kDestList, !locked),         EnableEvent(kDriveConfigsButton, !locked)};
}
const Events kLocked = LockEvents(true);
const Events kUnlocked = LockEvents(false);

std::vector<std::byte> Pattern(std::size_t size)
{
    std::vector<std::byte> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::byte>((i / kSector) * 13 + i);
    return bytes;
}

class CreateCloneTest : public ::testing::Test {
protected:
    void Volumes(std::size_t size)
    {
        m_sourceBytes = Pattern(size);
        m_volumes = std::make_unique<testsupport::CFaultyVolumes>();
        m_volumes->Add('S', size).SetBytes(0, m_sourceBytes);
        m_dest = &m_volumes->Add('D', size, 0xEE);
    }

    std::unique_ptr<CCreateClone> Worker(const std::string& fileSystem, bool fastMode, bool verify = false)
    {
        auto worker = std::make_unique<CCreateClone>("S:", "D:", fileSystem, "0,16,229,3,0,0,0,0", &m_dialog,
                                                     fastMode, m_machine.Root() + "/", verify);
        worker->UseVolumes(*m_volumes);
        return worker;
    }

    void Clone(const std::string& fileSystem, bool fastMode) { Worker(fileSystem, fastMode)->Run(); }

    // The messages shown, each with the byte count the dialog showed at that moment.
    std::vector<std::pair<std::string, std::string>> MessagesWithCount() const
    {
        std::vector<std::pair<std::string, std::string>> messages;
        std::map<int, std::string> glyphs;
        for (const std::string& event : m_dialog.Events()) {
            if (event.starts_with("text ")) {
                const std::size_t end = event.find(' ', 5);
                const int id = std::stoi(event.substr(5, end - 5));
                if (id >= clonedlg::kFirstGlyph && id < clonedlg::kFirstGlyph + clonedlg::kGlyphCount)
                    glyphs[id] = event.substr(end + 1);
            } else if (event.starts_with("box ")) {
                std::string count;
                for (auto& [id, glyph] : glyphs)
                    count += glyph;
                messages.emplace_back(event.substr(4), count);
            }
        }
        return messages;
    }

    // The six controls locked first and unlocked last, Options and Help never touched,
    // and no cancel request left behind.
    void ExpectLockedThenUnlocked() const
    {
        Events enables;
        for (const std::string& event : m_dialog.Events())
            if (event.starts_with("enable "))
                enables.push_back(event);
        Events expected = kLocked;
        expected.insert(expected.end(), kUnlocked.begin(), kUnlocked.end());
        EXPECT_EQ(enables, expected);
        Events events = m_dialog.Events();
        ASSERT_GE(events.size(), 12u);
        EXPECT_EQ(Events(events.begin(), events.begin() + 6), kLocked);
        EXPECT_EQ(Events(events.end() - 6, events.end()), kUnlocked);
        EXPECT_EQ(platform::FindAtom(kCancelAtom), 0);
    }

    testsupport::CTempMachine m_machine;
    worker_test::CRecordingControls m_dialog;
    std::unique_ptr<testsupport::CFaultyVolumes> m_volumes;
    testsupport::CMemoryVolume* m_dest = nullptr;
    std::vector<std::byte> m_sourceBytes;
};

TEST_F(CreateCloneTest, ACompletedCloneShowsItsFinalCountBeforeTheMessage)
{
    Volumes(64 * 1024);
    Clone("FAT32", 0);

    ExpectLockedThenUnlocked();
    EXPECT_EQ(m_dest->Bytes(), m_sourceBytes);
    auto messages = MessagesWithCount();
    ASSERT_EQ(messages.size(), 1u);
    // The time taken and the average rate follow the text, on a line of their own.
    EXPECT_EQ(testsupport::WithoutTimes(messages[0].first),
              "Done!\n\nDrive partition cloned from: S:\nDrive partition cloned to: D:\n\n"
              "The partition will be useable after rebooting the computer.\n\nTime taken: T.");
    EXPECT_EQ(messages[0].second, "65,536");
    EXPECT_EQ(platform::ReadWholeFile(m_machine.Path("Report.txt")),
              "From: S:\nTo:   D:\nFile System: FAT32\n\nDone => 65536\n");
}

TEST_F(CreateCloneTest, ACancelAtomLeftBehindDoesNotStopTheNextClone)
{
    Volumes(64 * 1024);
    ASSERT_NE(platform::AddAtom(kCancelAtom), 0);
    ASSERT_NE(platform::AddAtom(kCancelAtom), 0);
    Clone("FAT32", 0);

    ExpectLockedThenUnlocked();
    EXPECT_EQ(m_dest->Bytes(), m_sourceBytes);
    auto messages = MessagesWithCount();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].first.rfind("Done!", 0), 0u) << messages[0].first;
}

// The byte count starts again from 0 under its own label once the copy is made, so the
// user sees which phase runs; what the longer count drew before is blanked, and the count
// ends at the bytes verified. Cancel then stops the verification only.
TEST_F(CreateCloneTest, AVerificationCountsAgainUnderItsOwnLabel)
{
    const std::string done = "Done!\n\nDrive partition cloned from: S:\nDrive partition cloned to: D:\n\n"
                             "The partition will be useable after rebooting the computer.\n\n";
    Volumes(24 * kMiB);
    Worker("FAT32", true, true)->Run();

    const Events events = m_dialog.Events();
    auto at = [&](const std::string& event) { return std::find(events.begin(), events.end(), event) - events.begin(); };
    const auto verifying = at(worker_test::TextEvent(clonedlg::kBytesLabel, clonedlg::kBytesVerifiedLabel));
    ASSERT_LT(verifying, std::ssize(events));
    EXPECT_LT(at(worker_test::TextEvent(clonedlg::kBytesLabel, clonedlg::kBytesCopiedLabel)), verifying);
    EXPECT_EQ(std::count(events.begin() + verifying, events.end(),
                         worker_test::TextEvent(clonedlg::kFirstGlyph + 9, "")),
              1);
    auto messages = MessagesWithCount();
    ASSERT_EQ(messages.size(), 1u);
    // The copy's time and rate, and the verification's time after them.
    EXPECT_NE(messages[0].first.find(" on average.  The verification took 0:0"), std::string::npos)
        << messages[0].first;
    EXPECT_EQ(testsupport::WithoutTimes(messages[0].first),
              done + "Time taken: T.\n\n" + VerifiedNoteText("D:", 24 * kMiB, 0));
    EXPECT_EQ(messages[0].second, "25,165,824");
    // The progress line names the phase that runs, and ends on the verification.
    EXPECT_NE(at(worker_test::TextEvent(clonedlg::kProgressText, "Verifying: 0 %")), std::ssize(events));
    EXPECT_TRUE(m_dialog.Control(clonedlg::kProgressText).text.starts_with("Verifying: 100 %, 24.0 MiB in 0:0"))
        << m_dialog.Control(clonedlg::kProgressText).text;
    ExpectLockedThenUnlocked();

    m_dialog.ClearEvents();
    Volumes(24 * kMiB);
    // The destination is read only to be verified.
    m_dest->OnEveryRead([](std::uint64_t, bool) { platform::AddAtom(kCancelAtom); });
    Worker("FAT32", true, true)->Run();
    messages = MessagesWithCount();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(testsupport::WithoutTimes(messages[0].first), done + "Time taken: T.\n\n" + NotVerifiedText(0));
    EXPECT_NE(messages[0].second, "25,165,824");
    EXPECT_EQ(m_dialog.Control(clonedlg::kBytesLabel).text, clonedlg::kBytesVerifiedLabel);
    ExpectLockedThenUnlocked();
}

TEST_F(CreateCloneTest, SkippedSectorsAreToldAfterTheDoneMessage)
{
    Volumes(16 * kSector);
    m_volumes->Add('S', 16 * kSector).FailRead(3);
    Clone("FAT32", 0);
    auto messages = MessagesWithCount();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].first, "Bad sectors were found and skipped.  See Report.txt for details.");
    ExpectLockedThenUnlocked();
}

TEST_F(CreateCloneTest, AFastModeErrorShowsTheBytesCopiedSoFar)
{
    Volumes(50 * kMiB);
    m_volumes->Add('S', 50 * kMiB).FailRead(90000);  // in the third 20 MiB block
    Clone("NTFS", 1);

    ExpectLockedThenUnlocked();
    auto messages = MessagesWithCount();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].first.rfind("Error#: 5.  Bad sector(s) discovered on the S: partition.", 0), 0u);
    EXPECT_EQ(messages[0].second, "41,943,040");
}

TEST_F(CreateCloneTest, CancelPressedTwiceStopsTheCloneAndLeavesNoAtom)
{
    Volumes(3 * kMiB);
    // Cancel is pressed while the second MiB is read, once the first is on the destination.
    m_volumes->Add('S', 3 * kMiB).OnRead([this](int reads) {
        if (reads != 2)
            return;
        for (int wait = 0; wait < 10000 && m_dest->Writes() == 0; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        platform::AddAtom(kCancelAtom);
        platform::AddAtom(kCancelAtom);
    });
    Clone("FAT32", 0);

    ExpectLockedThenUnlocked();
    auto messages = MessagesWithCount();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].first, "Clone cancelled.\n\nCloned partition will be unusable.");
    EXPECT_EQ(messages[0].second, "1,048,576");  // the second MiB was read, not written
}

TEST_F(CreateCloneTest, EndingsBeforeAnythingIsCopiedShowZero)
{
    struct CCase {
        const char* fileSystem;
        std::optional<std::pair<char, VolumeAccess>> refused;
        const char* message;
    };
    const CCase cases[] = {
        {"FAT16", std::nullopt, "Quorvane Error: Clone cancelled.\n\nUnknown file system on partition: FAT16"},
        {"NTFS", std::pair{'S', VolumeAccess::Read},
         "CCreateClone::CloneDrive => Cannot open drive partition to clone from: S:\n\nS: cannot be opened: No "
         "such file or directory"},
        {"NTFS", std::pair{'D', VolumeAccess::Write},
         "CCreateClone::CloneDrive => Cannot open drive partition to clone to: D:\n\nD: cannot be opened: No such "
         "file or directory"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.message);
        m_dialog.ClearEvents();
        Volumes(8 * kSector);
        if (c.refused)
            m_volumes->RefuseOpen(c.refused->first, c.refused->second);
        Clone(c.fileSystem, 1);

        ExpectLockedThenUnlocked();
        EXPECT_EQ(MessagesWithCount(), (std::vector<std::pair<std::string, std::string>>{{c.message, "0"}}));
        EXPECT_EQ(m_dest->Writes(), 0);
    }
}

TEST_F(CreateCloneTest, TheWorkerThreadOwnsTheCloneAndUnlocksTheDialogWhenDone)
{
    Volumes(32 * kSector);
    platform::AddAtom(kCancelAtom);  // left by a press after the previous clone ended
    auto worker = Worker("FAT32", 0);
    platform::DeleteAtom(platform::FindAtom(kCancelAtom));

    ASSERT_TRUE(CCreateClone::CreateThread(std::move(worker)));
    m_dialog.WaitForEnable(clonedlg::kDriveConfigsButton, true);

    ExpectLockedThenUnlocked();
    EXPECT_EQ(m_dest->Bytes(), m_sourceBytes);
    EXPECT_EQ(m_dialog.GlyphText(), "16,384");
}

// A worker whose thread the system refuses is freed at once, having locked nothing and
// written nothing: the dialog stays as it was.
TEST_F(CreateCloneTest, AWorkerWhoseThreadCannotStartIsFreedAndTouchesNothing)
{
    Volumes(8 * kSector);
    std::shared_ptr<CCreateClone> worker = Worker("FAT32", 0);
    std::weak_ptr<CCreateClone> watched = worker;
    {
        testsupport::CNoNewThreads noThreads;
        if (!noThreads.Active())
            GTEST_SKIP() << "the default thread stack cannot be changed here";
        EXPECT_FALSE(CCreateClone::CreateThread(std::move(worker)));
    }
    EXPECT_TRUE(watched.expired());
    EXPECT_TRUE(m_dialog.Events().empty());
    EXPECT_EQ(m_dest->Writes(), 0);
}

// Cancel pressed after any transfer of a MiB run that failed, as it is narrowed down to its
// bad sectors: the clone stops as a clone reading one sector at a time would, had Cancel
// come as it read the transfer's first sector. That sector and everything after it stay
// as they were; the report lists the bad sectors before it; the count shown is what was
// written.
TEST_F(CreateCloneTest, CancelAtAnyPointOfAFailedRunStopsWhereOneSectorAtATimeWould)
{
    constexpr std::uint64_t kRun = 2048;
    const std::set<std::uint64_t> bad{kRun + 100, kRun + 639, kRun + 640, kRun + 641, 2 * kRun - 1};
    // The sector where the clone stops when Cancel comes as sector `at` is read: the first
    // sector that reads, or the second of a run of bad sectors, which asks again.
    auto stopsAt = [&](std::uint64_t at) {
        for (;; ++at) {
            if (bad.count(at) == 0)
                return at;
            if (bad.count(at - 1) > 0)
                return at + 1;
        }
    };
    const std::size_t size = (2 * kRun + 10) * kSector;
    for (int press = 1;; ++press) {
        SCOPED_TRACE("Cancel after transfer " + std::to_string(press) + " of the failed run");
        m_dialog.ClearEvents();
        Volumes(size);
        testsupport::CMemoryVolume& source = m_volumes->Add('S', size);
        source.SetBytes(0, m_sourceBytes);
        for (std::uint64_t sector : bad)
            source.FailRead(sector);
        // The run is read ahead while the one before it is written; what follows it is
        // read by the clone itself, up to the single sector past the run's bad last one.
        int reads = 0;
        std::optional<std::uint64_t> pressedAt;
        source.OnEveryRead([&](std::uint64_t sector, bool) {
            if (sector < kRun || sector > 2 * kRun || ++reads != press + 1)
                return;
            pressedAt = sector;
            platform::AddAtom(kCancelAtom);
        });
        Clone("FAT32", 0);
        if (!pressedAt)
            break;  // every transfer of the run has had its press

        const std::uint64_t stop = stopsAt(*pressedAt);
        std::string report = "From: S:\nTo:   D:\nFile System: FAT32\n\n";
        std::vector<std::byte> expected(size, std::byte{0xEE});
        std::uint64_t written = 0;
        for (std::uint64_t sector = 0; sector < stop; ++sector) {
            if (bad.count(sector) > 0) {
                report += "Error#: 5.  Skipping bad sector at location: " + std::to_string(sector) + " on partition S:\n";
                continue;
            }
            std::copy_n(m_sourceBytes.begin() + sector * kSector, kSector, expected.begin() + sector * kSector);
            ++written;
        }
        EXPECT_EQ(platform::ReadWholeFile(m_machine.Path("Report.txt")), report) << "pressed at " << *pressedAt;
        EXPECT_TRUE(m_dest->Bytes() == expected) << "pressed at " << *pressedAt << ", expected to stop at " << stop;
        EXPECT_EQ(MessagesWithCount(),
                  (std::vector<std::pair<std::string, std::string>>{
                      {"Clone cancelled.\n\nCloned partition will be unusable.",
                       AddThousandsSeparators(std::to_string(written * kSector))}}));
        ExpectLockedThenUnlocked();
        if (HasFailure())
            break;
    }
}

}  // namespace

TEST_F(CreateCloneTest, ADestinationSharingTheSourcesStorageIsRefusedNamingBoth)
{
    const std::pair<const char*, std::uint64_t> cases[] = {
        {"CCreateClone::CloneDrive => Cannot clone a partition onto itself: S: and D: are the same partition.", 0},
        {"CCreateClone::CloneDrive => Cannot clone a partition onto itself: S: and D: overlap on the same disk.",
         kSector},
    };
    for (const auto& [message, offset] : cases) {
        SCOPED_TRACE(message);
        m_dialog.ClearEvents();
        Volumes(8 * kSector);
        testsupport::CMemoryVolume& source =
            offset == 0 ? m_volumes->Share('D', 'S') : m_volumes->AddRegion('D', 'S', offset, 4 * kSector);
        Clone("NTFS", 1);

        ExpectLockedThenUnlocked();
        EXPECT_EQ(MessagesWithCount(), (std::vector<std::pair<std::string, std::string>>{{message, "0"}}));
        EXPECT_EQ(source.Writes(), 0);
        EXPECT_EQ(source.Bytes(), m_sourceBytes);
        EXPECT_FALSE(platform::FileExists(m_machine.Path("Report.txt")));
    }
}
