// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/volume/RawVolume.h"
#include "platform/volume/VolumeUse.h"

#include <optional>
#include <string>

// What Vantrel checks of the two partitions before a clone that starts at once: the
// destination must be a volume nobody uses, and a source that others may write while it
// is copied is worth a word. A drive whose device the opener cannot tell passes.

// Why drive must never be a destination: a whole disk that holds partitions, or an
// extended partition's container. Such a drive is not offered.
std::optional<std::string> WholeDiskDestination(platform::IVolumeOpener& volumes, const std::string& drive);

// What uses the volume of drive, itself or through a loop device over it: the use to tell
// of (a mount first); nothing when nobody does or its device cannot be told.
std::optional<platform::CVolumeUse> DriveInUse(platform::IVolumeOpener& volumes, const std::string& drive);

// The message that refuses drive as the destination of a clone now: it is no single
// volume (above), or it is mounted or held, itself or through a loop device over it.
std::optional<std::string> DestinationRefusal(platform::IVolumeOpener& volumes, const std::string& drive);

// The warning for a source mounted read-write, itself or through a loop device over it.
std::optional<std::string> MountedSourceWarning(platform::IVolumeOpener& volumes, const std::string& drive);

// The texts of the messages; use and mount as DescribeUse tells them ("mounted on /mnt
// through /dev/loop2"), why as WholeDiskRefusal does.
std::string NoSingleVolumeText(const std::string& drive, const std::string& why);
std::string DestinationInUseText(const std::string& drive, const std::string& use);
std::string MountedSourceText(const std::string& drive, const std::string& mount);
