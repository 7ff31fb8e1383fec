// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/shell/Shell.h"
#include "platform/volume/RawVolume.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Opened volumes handed on to the programs that complete a copy (the NTFS tools). They get
// the very files this process opened and checked, never a path: a name can be pointed at
// another volume between any check and the program's own open.
namespace platform {

// The file of volume opened once more, for reading and writing, with neither an exclusive
// claim nor direct I/O, for rewriting sectors around programs that open the volume
// themselves. The exclusive claim of volume stays with volume, so nobody mounts or claims
// the device meanwhile. Nothing when volume is no file (errno EBADF) or cannot be opened
// again (errno tells why).
std::unique_ptr<IVolume> ReopenShared(const IVolume& volume);

// Runs argv with volumes handed to it (argv names the i-th as VolumeArgument(i)), with its
// standard streams on /dev/null and the stop signals held, and waits for its end, or,
// given a bound (for a program that only reads), until the bound has passed and it is
// killed. startError is EBADF when a volume is no file or its file cannot be reached
// through /proc (not mounted), which the program needs to open it.
CProgramEnding RunToolOnVolumes(const std::vector<std::string>& argv, const std::vector<const IVolume*>& volumes,
                                std::optional<std::chrono::milliseconds> bound = std::nullopt);

// The argument that names the index-th volume handed to a program.
std::string VolumeArgument(std::size_t index);

}  // namespace platform
