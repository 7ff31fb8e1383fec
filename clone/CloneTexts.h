// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/shell/Shell.h"

#include <chrono>
#include <cstdint>
#include <string>

// Texts that the clone engine tells the user and writes into its report, defined once for
// the engine, its front ends and their tests.

// The report's first lines: which partition is copied onto which, and its file system.
std::string ReportHeaderText(const std::string& source, const std::string& destination,
                             const std::string& fileSystem);

// The report's last line after a completed clone; digits is the byte count without
// separators.
std::string DoneLineText(const std::string& digits);

// A clone the user cancelled.
inline constexpr const char* kCloneCancelledText = "Clone cancelled.\n\nCloned partition will be unusable.";

// Only the used space was asked for, but reason (usedspace::k...) says why it cannot be
// told: the whole source partition is copied.
std::string WholePartitionText(const std::string& source, const std::string& reason);

// Only the used space of the source partition was copied: copied bytes of its size.
std::string UsedSpaceCopiedText(const std::string& source, std::uint64_t copied, std::uint64_t size);

// The copy buffers could not be allocated.
inline constexpr const char* kNotEnoughMemoryText =
    "CCreateClone::CloneDrive => Not enough memory to clone the partition.";

// A source whose file system the engine does not copy (only "NTFS" and "FAT32").
std::string UnknownFileSystemText(const std::string& fileSystem);

// The fast-mode error; direction is "from" for the source and "to" for the destination.
std::string BadSectorsText(int error, const std::string& drive, const char* direction);

// A source that shrank while it was copied (an image file cut short) leaves a copy without
// its end, however well the rest went.
std::string SourceEndedEarlyText(const std::string& source, std::uint64_t sizeAtOpen, std::uint64_t sizeRead);

// A signal asked the program to end while it cloned.
std::string InterruptedText(int signal, const std::string& destination);

// The report line of one sector that slow mode skipped, at location (a sector number).
std::string SkippedSectorLine(int error, std::uint64_t location, const std::string& drive);

// A destination that ends before the source (ENOSPC, in either mode) is no bad sector:
// the copy cannot be complete. The sizes tell by how much it is too small.
std::string DestinationTooSmallText(int error, const std::string& destination, const std::string& source,
                                    std::uint64_t destinationBytes, std::uint64_t sourceBytes);

// Why drive could not be opened, after the front end's message: its device (empty when it
// has none), the system's reason for error, and, for a busy one, what keeps it busy
// ("it is mounted on /mnt"; empty when nothing is known). "E: (/dev/sdc1) cannot be
// opened: Device or resource busy: it is mounted on /mnt".
std::string OpenFailureText(const std::string& drive, const std::string& device, int error,
                            const std::string& busy);

// The system's own word for error, after a message that gives its number:
// "The system's reason: Input/output error."
std::string SystemReasonText(int error);

// How a tool that did not succeed ended, after its name: "could not be started (No such
// file or directory)", "was ended by signal 9", "failed with exit code 1".
std::string ToolEndingText(const platform::CProgramEnding& ending);

// A loop device was attached over the destination while the copy was made (the flush
// before Done failed with EBUSY): what was mounted or written through it has changed the
// copy behind the clone's back.
std::string LoopAttachedText(int error, const std::string& destination);

// A destination that refuses a write within its size for want of space (ENOSPC): the
// storage it lies on is full, such as the file system of a sparse image file.
std::string StorageFullText(int error, const std::string& destination);

// An NTFS copy that could not grow to its partition's size (a tool missing, a volume the
// tools refuse): it is the source's volume, and device is what to hand ntfsresize.
std::string CapacityNoteText(const std::string& source, const std::string& device);

// An NTFS copy that did not grow because Windows on it is hibernated or was not shut down
// cleanly: ntfsresize would lose what waits in its journal, so it must not run yet.
std::string NotShutDownNoteText(const std::string& source, const std::string& device);

// An NTFS copy grown to the most clusters NTFS counts, which fill only volumeBytes of its
// partition destination; its clusters are clusterBytes each.
std::string ClusterLimitNoteText(const std::string& destination, std::uint64_t volumeBytes,
                                 std::uint64_t clusterBytes);

// The resize of an NTFS copy that had begun to write and did not complete; how says how
// it ended ("was ended by signal 9", "failed with exit code 1").
std::string ResizeCutShortText(const std::string& destination, const std::string& device, const std::string& how);

// The copy fails NTFS's consistency check while its source passes it: never a success.
std::string CopyNotUsableText(const std::string& source, const std::string& destination);

// The source fails the check itself (hibernated, marked for a check, damaged), and so does
// its copy.
std::string AsGoodAsSourceText(const std::string& source, const std::string& destination);

// The copy's check could not be made; why says why (CheckNotRunText).
std::string NotCheckedText(const std::string& destination, const std::string& why);

// Why ntfsfix checked nothing: it was still running after bound and was given up.
std::string CheckOverdueText(std::chrono::milliseconds bound);

// Why ntfsfix checked nothing: it could not be started (startError, an errno: ENOENT when
// ntfs-3g is not installed, EBADF when the volume cannot be handed to it), or signal
// ended it.
std::string CheckNotRunText(int startError, int signal);
