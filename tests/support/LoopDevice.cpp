// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/LoopDevice.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <linux/blkpg.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

// Closes a descriptor when it goes, unless released.
struct CFd {
    int fd;
    ~CFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int Release()
    {
        int released = fd;
        fd = -1;
        return released;
    }
};

}  // namespace

CLoopDevice::CLoopDevice(const std::string& image, unsigned sectorSize)
    : CLoopDevice(image, CLoopOptions{sectorSize, 0, 0, std::nullopt, false})
{
}

CLoopDevice::CLoopDevice(const std::string& image, const CLoopOptions& options)
{
    CFd control{::open("/dev/loop-control", O_RDWR | O_CLOEXEC)};
    CFd backing{::open(image.c_str(), O_RDWR | O_CLOEXEC)};
    if (control.fd < 0 || backing.fd < 0) {
        m_error = std::string("no loop control or image: ") + std::strerror(errno);
        return;
    }
    if (options.number) {
        // The device may not exist yet; asking for an existing one fails harmlessly.
        ::ioctl(control.fd, LOOP_CTL_ADD, *options.number);
        Attach(*options.number, backing.fd, options);
        return;
    }
    // Another process may take the free device first; then ask again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        int number = ::ioctl(control.fd, LOOP_CTL_GET_FREE);
        if (number < 0) {
            m_error = std::string("no free loop device: ") + std::strerror(errno);
            return;
        }
        if (Attach(number, backing.fd, options) || errno != EBUSY)
            return;
    }
    m_error = "every free loop device was taken";
}

bool CLoopDevice::Attach(int number, int backing, const CLoopOptions& options)
{
    std::string path = "/dev/loop" + std::to_string(number);
    CFd device{::open(path.c_str(), O_RDWR | O_CLOEXEC)};
    if (device.fd < 0) {
        m_error = path + ": " + std::strerror(errno);
        return false;
    }
    loop_config config{};
    config.fd = static_cast<__u32>(backing);
    config.block_size = options.sectorSize;
    config.info.lo_offset = options.offset;
    config.info.lo_sizelimit = options.sizeLimit;
    config.info.lo_flags = LO_FLAGS_AUTOCLEAR | (options.partitions ? LO_FLAGS_PARTSCAN : 0);
    if (::ioctl(device.fd, LOOP_CONFIGURE, &config) != 0) {
        int error = errno;
        m_error = path + ": " + std::strerror(error);
        errno = error;
        return false;
    }
    m_fd = device.Release();
    m_number = number;
    m_path = path;
    return true;
}

bool CLoopDevice::AddPartition(int number, std::uint64_t startSector, std::uint64_t sectors)
{
    blkpg_partition partition{};
    partition.start = static_cast<long long>(startSector * 512);
    partition.length = static_cast<long long>(sectors * 512);
    partition.pno = number;
    blkpg_ioctl_arg request{};
    request.op = BLKPG_ADD_PARTITION;
    request.datalen = sizeof(partition);
    request.data = &partition;
    // EBUSY: the kernel's own scan of the table made it already.
    if (m_fd < 0 || (::ioctl(m_fd, BLKPG, &request) != 0 && errno != EBUSY))
        return false;
    // devtmpfs makes the node a moment after the kernel adds the partition.
    struct stat info {};
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (::stat(PartitionPath(number).c_str(), &info) == 0 && S_ISBLK(info.st_mode))
            return true;
        ::usleep(10000);
    }
    return false;
}

platform::CDriveSources LoopsOnlyView(const std::string& folder, const std::vector<const CLoopDevice*>& loops)
{
    namespace fs = std::filesystem;
    fs::remove_all(folder);
    fs::create_directories(folder + "/block");
    fs::create_directories(folder + "/dev/block");
    for (const CLoopDevice* loop : loops) {
        std::string name = "loop" + std::to_string(loop->Number());
        std::string number = "7:" + std::to_string(loop->Number());
        fs::create_directory_symlink("/sys/block/" + name, folder + "/block/" + name);
        fs::create_directory_symlink("/sys/dev/block/" + number, folder + "/dev/block/" + number);
        // Its partitions are found by their own device numbers too.
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/sys/block/" + name, ec)) {
            std::ifstream dev(entry.path() / "dev");
            std::string partition;
            if (fs::exists(entry.path() / "partition", ec) && std::getline(dev, partition))
                fs::create_directory_symlink("/sys/dev/block/" + partition, folder + "/dev/block/" + partition);
        }
    }
    return {folder, "/proc/self/mountinfo", "/dev"};
}

CLoopDevice::~CLoopDevice()
{
    if (m_fd < 0)
        return;
    ::ioctl(m_fd, LOOP_CLR_FD);
    ::close(m_fd);
}

}  // namespace testsupport
