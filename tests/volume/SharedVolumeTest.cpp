// SPDX-License-Identifier: GPL-3.0-or-later
// A clone's destination handed on to the programs that complete it: the very file that was
// opened, whatever its name stands for by then, with the clone's exclusive claim kept.
#include "platform/files/TextFiles.h"
#include "platform/volume/DeviceVolume.h"
#include "platform/volume/SharedVolume.h"
#include "tests/support/FaultyVolume.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

using platform::IVolume;
using platform::VolumeAccess;

namespace {

constexpr std::size_t kSize = 64 * 512;

std::string Bytes(IVolume& volume, std::size_t size)
{
    std::string bytes(size, '\0');
    std::uint32_t count = 0;
    volume.Rewind();
    EXPECT_TRUE(volume.Read({reinterpret_cast<std::byte*>(bytes.data()), bytes.size()}, count));
    bytes.resize(count);
    return bytes;
}

// The program writes "tool" at byte 512 of the volume it is given and reads back its start.
platform::CProgramEnding WriteThroughProgram(const IVolume& volume, const std::string& out)
{
    return platform::RunToolOnVolumes(
        {"sh", "-c",
         "printf tool | dd of=\"$0\" bs=512 seek=1 conv=notrunc 2>/dev/null && head -c 4 \"$0\" > \"$1\"",
         platform::VolumeArgument(0), out},
        {&volume});
}

TEST(SharedVolume, AnImageReplacedByALinkIsStillTheImageOpened)
{
    testsupport::CTempMachine machine;
    const std::string image = machine.MakeImage("Y.img", kSize, 'Y');
    const std::string other = machine.MakeImage("other.img", kSize, 'O');
    std::unique_ptr<IVolume> destination = platform::OpenVolumeFile(image, VolumeAccess::Write);
    ASSERT_TRUE(destination);
    std::filesystem::rename(image, machine.Path("Y.old"));
    std::filesystem::create_symlink(other, image);

    std::unique_ptr<IVolume> copy = platform::ReopenShared(*destination);
    ASSERT_TRUE(copy) << errno;
    EXPECT_EQ(copy->Size(), kSize);
    EXPECT_EQ(Bytes(*copy, 4), "YYYY");
    EXPECT_EQ(WriteThroughProgram(*copy, machine.Path("out")).exitCode, 0);
    EXPECT_EQ(platform::ReadWholeFile(machine.Path("out")), "YYYY");
    EXPECT_EQ(Bytes(*copy, 516).substr(512), "tool");
    EXPECT_EQ(platform::ReadWholeFile(other), std::string(kSize, 'O'));
}

// The clone keeps its claim while the programs work: nobody can mount or claim the device,
// yet the programs, which open it without a claim, can write it.
TEST(SharedVolume, ADeviceStaysClaimedWhileTheProgramsWriteIt)
{
    testsupport::CTempMachine machine;
    const std::string image = machine.MakeImage("Y.img", kSize, 'Y');
    testsupport::CLoopDevice loop(image);
    if (!loop.IsAttached())
        GTEST_SKIP() << "no loop device: " << loop.Error();
    std::unique_ptr<IVolume> destination = platform::OpenVolumeFile(loop.Path(), VolumeAccess::Write);
    ASSERT_TRUE(destination);
    std::unique_ptr<IVolume> copy = platform::ReopenShared(*destination);
    ASSERT_TRUE(copy) << errno;

    EXPECT_EQ(WriteThroughProgram(*copy, machine.Path("out")).exitCode, 0);
    EXPECT_EQ(Bytes(*copy, 516).substr(512), "tool");
    int claim = ::open(loop.Path().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
    EXPECT_EQ(claim, -1) << "the device could be claimed while the clone held it";
    EXPECT_EQ(errno, EBUSY);
    if (claim >= 0)
        ::close(claim);
}

TEST(SharedVolume, AVolumeThatIsNoFileCannotBeHandedOn)
{
    testsupport::CFaultyVolumes volumes;
    volumes.Add('Y', kSize);
    std::unique_ptr<IVolume> memory = volumes.Open("\\\\.\\Y:", VolumeAccess::Write);
    ASSERT_TRUE(memory);
    errno = 0;
    EXPECT_FALSE(platform::ReopenShared(*memory));
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(platform::RunToolOnVolumes({"true"}, {memory.get()}).startError, EBADF);
}

// A tool writes nothing to the console and is not ended by the stop of the machine.
TEST(SharedVolume, ToolsRunQuietlyWithTheStopSignalsHeld)
{
    testsupport::CTempMachine machine;
    std::unique_ptr<IVolume> volume =
        platform::OpenVolumeFile(machine.MakeImage("Y.img", kSize), VolumeAccess::Read);
    ASSERT_TRUE(volume);
    testing::internal::CaptureStdout();
    platform::CProgramEnding ending =
        platform::RunToolOnVolumes({"sh", "-c", "echo said; kill -TERM $$; kill -HUP $$; exit 3"}, {volume.get()});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(ending.exitCode, 3);
}

}  // namespace
