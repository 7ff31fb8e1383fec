#include "platform/drives/DriveView.h"
#include "platform/drives/Drives.h"
#include "tests/support/TempMachine.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

using namespace platform;

namespace {

// An image attached to a free loop device for the life of the object.
class CLoopDevice {
public:
    explicit CLoopDevice(const std::string& image)
    {
        std::string command = "losetup --find --show '" + image + "' 2>/dev/null";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
        std::array<char, 128> line{};
        if (pipe && std::fgets(line.data(), line.size(), pipe.get()) != nullptr)
            m_device = std::string(line.data()).substr(0, std::string(line.data()).find('\n'));
    }
    ~CLoopDevice()
    {
        if (!m_device.empty())
            std::system(("losetup -d '" + m_device + "' 2>/dev/null").c_str());
    }
    CLoopDevice(const CLoopDevice&) = delete;
    CLoopDevice& operator=(const CLoopDevice&) = delete;

    const std::string& Device() const { return m_device; }

private:
    std::string m_device;
};

std::optional<char> LetterOf(const CDriveView& view, const std::string& device)
{
    for (const auto& drive : view.drives)
        if (drive.present && std::filesystem::canonical(drive.device) == std::filesystem::canonical(device))
            return drive.letter;
    return std::nullopt;
}

}  // namespace

TEST(LoopDevice, AnAssignedLoopDeviceIsAFixedDriveOfTheImagesSize)
{
    testsupport::CTempMachine machine;
    CLoopDevice loop(machine.MakeImage("disk.img", 8 * 1024 * 1024));
    if (loop.Device().empty())
        GTEST_SKIP() << "no loop device can be attached here";

    std::string error;
    ASSERT_TRUE(AssignDriveLetter('L', loop.Device(), error)) << error;
    IDriveTable& drives = MachineDrives();
    EXPECT_EQ(drives.GetDriveType("L:\\"), kDriveFixed);
    std::uint64_t freeToCaller = 7, total = 7, totalFree = 7;
    ASSERT_TRUE(drives.GetDiskFreeSpaceEx("L:", freeToCaller, total, totalFree));
    EXPECT_EQ(total, 8u * 1024 * 1024);
    EXPECT_EQ(freeToCaller, 0u);
}

// Discovery reads this machine's own sysfs and /dev here, but stores its letters in the
// temporary machine's registry.
TEST(LoopDevice, DiscoveredLoopDevicesKeepTheirLettersWhenAnotherAppears)
{
    testsupport::CTempMachine machine;
    CLoopDevice first(machine.MakeImage("first.img", 4 * 1024 * 1024));
    if (first.Device().empty())
        GTEST_SKIP() << "no loop device can be attached here";

    auto letter = LetterOf(DiscoverDrives(CDriveSources{}), first.Device());
    ASSERT_TRUE(letter);
    CLoopDevice second(machine.MakeImage("second.img", 4 * 1024 * 1024));
    ASSERT_FALSE(second.Device().empty());

    CDriveView view = DiscoverDrives(CDriveSources{});
    EXPECT_EQ(LetterOf(view, first.Device()), letter);
    auto secondLetter = LetterOf(view, second.Device());
    ASSERT_TRUE(secondLetter);
    EXPECT_NE(*secondLetter, *letter);
    EXPECT_EQ(view.Find(*letter)->type, kDriveFixed);
    EXPECT_EQ(view.Find(*letter)->size, 4u * 1024 * 1024);
    EXPECT_EQ(LetterOf(DiscoverDrives(CDriveSources{}), second.Device()), secondLetter);
}
