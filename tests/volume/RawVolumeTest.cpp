// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/DriveLetters.h"
#include "platform/files/FileDescriptor.h"
#include "platform/volume/DeviceVolume.h"
#include "platform/volume/RawVolume.h"
#include "tests/support/FaultyVolume.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using platform::CVolumeBuffer;
using platform::IVolume;
using platform::VolumeAccess;
using testsupport::CMemoryVolume;

namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kVolumeSize = 16 * kSector;  // whole 4 KiB sectors too
const std::string kRawName = "\\\\.\\V:";

// The same contract holds for the volume double, an image file, a loop device with
// 512-byte sectors (direct I/O) and one with 4 KiB sectors (buffered I/O).
enum class Kind { Memory, File, Loop, Loop4K };

std::string KindName(const testing::TestParamInfo<Kind>& info)
{
    switch (info.param) {
    case Kind::Memory: return "Memory";
    case Kind::File: return "File";
    case Kind::Loop: return "Loop";
    case Kind::Loop4K: return "Loop4K";
    }
    return "Unknown";
}

// Every sector differs from every other, so a transfer at the wrong place shows.
std::vector<std::byte> Pattern(std::size_t size, unsigned seed)
{
    std::vector<std::byte> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = std::byte(static_cast<unsigned char>((i / kSector) * 31 + i % 251 + seed));
    return bytes;
}

std::vector<std::byte> Block(std::size_t size, std::uint8_t fill)
{
    return std::vector<std::byte>(size, std::byte{fill});
}

std::vector<std::byte> Slice(const std::vector<std::byte>& bytes, std::size_t offset, std::size_t size)
{
    return {bytes.begin() + offset, bytes.begin() + offset + size};
}

std::vector<std::byte> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> bytes(chars.size());
    std::memcpy(bytes.data(), chars.data(), chars.size());
    return bytes;
}

void WriteFile(const std::string& path, const std::vector<std::byte>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The descriptors open in this process, without the one that listed them.
std::set<int> OpenDescriptors()
{
    std::set<int> fds;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        fds.insert(std::stoi(entry.path().filename().string()));
    std::erase_if(fds, [](int fd) { return ::fcntl(fd, F_GETFD) == -1; });
    return fds;
}

// The open flags of a descriptor, from /proc/self/fdinfo.
int DescriptorFlags(int fd)
{
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    std::string key;
    std::string value;
    while (info >> key >> value) {
        if (key == "flags:")
            return std::stoi(value, nullptr, 8);
    }
    return -1;
}

std::vector<std::byte> ReadAt(IVolume& volume, std::size_t size)
{
    std::vector<std::byte> bytes(size);
    std::uint32_t count = 0;
    EXPECT_TRUE(volume.Read(bytes, count)) << volume.LastError();
    bytes.resize(count);
    return bytes;
}

void WriteAt(IVolume& volume, const std::vector<std::byte>& bytes)
{
    std::uint32_t count = 0;
    EXPECT_TRUE(volume.Write(bytes, count)) << volume.LastError();
    EXPECT_EQ(bytes.size(), count);
}

class VolumeTest : public testing::TestWithParam<Kind> {
protected:
    void SetUp() override
    {
        if (GetParam() == Kind::Memory) {
            m_memory = &m_volumes.Add('V', kVolumeSize);
            m_memory->SetBytes(0, m_original);
            m_opener = &m_volumes;
            return;
        }
        m_image = m_machine.Path("volume.img");
        WriteFile(m_image, m_original);
        m_device = m_image;
        if (GetParam() != Kind::File) {
            m_loop.emplace(m_image, GetParam() == Kind::Loop ? 512 : 4096);
            if (!m_loop->IsAttached())
                GTEST_SKIP() << "no loop device: " << m_loop->Error();
            m_device = m_loop->Path();
        }
        std::string error;
        ASSERT_TRUE(platform::AssignDriveLetter('V', m_device, error)) << error;
        m_opener = &platform::RawVolumes();
    }

    std::unique_ptr<IVolume> Open(VolumeAccess access) { return m_opener->Open(kRawName, access); }

    // What the volume holds now, read past any volume handle.
    std::vector<std::byte> Contents()
    {
        return GetParam() == Kind::Memory ? m_memory->Bytes() : ReadFile(m_image);
    }

    testsupport::CTempMachine m_machine;
    testsupport::CFaultyVolumes m_volumes;
    testsupport::CMemoryVolume* m_memory = nullptr;
    std::optional<testsupport::CLoopDevice> m_loop;
    platform::IVolumeOpener* m_opener = nullptr;
    std::string m_image;
    std::string m_device;
    const std::vector<std::byte> m_original = Pattern(kVolumeSize, 0);
};

TEST_P(VolumeTest, ReadsEndShortThenWithNothing)
{
    auto volume = Open(VolumeAccess::Read);
    ASSERT_NE(nullptr, volume);
    volume->Rewind();
    CVolumeBuffer buffer(3 * kSector);
    ASSERT_TRUE(buffer.IsValid());
    std::uint32_t count = 0;
    for (std::size_t offset = 0; offset < 15 * kSector; offset += 3 * kSector) {
        ASSERT_TRUE(volume->Read(buffer.Bytes(), count));
        ASSERT_EQ(3 * kSector, count);
        EXPECT_EQ(Slice(m_original, offset, count), std::vector(buffer.Bytes().begin(), buffer.Bytes().end()));
    }
    ASSERT_TRUE(volume->Read(buffer.Bytes(), count));
    ASSERT_EQ(kSector, count);
    EXPECT_EQ(Slice(m_original, 15 * kSector, kSector), std::vector(buffer.Bytes().begin(), buffer.Bytes().begin() + kSector));
    EXPECT_TRUE(volume->Read(buffer.Bytes(), count));
    EXPECT_EQ(0u, count);
    EXPECT_TRUE(volume->Read(buffer.Bytes(), count));
    EXPECT_EQ(0u, count);

    // The end is a position like any other: step back into the volume, or past its end.
    volume->Move(-static_cast<std::int64_t>(kSector));
    EXPECT_EQ(Slice(m_original, 15 * kSector, kSector), ReadAt(*volume, kSector));
    volume->Move(kSector);
    EXPECT_TRUE(ReadAt(*volume, kSector).empty());
}

TEST_P(VolumeTest, MovesBySectorsFromWhereItIs)
{
    auto volume = Open(VolumeAccess::Read);
    ASSERT_NE(nullptr, volume);
    volume->Move(kSector);
    volume->Move(kSector);
    EXPECT_EQ(Slice(m_original, 2 * kSector, kSector), ReadAt(*volume, kSector));
    volume->Move(-static_cast<std::int64_t>(kSector));
    EXPECT_EQ(Slice(m_original, 2 * kSector, kSector), ReadAt(*volume, kSector));
    // Before byte 0 is nowhere: the position stays at sector 3.
    volume->Move(-10 * static_cast<std::int64_t>(kSector));
    EXPECT_EQ(Slice(m_original, 3 * kSector, kSector), ReadAt(*volume, kSector));
    volume->Rewind();
    EXPECT_EQ(Slice(m_original, 0, kSector), ReadAt(*volume, kSector));
}

TEST_P(VolumeTest, WritesLandAtThePosition)
{
    std::vector<std::byte> expected = m_original;
    {
        auto volume = Open(VolumeAccess::Write);
        ASSERT_NE(nullptr, volume);
        volume->Rewind();
        volume->Move(3 * kSector);
        WriteAt(*volume, Pattern(2 * kSector, 7));
        volume->Move(kSector);
        WriteAt(*volume, Pattern(kSector, 9));
        EXPECT_TRUE(volume->Flush());
    }
    std::copy_n(Pattern(2 * kSector, 7).begin(), 2 * kSector, expected.begin() + 3 * kSector);
    std::copy_n(Pattern(kSector, 9).begin(), kSector, expected.begin() + 6 * kSector);
    EXPECT_EQ(expected, Contents());
}

// A partition cannot grow, nor can the file standing in for one: a write reaching past
// the end fails whole with ENOSPC, writes nothing and leaves the position.
TEST_P(VolumeTest, WritesNeverReachPastTheEnd)
{
    const std::vector<std::byte> last = Pattern(kSector, 5);
    {
        auto volume = Open(VolumeAccess::Write);
        ASSERT_NE(nullptr, volume);
        volume->Move(kVolumeSize - kSector);
        std::uint32_t count = 99;
        EXPECT_FALSE(volume->Write(Pattern(2 * kSector, 3), count));
        EXPECT_EQ(ENOSPC, volume->LastError());
        EXPECT_EQ(0u, count);
        WriteAt(*volume, last);
        EXPECT_FALSE(volume->Write(last, count));
        EXPECT_EQ(ENOSPC, volume->LastError());
        volume->Move(kSector);
        EXPECT_FALSE(volume->Write(last, count));
        EXPECT_EQ(ENOSPC, volume->LastError());
        EXPECT_TRUE(volume->Flush());
    }
    std::vector<std::byte> expected = m_original;
    std::copy(last.begin(), last.end(), expected.end() - kSector);
    EXPECT_EQ(expected, Contents());
}

// A source is only read and a destination only written; the refused transfer is a
// failure like any other and must not move the position.
TEST_P(VolumeTest, FailedTransferLeavesThePosition)
{
    std::uint32_t count = 99;
    {
        auto source = Open(VolumeAccess::Read);
        ASSERT_NE(nullptr, source);
        source->Move(2 * kSector);
        EXPECT_FALSE(source->Write(Pattern(kSector, 1), count));
        EXPECT_EQ(EBADF, source->LastError());
        EXPECT_EQ(Slice(m_original, 2 * kSector, kSector), ReadAt(*source, kSector));
    }
    const std::vector<std::byte> data = Pattern(kSector, 4);
    {
        auto destination = Open(VolumeAccess::Write);
        ASSERT_NE(nullptr, destination);
        destination->Move(2 * kSector);
        std::vector<std::byte> buffer(kSector);
        EXPECT_FALSE(destination->Read(buffer, count));
        EXPECT_EQ(EBADF, destination->LastError());
        EXPECT_EQ(0u, count);
        WriteAt(*destination, data);
        EXPECT_TRUE(destination->Flush());
    }
    EXPECT_EQ(data, Slice(Contents(), 2 * kSector, kSector));
}

// Callers' buffers need no alignment and transfers need not be whole sectors; on a
// device read without the page cache the volume arranges both.
TEST_P(VolumeTest, AnyBufferAndOffsetGiveTheSameBytes)
{
    std::vector<std::byte> expected = m_original;
    {
        auto volume = Open(VolumeAccess::Read);
        ASSERT_NE(nullptr, volume);
        std::vector<std::byte> storage(4 * kSector + 1);
        std::span<std::byte> unaligned = std::span(storage).subspan(1, 4 * kSector);
        std::uint32_t count = 0;
        volume->Move(kSector);
        ASSERT_TRUE(volume->Read(unaligned, count));
        EXPECT_EQ(Slice(m_original, kSector, 4 * kSector), std::vector(unaligned.begin(), unaligned.end()));
        volume->Rewind();
        volume->Move(700);
        EXPECT_EQ(Slice(m_original, 700, 1000), ReadAt(*volume, 1000));
        EXPECT_EQ(Slice(m_original, 1700, kSector), ReadAt(*volume, kSector));
    }
    {
        auto volume = Open(VolumeAccess::Write);
        ASSERT_NE(nullptr, volume);
        std::vector<std::byte> storage(2 * kSector + 3, std::byte{0xA5});
        volume->Move(4 * kSector);
        WriteAt(*volume, std::vector(storage.begin() + 3, storage.end()));
        std::uint32_t count = 0;
        ASSERT_TRUE(volume->Write(std::span(storage).subspan(3, 2 * kSector), count));
        volume->Move(300);
        WriteAt(*volume, Pattern(900, 8));
        EXPECT_TRUE(volume->Flush());
    }
    std::fill_n(expected.begin() + 4 * kSector, 4 * kSector, std::byte{0xA5});
    std::vector<std::byte> odd = Pattern(900, 8);
    std::copy(odd.begin(), odd.end(), expected.begin() + 8 * kSector + 300);
    EXPECT_EQ(expected, Contents());
}

// A volume opened again to read back what was written: from byte 0, of the same size,
// the bytes written and flushed through the first, and for reading only.
TEST_P(VolumeTest, AReopenedVolumeReadsBackWhatWasWritten)
{
    std::vector<std::byte> expected = m_original;
    auto destination = Open(VolumeAccess::Write);
    ASSERT_NE(nullptr, destination);
    destination->Move(4 * kSector);
    WriteAt(*destination, Pattern(3 * kSector, 11));
    ASSERT_TRUE(destination->Flush());
    std::copy_n(Pattern(3 * kSector, 11).begin(), 3 * kSector, expected.begin() + 4 * kSector);

    std::unique_ptr<IVolume> reopened = destination->ReopenUncached();
    ASSERT_NE(nullptr, reopened);
    EXPECT_EQ(reopened->Size(), kVolumeSize);
    EXPECT_EQ(ReadAt(*reopened, kVolumeSize + kSector), expected);
    reopened->Rewind();
    reopened->Move(kVolumeSize - 100);
    EXPECT_EQ(ReadAt(*reopened, kSector), Slice(expected, kVolumeSize - 100, 100));
    std::uint32_t count = 0;
    EXPECT_FALSE(reopened->Write(Pattern(kSector, 1), count));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, VolumeTest, testing::Values(Kind::Memory, Kind::File, Kind::Loop, Kind::Loop4K),
                         KindName);

// What only the volume double does, for the engine's and the probe's tests: faults put on
// single sectors, counters of transfers, flushes and handles, and a record of every open.
class MemoryVolumeTest : public VolumeTest {};

// A transfer of many sectors that touches one bad sector fails whole, moves nothing and
// leaves the position; the sectors on either side still transfer one at a time.
TEST_P(MemoryVolumeTest, BadSectorFailsTheWholeTransferAndKeepsThePosition)
{
    CMemoryVolume volume(8 * 512, 0x11);
    volume.FailRead(5, EIO);
    volume.FailWrite(2, ENXIO);

    std::vector<std::byte> buffer = Block(4 * 512, 0);
    std::uint32_t count = 99;
    volume.Move(4 * 512);
    EXPECT_FALSE(volume.Read(buffer, count));
    EXPECT_EQ(EIO, volume.LastError());
    EXPECT_EQ(0u, count);
    EXPECT_EQ(4u * 512, volume.Position());
    EXPECT_TRUE(volume.Read(std::span(buffer).first(512), count));
    EXPECT_EQ(512u, count);
    volume.Move(512);
    EXPECT_TRUE(volume.Read(std::span(buffer).first(1024), count));
    EXPECT_EQ(1024u, count);

    volume.Rewind();
    std::vector<std::byte> data = Block(3 * 512, 0x22);
    EXPECT_FALSE(volume.Write(data, count));
    EXPECT_EQ(ENXIO, volume.LastError());
    EXPECT_EQ(0u, volume.Position());
    EXPECT_EQ(Block(8 * 512, 0x11), volume.Bytes());
    EXPECT_EQ(3, volume.Reads());
    EXPECT_EQ(1, volume.Writes());
}

TEST_P(MemoryVolumeTest, FailingFlushReportsItsError)
{
    CMemoryVolume volume(512);
    EXPECT_TRUE(volume.Flush());
    volume.FailFlush(EIO);
    EXPECT_FALSE(volume.Flush());
    EXPECT_EQ(EIO, volume.LastError());
    EXPECT_EQ(2, volume.Flushes());
}

// Names map to volumes, refused and unknown names give nothing, every open is recorded and
// every handle counted.
TEST_P(MemoryVolumeTest, OpensByRawNameRecordsAndCountsHandles)
{
    testsupport::CFaultyVolumes& volumes = m_volumes;
    CMemoryVolume& source = volumes.Add('S', 1024, 0x5A);
    CMemoryVolume& destination = volumes.Add('d', 1024);
    volumes.RefuseOpen('S', VolumeAccess::Write);

    EXPECT_EQ(nullptr, volumes.Open("\\\\.\\S:", VolumeAccess::Write));
    EXPECT_EQ(nullptr, volumes.Open("\\\\.\\Q:", VolumeAccess::Read));
    EXPECT_EQ(nullptr, volumes.Open("S:", VolumeAccess::Read));
    {
        auto reader = volumes.Open("\\\\.\\S:", VolumeAccess::Read);
        auto writer = volumes.Open("\\\\.\\D:", VolumeAccess::Write);
        ASSERT_NE(nullptr, reader);
        ASSERT_NE(nullptr, writer);
        EXPECT_EQ(1, source.OpenHandles());

        std::vector<std::byte> buffer = Block(1024, 0);
        std::uint32_t count = 0;
        ASSERT_TRUE(reader->Read(buffer, count));
        ASSERT_TRUE(writer->Write(std::span(buffer).first(count), count));
        EXPECT_EQ(Block(1024, 0x5A), destination.Bytes());
        // Each handle has its own position: a second reader starts at byte 0.
        auto again = volumes.Open("\\\\.\\S:", VolumeAccess::Read);
        ASSERT_TRUE(again->Read(std::span(buffer).first(512), count));
        EXPECT_EQ(512u, count);
        EXPECT_TRUE(reader->Read(buffer, count));
        EXPECT_EQ(0u, count);
    }
    EXPECT_EQ(0, source.OpenHandles());
    EXPECT_EQ(0, destination.OpenHandles());

    auto opens = volumes.Opens();
    ASSERT_EQ(6u, opens.size());
    EXPECT_EQ("\\\\.\\S:", opens[0].rawName);
    EXPECT_EQ(VolumeAccess::Write, opens[0].access);
    EXPECT_EQ("\\\\.\\D:", opens[4].rawName);
}

INSTANTIATE_TEST_SUITE_P(Double, MemoryVolumeTest, testing::Values(Kind::Memory), KindName);

// What only the machine's volumes do: exclusive destinations, direct I/O, descriptors.
class MachineVolumeTest : public VolumeTest {};

TEST_P(MachineVolumeTest, DestinationIsOpenedExclusively)
{
    auto destination = Open(VolumeAccess::Write);
    ASSERT_NE(nullptr, destination);
    EXPECT_EQ(nullptr, Open(VolumeAccess::Write));
    EXPECT_NE(nullptr, Open(VolumeAccess::Read));
    destination.reset();
    EXPECT_NE(nullptr, Open(VolumeAccess::Write));
}

TEST_P(MachineVolumeTest, EveryDescriptorIsReleased)
{
    const std::set<int> before = OpenDescriptors();
    {
        auto destination = Open(VolumeAccess::Write);
        ASSERT_NE(nullptr, destination);
        EXPECT_EQ(nullptr, Open(VolumeAccess::Write));
        auto source = Open(VolumeAccess::Read);
        ASSERT_NE(nullptr, source);
        std::vector<std::byte> odd(100);
        std::uint32_t count = 0;
        EXPECT_TRUE(source->Read(odd, count));
    }
    EXPECT_EQ(before, OpenDescriptors());
}

// Sectors of 512 bytes are read and written past the page cache, so a write has reached
// the device when it returns; 4 KiB-sector devices and image files go through the cache.
TEST_P(MachineVolumeTest, DirectIoOnlyOnDevicesWith512ByteSectors)
{
    const std::set<int> before = OpenDescriptors();
    auto destination = Open(VolumeAccess::Write);
    ASSERT_NE(nullptr, destination);
    std::vector<int> opened;
    for (int fd : OpenDescriptors()) {
        if (!before.contains(fd))
            opened.push_back(fd);
    }
    ASSERT_EQ(1u, opened.size());
    const int flags = DescriptorFlags(opened[0]);
    ASSERT_GE(flags, 0);
    const bool direct = (flags & O_DIRECT) != 0;
    EXPECT_EQ(GetParam() == Kind::Loop, direct);

    if (GetParam() == Kind::Loop) {
        const std::vector<std::byte> data = Pattern(kSector, 6);
        destination->Move(5 * kSector);
        WriteAt(*destination, data);
        EXPECT_EQ(data, Slice(ReadFile(m_image), 5 * kSector, kSector));
    }
}

// What a cache kept of a volume is not read back: a device whose image changed beneath
// its page cache (a 4 KiB-sector loop device, read through the cache) is read afresh,
// and 512-byte sectors and image files are read with direct I/O.
TEST_P(MachineVolumeTest, AReopenedVolumeReadsTheMediumNotTheCache)
{
    auto source = Open(VolumeAccess::Read);
    ASSERT_NE(nullptr, source);
    EXPECT_EQ(ReadAt(*source, kVolumeSize), m_original);
    const std::vector<std::byte> changed = Pattern(kVolumeSize, 77);
    WriteFile(m_image, changed);

    const std::set<int> before = OpenDescriptors();
    std::unique_ptr<IVolume> reopened = source->ReopenUncached();
    ASSERT_NE(nullptr, reopened);
    std::vector<int> opened;
    for (int fd : OpenDescriptors()) {
        if (!before.contains(fd))
            opened.push_back(fd);
    }
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ((DescriptorFlags(opened[0]) & O_DIRECT) != 0, GetParam() != Kind::Loop4K);
    EXPECT_EQ(ReadAt(*reopened, kVolumeSize), changed);
}

INSTANTIATE_TEST_SUITE_P(Devices, MachineVolumeTest, testing::Values(Kind::File, Kind::Loop, Kind::Loop4K),
                         KindName);

TEST(RawVolumes, OnlyAssignedLettersOfRawNamesOpen)
{
    testsupport::CTempMachine machine;
    std::string image = machine.MakeImage("w.img", 4 * kSector, 0x3C);
    std::string replaced = machine.MakeImage("replaced.img", 4 * kSector);
    std::string error;
    ASSERT_TRUE(platform::AssignDriveLetter('W', image, error)) << error;
    ASSERT_TRUE(platform::AssignDriveLetter('F', replaced, error)) << error;
    // Neither a file nor a block device any more: no volume.
    std::filesystem::remove(replaced);
    std::filesystem::create_directory(replaced);

    auto& volumes = platform::RawVolumes();
    EXPECT_EQ(nullptr, volumes.Open("\\\\.\\Q:", VolumeAccess::Read));
    EXPECT_EQ(nullptr, volumes.Open("W:", VolumeAccess::Read));
    EXPECT_EQ(nullptr, volumes.Open("\\\\.\\W", VolumeAccess::Read));
    EXPECT_EQ(nullptr, volumes.Open("\\\\.\\F:", VolumeAccess::Read));
    auto volume = volumes.Open("\\\\.\\w:", VolumeAccess::Read);
    ASSERT_NE(nullptr, volume);
    EXPECT_EQ(std::vector<std::byte>(kSector, std::byte{0x3C}), ReadAt(*volume, kSector));

    // An image that went away after its letter was assigned opens nothing either.
    std::filesystem::remove(image);
    EXPECT_EQ(nullptr, volumes.Open("\\\\.\\W:", VolumeAccess::Write));
}

// Whoever may write an image's folder can put a FIFO in its place between any two steps
// of an open: an open of a FIFO waits until someone opens its other end, and Keldrun, which
// holds the stop signals back, would wait for ever. Every open comes back, failing or not.
TEST(RawVolumes, AFifoSwappedInForTheImageNeverHoldsAnOpen)
{
    testsupport::CTempMachine machine;
    const std::string image = machine.MakeImage("v.img", 4 * kSector);
    const std::string fifo = machine.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);

    std::atomic<bool> done = false;
    std::thread swapper([&] {
        while (!done)
            renameat2(AT_FDCWD, image.c_str(), AT_FDCWD, fifo.c_str(), RENAME_EXCHANGE);
    });
    std::atomic<int> opened = 0;
    // The swaps land between the steps of an open now and then: two seconds of opens.
    std::thread opener([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < end) {
            for (VolumeAccess access : {VolumeAccess::Read, VolumeAccess::Write})
                opened += platform::OpenVolumeFile(image, access) != nullptr;
        }
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(done) << "an open waits on the FIFO";
    // Whoever waits is let go by the other end of the FIFO.
    while (!done) {
        platform::CFd reader(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        platform::CFd readerToo(::open(image.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        platform::CFd writer(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        platform::CFd writerToo(::open(image.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    opener.join();
    swapper.join();
    EXPECT_GT(opened, 0);
}

}  // namespace
