#include "tests/support/LoopDevice.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
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
{
    CFd control{::open("/dev/loop-control", O_RDWR | O_CLOEXEC)};
    CFd backing{::open(image.c_str(), O_RDWR | O_CLOEXEC)};
    if (control.fd < 0 || backing.fd < 0) {
        m_error = std::string("no loop control or image: ") + std::strerror(errno);
        return;
    }
    // Another process may take the free device first; then ask again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        int number = ::ioctl(control.fd, LOOP_CTL_GET_FREE);
        if (number < 0) {
            m_error = std::string("no free loop device: ") + std::strerror(errno);
            return;
        }
        std::string path = "/dev/loop" + std::to_string(number);
        CFd device{::open(path.c_str(), O_RDWR | O_CLOEXEC)};
        if (device.fd < 0) {
            m_error = path + ": " + std::strerror(errno);
            return;
        }
        loop_config config{};
        config.fd = static_cast<__u32>(backing.fd);
        config.block_size = sectorSize;
        config.info.lo_flags = LO_FLAGS_AUTOCLEAR;
        if (::ioctl(device.fd, LOOP_CONFIGURE, &config) == 0) {
            m_fd = device.Release();
            m_path = path;
            return;
        }
        if (errno != EBUSY) {
            m_error = path + ": " + std::strerror(errno);
            return;
        }
    }
    m_error = "every free loop device was taken";
}

CLoopDevice::~CLoopDevice()
{
    if (m_fd < 0)
        return;
    ::ioctl(m_fd, LOOP_CLR_FD);
    ::close(m_fd);
}

}  // namespace testsupport
