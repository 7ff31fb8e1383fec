// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/files/FileDescriptor.h"
#include "platform/volume/RawVolume.h"

namespace platform {

// The file of volume opened once more with flags (O_CLOEXEC is added), through its open
// descriptor, never through a name that may point elsewhere by now. Not open, with errno
// telling why, when volume is no file (EBADF), its file cannot be opened again, or what
// opened is not the same file (ESTALE).
CFd ReopenVolumeFile(const IVolume& volume, int flags);

}  // namespace platform
