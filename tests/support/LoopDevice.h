// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveView.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct CLoopOptions {
    unsigned sectorSize = 512;
    std::uint64_t offset = 0;     // the first byte of the image that the device shows
    std::uint64_t sizeLimit = 0;  // bytes shown; 0: to the end of the image
    std::optional<int> number;    // attach as /dev/loopN; the first free device otherwise
    bool partitions = false;      // the device may have partitions (AddPartition)
};

// An image file (or a block device) attached to a loop device for the life of the
// object. The device detaches itself when the object goes (or the test process ends), so
// a failed test leaves no loop device behind. IsAttached() is false where the machine has
// no loop devices or refuses one (or the number asked for is taken); the test should
// then skip.
class CLoopDevice {
public:
    explicit CLoopDevice(const std::string& image, unsigned sectorSize = 512);
    CLoopDevice(const std::string& image, const CLoopOptions& options);
    ~CLoopDevice();
    CLoopDevice(const CLoopDevice&) = delete;
    CLoopDevice& operator=(const CLoopDevice&) = delete;

    bool IsAttached() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }
    int Number() const { return m_number; }
    // Why attaching failed, for the skip message.
    const std::string& Error() const { return m_error; }

    // Makes sectors [startSector, startSector + sectors) of the device its partition
    // number, /dev/loopNpM, as the kernel's scan of a partition table would; true when
    // the partition's node is there.
    bool AddPartition(int number, std::uint64_t startSector, std::uint64_t sectors);
    std::string PartitionPath(int number) const { return m_path + "p" + std::to_string(number); }

private:
    bool Attach(int number, int backing, const CLoopOptions& options);

    int m_fd = -1;
    int m_number = -1;
    std::string m_path;
    std::string m_error;
};

// The machine's sysfs with only the given loop devices (and their partitions) in it, made
// afresh in folder, for a discovery that must see (and read) no other disk of the machine.
platform::CDriveSources LoopsOnlyView(const std::string& folder, const std::vector<const CLoopDevice*>& loops);

}  // namespace testsupport
