// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/CloneTexts.h"

#include "clone/HumanUnits.h"
#include "clone/NtfsBootSector.h"
#include "clone/ReportFile.h"
#include "platform/system/WaitBound.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// path as one word of a shell command line.
std::string ShellWord(const std::string& path)
{
    auto plain = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::strchr("/._-+:=@,", c) != nullptr;
    };
    if (!path.empty() && std::all_of(path.begin(), path.end(), plain))
        return path;
    std::string quoted = "'";
    for (char c : path)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

std::string ReportHeaderText(const std::string& source, const std::string& destination,
                             const std::string& fileSystem)
{
    return "From: " + source + "\nTo:   " + destination + "\nFile System: " + fileSystem + "\n";
}

std::string DoneLineText(const std::string& digits)
{
    return "Done => " + digits;
}

std::string WholePartitionText(const std::string& source, const std::string& reason)
{
    return "The whole " + source + " partition is copied, not only its used space: " + reason + ".";
}

std::string UsedSpaceCopiedText(const std::string& source, std::uint64_t copied, std::uint64_t size)
{
    return "Only the used space of the " + source + " partition was copied: " +
           AddThousandsSeparators(FormatBytes(copied)) + " of its " + AddThousandsSeparators(FormatBytes(size)) +
           " bytes.";
}

std::string UnknownFileSystemText(const std::string& fileSystem)
{
    return "Quorvane Error: Clone cancelled.\n\nUnknown file system on partition: " + fileSystem;
}

std::string BadSectorsText(int error, const std::string& drive, const char* direction)
{
    return "Error#: " + std::to_string(error) + ".  Bad sector(s) discovered on the " + drive +
           " partition.  You must use the 'Slow Mode' option to copy " + direction + " this partition.";
}

std::string SourceEndedEarlyText(const std::string& source, std::uint64_t sizeAtOpen, std::uint64_t sizeRead)
{
    return "The " + source + " partition ended before the copy was complete.  It held " + FormatBytes(sizeAtOpen) +
           " bytes when the clone began, but only " + FormatBytes(sizeRead) + " could be read.";
}

std::string InterruptedText(int signal, const std::string& destination)
{
    return "Clone interrupted by signal " + std::to_string(signal) + ".  The copy on the " + destination +
           " partition is incomplete and will be unusable.";
}

std::string SkippedSectorLine(int error, std::uint64_t location, const std::string& drive)
{
    return "Error#: " + std::to_string(error) + ".  Skipping bad sector at location: " + FormatBytes(location) +
           " on partition " + drive;
}

std::string DestinationTooSmallText(int error, const std::string& destination, const std::string& source,
                                    std::uint64_t destinationBytes, std::uint64_t sourceBytes)
{
    const std::uint64_t missing = sourceBytes > destinationBytes ? sourceBytes - destinationBytes : 0;
    return "Error#: " + std::to_string(error) + ".  The " + destination +
           " partition ended before the copy was complete.  It must be at least as large as the " + source +
           " partition: it holds " + AddThousandsSeparators(FormatBytes(destinationBytes)) + " bytes, " +
           AddThousandsSeparators(FormatBytes(missing)) + " (" + BinarySizeText(missing) + ") fewer than the " +
           AddThousandsSeparators(FormatBytes(sourceBytes)) + " of the " + source + " partition.";
}

std::string OpenFailureText(const std::string& drive, const std::string& device, int error,
                            const std::string& busy)
{
    std::string text = (device.empty() ? drive : drive + " (" + device + ")") + " cannot be opened: " +
                       std::strerror(error);
    return busy.empty() ? text : text + ": " + busy;
}

std::string SystemReasonText(int error)
{
    return std::string("The system's reason: ") + std::strerror(error) + ".";
}

std::string ToolEndingText(const platform::CProgramEnding& ending)
{
    if (ending.startError != 0)
        return std::string("could not be started (") + std::strerror(ending.startError) + ")";
    if (ending.signal != 0)
        return "was ended by signal " + std::to_string(ending.signal);
    return "failed with exit code " + std::to_string(ending.exitCode);
}

std::string LoopAttachedText(int error, const std::string& destination)
{
    return "Error#: " + std::to_string(error) + ".  A loop device was attached over the " + destination +
           " partition while the clone wrote it: what was mounted or written through it has changed the copy, "
           "which cannot be trusted.  Detach the loop device and clone again.";
}

std::string StorageFullText(int error, const std::string& destination)
{
    return "Error#: " + std::to_string(error) + ".  The " + destination +
           " partition has no room for the copy although it is large enough: the storage it lies on is full (the "
           "file system of its image file, or a thin pool).  Make room there and clone again.";
}

std::string CapacityNoteText(const std::string& source, const std::string& device)
{
    // Without a size, ntfsresize grows the volume to its whole partition.
    return "The copy keeps the capacity of the " + source +
           " partition until it is resized.  To resize it, run: ntfsresize " + ShellWord(device);
}

std::string NotShutDownNoteText(const std::string& source, const std::string& device)
{
    return "The copy keeps the capacity of the " + source +
           " partition: Windows on it is hibernated or was not shut down fully, and a resize now would lose what "
           "it has not yet written.  Start Windows from the copy and shut it down fully, then run: ntfsresize " +
           ShellWord(device);
}

std::string ClusterLimitNoteText(const std::string& destination, std::uint64_t volumeBytes,
                                 std::uint64_t clusterBytes)
{
    return "The copy uses " + AddThousandsSeparators(FormatBytes(volumeBytes)) + " bytes of the " + destination +
           " partition: NTFS counts no more than " + AddThousandsSeparators(FormatBytes(kNtfsMostClusters)) +
           " clusters, and its clusters are " + AddThousandsSeparators(FormatBytes(clusterBytes)) + " bytes.";
}

std::string ResizeCutShortText(const std::string& destination, const std::string& device, const std::string& how)
{
    return "The resize of the copy on the " + destination + " partition did not complete: ntfsresize " + how +
           ".  The copy must be checked before it is used: run ntfsfix --no-action " + ShellWord(device) +
           ", and chkdsk /f when Windows starts from it.";
}

std::string CopyNotUsableText(const std::string& source, const std::string& destination)
{
    return "The copy on the " + destination +
           " partition is not usable: it fails the consistency check of NTFS (ntfsfix --no-action), which the " +
           source + " partition passes.  Clone again; should the copy fail again, check the " + destination +
           " partition and its disk.";
}

std::string AsGoodAsSourceText(const std::string& source, const std::string& destination)
{
    return "The " + source +
           " partition itself fails the consistency check of NTFS (ntfsfix --no-action): it may be hibernated, "
           "marked for a check or damaged.  The copy on the " +
           destination + " partition is as good as its source.";
}

std::string NotCheckedText(const std::string& destination, const std::string& why)
{
    return "The copy on the " + destination + " partition was not checked: " + why + ".";
}

std::string CheckOverdueText(std::chrono::milliseconds bound)
{
    return "ntfsfix did not finish within " + platform::WaitBoundText(bound);
}

std::string CheckNotRunText(int startError, int signal)
{
    if (startError == ENOENT)
        return "ntfsfix of ntfs-3g is not installed";
    if (startError == EBADF)
        return "the volume cannot be handed to ntfsfix (is /proc mounted?)";
    return "ntfsfix " + ToolEndingText({.startError = startError, .signal = signal});
}
