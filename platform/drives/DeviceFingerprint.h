// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveView.h"

#include <string>

struct stat;

// What recognises a lettered device again where its name may come to stand for another
// one: a kernel name such as /dev/sdb1 or /dev/loop3 after a change of disk order or a
// loop device attached anew, or a path where another image file is put.
namespace platform {

struct CFingerprint {
    std::string text;  // empty when nothing can be told about the device
    // The text names this device alone (a disk's serial, WWN or partition-table id, an
    // image file's inode), so that a letter may follow it to another name. Without one
    // (a disk that reports no id) it only tells a different device from this one.
    bool identifies = false;
};

// The block device major:minor as sysfs (and, for a disk's partition-table id, its node
// under the device folder) shows it: a partition by its number, start and size on its
// disk; a disk by serial, WWN or partition-table id; a loop device by what it shows of
// its backing file or device; a device-mapper or md device by its uuid.
CFingerprint BlockFingerprint(unsigned major, unsigned minor, const CDriveSources& sources);

// A block device as above; a regular file by its device and inode; nothing otherwise.
CFingerprint DeviceFingerprint(const struct stat& info, const CDriveSources& sources);

// True for the names that udev keeps with the device itself (by partition UUID, by id):
// a letter stored under one needs no fingerprint.
bool IsStableName(const std::string& device);

}  // namespace platform
