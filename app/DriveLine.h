// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/volume/VolumeUse.h"
#include "settings/Settings.h"

#include <cstdint>
#include <optional>
#include <string>

// The lines under each partition list of the clone dialog: what the selected drive is to a
// Linux user (its device or image file, label and size), then what uses it, and for the
// destination what is to become of it. The letters alone say nothing on Linux.

struct CDriveFacts {
    std::string device;  // the device node or image file; empty when it cannot be told
    std::string label;   // of its file system; empty when it has none
    std::uint64_t size = 0;
    std::optional<platform::CVolumeUse> use;  // what uses it now
};

// "/dev/sdb1, label SOURCE, 64.0 GiB\nnot mounted". A source mounted for writing gets the
// advice to clone it in Safe Mode; one whose file system is not recognised says that
// there is nothing to clone.
std::string SourceLineText(const CDriveFacts& facts, bool recognised);

// "/dev/sdc1, label COPY, 96.0 GiB\nnot mounted: will be overwritten". One in use says
// what becomes of it as choice runs the clone: refused now, left to Safe Mode, or
// overwritten at the next start.
std::string DestinationLineText(const CDriveFacts& facts, SafeModeChoice choice);

// True when a destination cannot take the clone that Create would start: it is in use and
// the clone would run at once.
bool DestinationBlocked(const CDriveFacts& facts, SafeModeChoice choice);
