// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveView.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A made-up kernel view of a machine in a folder: sysfs block devices (with their
// <sysfs>/dev/block/M:m links), /dev with udev's stable links (device nodes are empty
// files) and a mountinfo file.
class CFakeDriveTree {
public:
    explicit CFakeDriveTree(const std::string& folder);

    platform::CDriveSources Sources() const;
    std::string Node(const std::string& name) const { return m_root + "/dev/" + name; }

    // scsiType "5" marks an optical drive.
    void AddDisk(const std::string& name, const std::string& devno, std::uint64_t bytes, bool removable = false,
                 const std::string& scsiType = "");
    void AddPartition(const std::string& disk, const std::string& name, unsigned number, const std::string& devno,
                      std::uint64_t bytes, std::uint64_t startSector = 0);
    // A loop device showing backingFile (a path as the kernel reports it) from offset on.
    void AddLoop(const std::string& name, const std::string& devno, const std::string& backingFile,
                 std::uint64_t offset, std::uint64_t bytes);
    // A device-mapper or md device over the named devices.
    void AddStacked(const std::string& name, const std::string& devno, std::uint64_t bytes,
                    const std::vector<std::string>& slaves);
    // Any further attribute of a device: SetAttribute("sda", "device/serial", "X1").
    void SetAttribute(const std::string& name, const std::string& attribute, const std::string& text);
    std::string SysfsDir(const std::string& name) const { return m_sysfsDirs.at(name); }
    // <dev>/disk/<folder>/<link> -> ../../<device>
    void AddLink(const std::string& folder, const std::string& link, const std::string& device);
    // The device is unplugged: its sysfs entry, node and links go.
    void Remove(const std::string& name);
    void Mount(const std::string& devno, const std::string& source, const std::string& target,
               const std::string& fsType);
    void UnmountAll();

private:
    void LinkDeviceNumber(const std::string& devno, const std::string& dir);
    void WriteMountInfo() const;

    std::string m_root;
    std::map<std::string, std::string> m_sysfsDirs;  // kernel name -> its sysfs folder
    std::vector<std::string> m_mountLines;
};
