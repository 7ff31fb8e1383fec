// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/usedspace/ByteRanges.h"
#include "platform/volume/RawVolume.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The verification of a copy: source and destination read back from their media, both at
// once, and compared, so that a medium that loses or garbles what it was given (a failing
// disk, a bridge that drops its cache, a drive that claims more than it holds) cannot pass
// for a good copy.

// What the copy holds, and so what is compared.
struct CVerifyPlan {
    // The parts of the source that were copied, each onto the same bytes of the destination.
    usedspace::CByteRanges copied;
    // Sectors left out of the copy (skipped as unreadable or unwritable): not compared.
    usedspace::CByteRanges skipped;
    // The first sector as it was written, compared in place of the source's (whose size
    // field may have been rewritten); empty when it was written as the source holds it.
    std::vector<std::byte> firstSector;
};

// Told how far a verification is, and asked whether to go on.
class IVerifyProgress {
public:
    virtual ~IVerifyProgress() = default;
    // Once, before anything is read: the bytes that will be compared.
    virtual void OnVerifyStarting(std::uint64_t bytes) = 0;
    // After every block compared, with the bytes compared so far; false stops it there.
    virtual bool OnBlockCompared(std::uint64_t compared) = 0;
};

enum class VerifyResult {
    Equal,       // every byte compared is the same on both
    Differs,     // some sectors differ: the copy is not what was written
    ReadFailed,  // a partition could not be read back (or opened again to be)
    NoMemory,    // the buffers could not be had
    Stopped,     // the progress asked it to stop
};

struct CVerifyOutcome {
    VerifyResult result = VerifyResult::Equal;
    std::uint64_t bytesCompared = 0;
    // Differs: the first sector that differs and how many do; when the progress asked to
    // stop before the end, how many did up to there.
    std::uint64_t firstDifferingSector = 0;
    std::uint64_t differingSectors = 0;
    bool stoppedEarly = false;
    // ReadFailed: on which partition, at which sector (nothing when the partition could not
    // be opened again) and the errno.
    bool sourceFailed = false;
    std::optional<std::uint64_t> failedSector;
    int error = 0;
};

// Compares the copy on destination with source as plan says, reading both through handles
// opened again without the page cache (IVolume::ReopenUncached), so what is compared is
// what the media hold. Every differing sector is counted; a read failure ends it at once.
// Asked to stop, it tells what it found all the same: a difference already seen, or all
// equal once the last block is compared.
CVerifyOutcome VerifyCopy(const platform::IVolume& source, const platform::IVolume& destination,
                          const CVerifyPlan& plan, IVerifyProgress& progress);
