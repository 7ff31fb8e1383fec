// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/usedspace/NtfsVolume.h"

// Whether the journal of an NTFS volume ($LogFile) holds changes that Windows has not yet
// written to the volume: after a crash the $Bitmap may leave free clusters that the
// journal gives to files, and Windows replays it at its next start. A copy of only the
// clusters the $Bitmap marks would then hold files with clusters it never copied.
namespace usedspace::ntfs {

enum class Journal {
    Clean,      // empty (reset), or its latest restart area says nothing is pending
    Unclean,    // a client still has it open and the volume is not marked clean
    Unreadable  // $LogFile cannot be read, or neither restart page is sound
};

// Reads the restart pages at the start of $LogFile and judges the latest one as ntfs-3g
// does before a read-write mount.
Journal CheckJournal(CNtfsVolume& ntfs);

}  // namespace usedspace::ntfs
