// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/usedspace/NtfsVolume.h"

// Whether Windows hibernated on an NTFS volume: then what the volume holds is not what
// its files are until Windows resumes, and no copy of its used clusters is sound.
namespace usedspace::ntfs {

enum class Hibernation {
    None,                // no hiberfil.sys in the root folder, or one with a clear header
    Hibernated,          // its header says "hibr" or "wake", or it is too short for a header
    RootUnreadable,      // the root folder's index cannot be read or does not add up
    HiberfileUnreadable  // hiberfil.sys is named in the root folder but cannot be read
};

// Looks for hiberfil.sys in the root folder and reads its header, as ntfs-3g does before
// it mounts a volume.
Hibernation CheckHibernation(CNtfsVolume& ntfs);

}  // namespace usedspace::ntfs
