// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveView.h"
#include "platform/files/FileDescriptor.h"
#include "platform/volume/VolumeExtent.h"

#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Loop devices over a volume: an image file that backs a loop device is that device, and
// a partition or disk that backs one is read and written through it too. Whoever mounts
// the loop device (or stacks a device on it) changes the volume under a clone, and a file
// system that was mounted there writes its superblock back when it is unmounted.
namespace platform {

struct CLoopDevice {
    std::string name;  // kernel name, "loop2"
    std::string node;  // "/dev/loop2"
    dev_t devno = 0;
};

// Every attached loop device whose bytes may be bytes of the volume with extent: backed
// by it, by a part of it or by what it is a part of, directly or through other loops. self
// (the volume's own device number, 0 for an image file) and its whole disk are left out.
std::vector<CLoopDevice> LoopsOver(const CVolumeExtent& extent, dev_t self, const CDriveSources& sources = {});

// Exclusive claims (O_EXCL) on loop devices, held as long as the object: while they are
// held, no one can mount those devices or stack another device on them. A loop device
// over both partitions of a clone is claimed once and shared by both claims.
class CLoopClaims {
public:
    // Claims every loop device of LoopsOver(extent, self). False, claiming nothing, when one
    // cannot be claimed: errno is EBUSY when it is mounted, held by a stacked device or
    // claimed by another program, or why its node could not be opened.
    bool Claim(const CVolumeExtent& extent, dev_t self);
    // True when no loop device has been attached over the volume since Claim (or nothing
    // was claimed). False with errno EBUSY when one is there that was not claimed, mounted
    // or not: a file system mounted through it and unmounted again has written into the
    // volume. One detached again meanwhile is not seen.
    bool NoneAttachedSince() const;

private:
    std::vector<std::shared_ptr<const CFd>> m_claims;
    std::vector<dev_t> m_devices;                              // of the claims
    std::optional<std::pair<CVolumeExtent, dev_t>> m_claimed;  // what Claim was given
};

}  // namespace platform
