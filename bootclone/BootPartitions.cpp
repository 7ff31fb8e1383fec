// SPDX-License-Identifier: GPL-3.0-or-later
#include "bootclone/BootPartitions.h"

#include "bootclone/BootTexts.h"
#include "platform/drives/DriveLetters.h"
#include "platform/drives/DriveView.h"
#include "platform/drives/FingerprintSearch.h"
#include "platform/journal/Journal.h"
#include "platform/volume/VolumeShape.h"
#include "platform/volume/VolumeUse.h"

#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kLookEvery{100};
// Looking for a device by its fingerprint reads every block device's attributes: not as
// often as looking at the letter's own name.
constexpr std::chrono::seconds kSearchEvery{1};
// The console tells what Keldrun waits for when the wait begins and then this often.
constexpr std::chrono::seconds kTellEvery{5};

void Tell(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// The drive's entry now; nothing when its letter is not in the table.
std::optional<platform::CDriveEntry> LookAt(char letter)
{
    platform::CDriveView view = platform::StoredDrives();
    if (const platform::CDriveEntry* entry = view.Find(letter))
        return *entry;
    return std::nullopt;
}

// The wait for one drive's device, sharing the deadline of both.
class CDriveWait {
public:
    CDriveWait(const std::string& drive, char letter, Clock::time_point start, std::chrono::milliseconds bound,
               const platform::CTerminationSignals& signals)
        : m_drive(DescribeBootDrive(drive)), m_letter(letter), m_start(start), m_bound(bound), m_signals(signals)
    {
    }

    // The device to check once it is there, nothing for a letter without a device; or why
    // the clone must not be made.
    std::optional<CBootRefusal> Wait(std::optional<std::string>& device);

private:
    // How long another device may stand at the letter's name before it is refused: 10 s
    // of the 90 s that the devices are waited for.
    std::chrono::milliseconds ReplacedSettle() const { return m_bound / 9; }
    std::optional<CBootRefusal> Refused(std::string text, int signal = 0) const
    {
        return CBootRefusal{std::move(text), signal};
    }

    std::string m_drive;
    char m_letter;
    Clock::time_point m_start;
    std::chrono::milliseconds m_bound;
    const platform::CTerminationSignals& m_signals;
};

std::optional<CBootRefusal> CDriveWait::Wait(std::optional<std::string>& device)
{
    const platform::CDriveSources sources = platform::MachineSources();
    Clock::time_point nextTell = Clock::now();
    Clock::time_point nextSearch = nextTell;
    Clock::time_point replacedSince = nextTell;  // or the last look that found it not so
    for (bool first = true;; first = false) {
        // Before the device is taken: a stop asked for while it appeared must not let the
        // clone begin.
        if (int signal = m_signals.Pending())
            return Refused(boottexts::StoppedWhileWaitingText(m_drive, signal), signal);
        std::optional<platform::CDriveEntry> entry = LookAt(m_letter);
        if (!entry)
            return std::nullopt;
        if (entry->present) {
            device = entry->device;
            return std::nullopt;
        }
        const bool search = Clock::now() >= nextSearch;
        if (search) {
            nextSearch += kSearchEvery;
            if (std::optional<std::string> found = platform::FindFingerprintedDevice(entry->fingerprint, sources)) {
                const std::string line = boottexts::FoundElsewhereLine(m_drive, *found);
                Tell(line);
                platform::LogToJournal(platform::JournalPriority::Notice, line);
                device = *found;
                return std::nullopt;
            }
        }
        // Another device at the letter's name, while its own is nowhere: refused once it
        // has stood there a while, since disks that come up in another order than before
        // take each other's kernel names, and the letter's own may show under another one
        // a moment later.
        const Clock::time_point now = Clock::now();
        if (!entry->replaced)
            replacedSince = now;
        else if ((search && now >= replacedSince + ReplacedSettle()) || now >= m_start + m_bound)
            return Refused(boottexts::ChangedText(
                m_drive, platform::CompareFingerprint(entry->device, entry->fingerprint, sources) ==
                             platform::FingerprintChange::Resized));
        if (now >= m_start + m_bound)
            return Refused(boottexts::DidNotAppearText(m_drive, m_bound));
        if (first)
            platform::LogToJournal(platform::JournalPriority::Info,
                                   "waiting for the " + m_drive + " partition to appear");
        if (now >= nextTell) {
            Tell(boottexts::WaitingLine(m_drive, std::chrono::duration_cast<std::chrono::seconds>(now - m_start),
                                        m_bound));
            nextTell += kTellEvery;
        }
        std::this_thread::sleep_for(kLookEvery);
    }
}

// Nothing when the drive is there and nobody uses it, or has no letter at all.
std::optional<CBootRefusal> CheckDrive(const std::string& drive, Clock::time_point start,
                                       std::chrono::milliseconds bound, const platform::CTerminationSignals& signals)
{
    std::optional<char> letter = platform::ParseDriveName(drive);
    if (!letter)
        return std::nullopt;
    std::optional<std::string> device;
    if (std::optional<CBootRefusal> refusal = CDriveWait(drive, *letter, start, bound, signals).Wait(device))
        return refusal;
    if (!device)
        return std::nullopt;
    std::vector<platform::CVolumeUse> uses = platform::VolumeUses(*device, platform::MachineSources());
    if (uses.empty())
        return std::nullopt;
    const platform::CVolumeUse& use = platform::UseToTell(uses);
    return CBootRefusal{
        boottexts::InUseText(DescribeBootDrive(drive), platform::DescribeUse(use), !use.mountPoint.empty())};
}

}  // namespace

std::string DescribeBootDrive(const std::string& drive)
{
    std::optional<char> letter = platform::ParseDriveName(drive);
    std::optional<platform::CDriveDevice> device = letter ? platform::StoredDriveDevice(*letter) : std::nullopt;
    return device ? drive + " (" + device->path + ")" : drive;
}

std::optional<CBootRefusal> CheckBootPartitions(const CCloneRequest& request, std::chrono::milliseconds deviceBound,
                                                const platform::CTerminationSignals& signals)
{
    // One bound for both: the devices appear side by side, not one after the other.
    const Clock::time_point start = Clock::now();
    for (const std::string* drive : {&request.m_sourceDrive, &request.m_destDrive})
        if (std::optional<CBootRefusal> refusal = CheckDrive(*drive, start, deviceBound, signals))
            return refusal;
    // A stop asked for while the partitions were checked comes before any write.
    if (int signal = signals.Pending())
        return CBootRefusal{boottexts::StoppedBeforeCloneText(signal), signal};
    return std::nullopt;
}
