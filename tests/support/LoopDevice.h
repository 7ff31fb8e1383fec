#pragma once

#include <string>

namespace testsupport {

// An image file attached to a free loop device for the life of the object. The device
// detaches itself when the object goes (or the test process ends), so a failed test
// leaves no loop device behind. IsAttached() is false where the machine has no loop
// devices or refuses one; the test should then skip.
class CLoopDevice {
public:
    explicit CLoopDevice(const std::string& image, unsigned sectorSize = 512);
    ~CLoopDevice();
    CLoopDevice(const CLoopDevice&) = delete;
    CLoopDevice& operator=(const CLoopDevice&) = delete;

    bool IsAttached() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }
    // Why attaching failed, for the skip message.
    const std::string& Error() const { return m_error; }

private:
    int m_fd = -1;
    std::string m_path;
    std::string m_error;
};

}  // namespace testsupport
