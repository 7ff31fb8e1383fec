// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveView.h"

namespace platform {

// Gives every new partition, whole disk without a partition table and network mount a
// letter, stores the new letters (when the store may be written), and describes them all.
// A lettered device found under another name by its fingerprint keeps its letter, and the
// table learns the new name; a letter whose stored name now stands for another device is
// a vanished drive.
CDriveView DiscoverDrives(const CDriveSources& sources);

}  // namespace platform
