// SPDX-License-Identifier: GPL-3.0-or-later
// Slow mode moves runs of sectors in one transfer and falls back to single sectors where
// a transfer fails. Whatever the faults, the copy, the report, the messages and every
// count shown must be those of a clone with one transfer per sector.
#include "clone/CloneDrive.h"
#include "platform/files/TextFiles.h"
#include "tests/clone/OneSectorClone.h"
#include "tests/clone/TranscriptFrontEnd.h"
#include "tests/support/FaultyVolume.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/SectorPattern.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <random>

namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kRun = 2048;  // sectors per slow-mode transfer

struct CFaultCase {
    std::size_t sourceSize = 0;
    std::size_t destSize = 0;
    std::map<std::uint64_t, int> unreadable;
    std::map<std::uint64_t, int> unwritable;
    int cancelAfterSkips = 0;
    std::string fileSystem = "FAT32";
};

struct CResult {
    CloneOutcome outcome{};
    std::string events;
    std::string report;
    std::vector<std::string> boxes;
    std::vector<std::byte> copy;
    bool sourceUnchanged = false;
    // What the drives went through: the most transfers that touched one sector.
    int mostReadsOfASector = 0;
    int mostWritesOfASector = 0;
};

// One clone of the case by clone (the engine or the one-sector reference).
template <class Clone>
CResult CloneCase(const CFaultCase& fault, const std::string& reportPath, Clone clone)
{
    testsupport::CFaultyVolumes volumes;
    std::string pattern = testsupport::SectorPattern(fault.sourceSize);
    std::vector<std::byte> sourceBytes(reinterpret_cast<const std::byte*>(pattern.data()),
                                       reinterpret_cast<const std::byte*>(pattern.data()) + pattern.size());
    testsupport::CMemoryVolume& source = volumes.Add('X', fault.sourceSize);
    source.SetBytes(0, sourceBytes);
    testsupport::CMemoryVolume& dest = volumes.Add('Y', fault.destSize, 0xEE);
    for (auto [sector, error] : fault.unreadable)
        source.FailRead(sector, error);
    for (auto [sector, error] : fault.unwritable)
        dest.FailWrite(sector, error);

    testsupport::CScriptedMessageBox boxes;
    CTranscriptFrontEnd frontEnd(reportPath, fault.cancelAfterSkips);
    CResult result;
    result.outcome = clone(CCloneRequest{"X:", "Y:", fault.fileSystem, "9,8,7,6,5,4,3,2", false}, frontEnd, volumes);
    result.events = frontEnd.Events();
    result.report = platform::ReadWholeFile(reportPath).value_or("(none)");
    result.boxes = boxes.Texts();
    result.copy = dest.Bytes();
    result.sourceUnchanged = source.Bytes() == sourceBytes;
    result.mostReadsOfASector = source.MostReadsOfASector();
    result.mostWritesOfASector = dest.MostWritesOfASector();
    return result;
}

// Sectors where runs meet, and the ends of the volume, are where a run's fallback can go
// wrong; faults are placed near them more often than anywhere else.
std::uint64_t FaultPlace(std::mt19937& random, std::uint64_t sectors)
{
    if (sectors == 0)
        return 0;
    switch (random() % 4) {
    case 0: {
        std::uint64_t boundary = (random() % (sectors / kRun + 1)) * kRun;
        return boundary + random() % 5 - std::min<std::uint64_t>(boundary, 2);
    }
    case 1:
        return random() % 2 ? random() % 3 : sectors - 1 - random() % std::min<std::uint64_t>(sectors, 3);
    default:
        return random() % sectors;
    }
}

void AddFaults(std::mt19937& random, std::uint64_t sectors, std::map<std::uint64_t, int>& faults)
{
    static const int errors[] = {EIO, ENXIO, EROFS, ENODATA};
    for (unsigned group = random() % 4; group > 0; --group) {
        std::uint64_t first = FaultPlace(random, sectors);
        std::uint64_t length = random() % 8 == 0 ? 1 + random() % (kRun + 60) : 1 + random() % 4;
        for (std::uint64_t sector = first; sector < first + length; ++sector)
            faults[sector] = errors[random() % 4];
    }
}

// Single bad sectors strewn over the volume, as on a worn disk: most runs hold one or two,
// some sit side by side or on a run's edge.
void ScatterFaults(std::mt19937& random, std::uint64_t sectors, std::uint64_t count,
                   std::map<std::uint64_t, int>& faults)
{
    static const int errors[] = {EIO, ENODATA};
    for (; count > 0 && sectors > 0; --count)
        faults[random() % 3 == 0 ? FaultPlace(random, sectors) : random() % sectors] = errors[random() % 2];
}

CFaultCase RandomCase(std::mt19937& random)
{
    static const std::uint64_t sizes[] = {0, 1, 9, kRun - 1, kRun, kRun + 1, 2 * kRun, 3 * kRun + 5};
    CFaultCase fault;
    std::uint64_t sectors = random() % 2 ? sizes[random() % 8] : random() % (4 * kRun);
    fault.sourceSize = sectors * kSector + (random() % 5 == 0 ? random() % kSector : 0);
    switch (random() % 6) {
    case 0: fault.destSize = fault.sourceSize + (random() % 40) * kSector; break;
    case 1: fault.destSize = fault.sourceSize - std::min<std::size_t>(fault.sourceSize, random() % (kRun + 9) * kSector); break;
    default: fault.destSize = fault.sourceSize;
    }
    const bool scattered = random() % 4 == 0;
    if (scattered) {
        ScatterFaults(random, sectors + 1, 10 + random() % 140, fault.unreadable);
        ScatterFaults(random, sectors + 1, random() % 30, fault.unwritable);
    } else {
        AddFaults(random, sectors + 1, fault.unreadable);
        AddFaults(random, sectors + 1, fault.unwritable);
    }
    if (random() % 5 == 0)
        fault.cancelAfterSkips = 1 + static_cast<int>(random() % (scattered ? 60 : 6));
    if (random() % 10 == 0)
        fault.fileSystem = random() % 2 ? "NTFS" : "FAT16";
    return fault;
}

// The faulty sectors as ranges, "100-102 2047".
std::string Ranges(const std::map<std::uint64_t, int>& faults)
{
    std::ostringstream text;
    for (auto fault = faults.begin(); fault != faults.end();) {
        std::uint64_t first = fault->first, last = first;
        while (++fault != faults.end() && fault->first == last + 1)
            ++last;
        text << ' ' << first;
        if (last != first)
            text << '-' << last;
    }
    return text.str();
}

std::string Describe(const CFaultCase& fault)
{
    return "source " + std::to_string(fault.sourceSize) + " bytes, destination " + std::to_string(fault.destSize) +
           ", " + fault.fileSystem + ", cancel after " + std::to_string(fault.cancelAfterSkips) +
           " skips; unreadable:" + Ranges(fault.unreadable) + "; unwritable:" + Ranges(fault.unwritable);
}

// Both clones of the case give the same result, and the engine's drives suffer no more
// than three transfers over any sector.
void ExpectSameResult(const CFaultCase& fault, const testsupport::CTempMachine& machine)
{
    CResult runs = CloneCase(fault, machine.Path("runs.txt"), CloneDrive);
    CResult sectors = CloneCase(fault, machine.Path("sectors.txt"), CloneOneSectorAtATime);
    EXPECT_EQ(runs.outcome, sectors.outcome);
    EXPECT_EQ(runs.report, sectors.report);
    EXPECT_EQ(runs.boxes, sectors.boxes);
    EXPECT_EQ(runs.events, sectors.events);
    EXPECT_TRUE(runs.copy == sectors.copy);
    EXPECT_TRUE(runs.sourceUnchanged);
    // A failing disk may take seconds over each.
    EXPECT_LE(runs.mostReadsOfASector, 3);
    EXPECT_LE(runs.mostWritesOfASector, 3);
}

// Each report line is flushed to its device: a memory file system keeps that quick.
std::string QuickFolder()
{
    std::error_code ec;
    return std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "";
}

TEST(SlowModeRunsTest, EveryFaultMapGivesTheResultOfOneTransferPerSector)
{
    testsupport::CTempMachine machine(QuickFolder());
    std::mt19937 random(20261208);
    for (int i = 0; i < 300; ++i) {
        CFaultCase fault = RandomCase(random);
        SCOPED_TRACE("case " + std::to_string(i) + ": " + Describe(fault));
        ExpectSameResult(fault, machine);
        if (HasFailure())
            break;
    }
}

// Where narrowing a run could go wrong, with the cancel pressed after every number of
// skipped sectors the clone reaches.
TEST(SlowModeRunsTest, CancelAfterEverySkipOfHandPickedMapsGivesTheResultOfOneTransferPerSector)
{
    auto range = [](std::map<std::uint64_t, int>& faults, std::uint64_t first, std::uint64_t last, int error) {
        for (std::uint64_t sector = first; sector <= last; ++sector)
            faults[sector] = error;
    };
    std::vector<CFaultCase> cases;
    {
        // Runs of bad sectors across run and piece boundaries, on both partitions at the
        // same places and side by side, each sector with its own code.
        CFaultCase fault;
        fault.sourceSize = fault.destSize = 3 * kRun * kSector;
        range(fault.unreadable, kRun - 2, kRun + 1, EIO);
        fault.unreadable[kRun] = ENODATA;
        range(fault.unreadable, 63, 64, ENXIO);
        range(fault.unwritable, kRun - 1, kRun + 2, EROFS);
        range(fault.unwritable, 127, 129, EIO);
        fault.unreadable[1000] = EIO;
        fault.unwritable[1000] = ENXIO;
        fault.unwritable[1001] = ENXIO;
        fault.unreadable[1002] = ENODATA;
        range(fault.unreadable, 2 * kRun - 1, 2 * kRun + 70, EIO);
        cases.push_back(fault);
    }
    {
        // The source ends in a partial sector inside a run of bad sectors.
        CFaultCase fault;
        fault.sourceSize = fault.destSize = (kRun + 9) * kSector + 100;
        range(fault.unreadable, kRun + 5, kRun + 9, EIO);
        fault.unwritable[kRun + 3] = EIO;
        cases.push_back(fault);
    }
    {
        // The destination ends inside a run of bad sectors of the source, and inside one
        // of its own.
        CFaultCase fault;
        fault.sourceSize = 2 * kRun * kSector;
        fault.destSize = (kRun + 40) * kSector;
        range(fault.unreadable, kRun + 35, kRun + 45, EIO);
        range(fault.unwritable, kRun + 30, kRun + 32, ENXIO);
        cases.push_back(fault);
        fault.unreadable.clear();
        range(fault.unwritable, kRun + 36, kRun + 39, EIO);
        cases.push_back(fault);
    }
    {
        // The first and last sector of 32 KiB pieces and of MiB runs, on either partition;
        // a source that is no whole number of pieces and ends in a partial sector.
        CFaultCase fault;
        fault.sourceSize = fault.destSize = (3 * kRun + 17) * kSector + 300;
        for (std::uint64_t sector : std::initializer_list<std::uint64_t>{64, 127, 2 * kRun, 3 * kRun - 1, 3 * kRun + 16, 3 * kRun + 17})
            fault.unreadable[sector] = ENODATA;
        for (std::uint64_t sector : std::initializer_list<std::uint64_t>{192, 255, kRun - 1, kRun, 2 * kRun + 64})
            fault.unwritable[sector] = EIO;
        cases.push_back(fault);
    }
    {
        // The boot sector of an NTFS source cannot be read: no other sector takes the size
        // field; then its neighbour alone, with the boot sector read on its own.
        CFaultCase fault;
        fault.fileSystem = "NTFS";
        fault.sourceSize = fault.destSize = 2 * kRun * kSector;
        range(fault.unreadable, 0, 1, EIO);
        cases.push_back(fault);
        fault.unreadable.clear();
        fault.unreadable[1] = EIO;
        fault.unwritable[kRun] = EIO;
        cases.push_back(fault);
    }
    {
        // A bad last sector of a run in a source that ends while the single sectors past
        // that run go on, on a whole sector and on a partial one; and a destination that
        // ends there too.
        CFaultCase fault;
        fault.sourceSize = fault.destSize = (kRun + 2) * kSector;
        range(fault.unreadable, kRun - 1, kRun + 5, EIO);
        cases.push_back(fault);
        fault.sourceSize = fault.destSize = (kRun + 1) * kSector + 77;
        cases.push_back(fault);
        fault.destSize = kRun * kSector;
        cases.push_back(fault);
        fault.destSize = (kRun + 1) * kSector;
        fault.unwritable[kRun - 2] = ENXIO;
        cases.push_back(fault);
    }
    {
        // A destination that ends inside a piece that held a bad sector, and one that
        // ends on a piece's edge.
        CFaultCase fault;
        fault.sourceSize = 3 * kRun * kSector;
        fault.destSize = (2 * kRun + 30) * kSector;
        fault.unreadable[2 * kRun + 5] = EIO;
        fault.unwritable[2 * kRun + 20] = EROFS;
        cases.push_back(fault);
        fault.destSize = (2 * kRun + 64) * kSector;
        fault.unreadable[2 * kRun + 63] = EIO;
        cases.push_back(fault);
    }
    testsupport::CTempMachine machine(QuickFolder());
    for (CFaultCase& fault : cases) {
        CResult whole = CloneCase(fault, machine.Path("sectors.txt"), CloneOneSectorAtATime);
        std::size_t skips = 0;
        for (std::size_t at = whole.report.find("Skipping"); at != std::string::npos;
             at = whole.report.find("Skipping", at + 1))
            ++skips;
        for (fault.cancelAfterSkips = 0; fault.cancelAfterSkips <= static_cast<int>(skips); ++fault.cancelAfterSkips) {
            SCOPED_TRACE(Describe(fault));
            ExpectSameResult(fault, machine);
            if (HasFailure())
                return;
        }
    }
}

// A worn area where every other sector fails, for thousands of sectors, on the source and
// further on the destination: each piece fails, each bad sector is its own run of one.
TEST(SlowModeRunsTest, ThousandsOfAlternatingBadSectorsGiveTheResultOfOneTransferPerSector)
{
    CFaultCase fault;
    fault.sourceSize = fault.destSize = 4 * kRun * kSector;
    for (std::uint64_t sector = 1000; sector < 5000; sector += 2)
        fault.unreadable[sector] = sector % 3 == 0 ? ENODATA : EIO;
    for (std::uint64_t sector = 6001; sector < 7500; sector += 2)
        fault.unwritable[sector] = EIO;
    const int skips = static_cast<int>(fault.unreadable.size() + fault.unwritable.size());
    testsupport::CTempMachine machine(QuickFolder());
    for (int cancel : {0, 1, 2, 3, skips / 2, skips - 1, skips}) {
        fault.cancelAfterSkips = cancel;
        SCOPED_TRACE("cancel after " + std::to_string(cancel) + " skips");
        ExpectSameResult(fault, machine);
    }
}

}  // namespace
