// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/TwinVolumes.h"
#include "platform/volume/DeviceVolume.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

// Escapes that are no octal number, a backslash at the end of the field, bytes of every
// value: such a line is compared as it stands, and the file is never given up on.
TEST(TwinVolumes, FstabWithBrokenEscapesIsReadLineByLine)
{
    const std::string fstab = "\\999 /nine vfat defaults\n"
                              "UUID=ABCD-12\\8 /eight vfat\n"
                              "LABEL=A\\9 /nine2 vfat\n"
                              "UUID=\\\n"
                              "\\ /x y z\n"
                              "\x01\xff\\777\\400 /w v u\n"
                              "LABEL=A\\040\\101 /label vfat defaults\n"
                              "UUID=ABCD-1234 /data vfat defaults\n";
    EXPECT_EQ(FstabLinesNaming(fstab, "ABCD-1234", "A A"),
              (std::vector<std::string>{"LABEL=A\\040\\101 /label vfat defaults", "UUID=ABCD-1234 /data vfat defaults"}));
    // The links under /dev/disk/by-label keep letters beyond ASCII as they are.
    EXPECT_EQ(FstabLinesNaming("/dev/disk/by-label/Donn\u00e9es\\x20A /d vfat\n", "", "Donn\u00e9es A"),
              std::vector<std::string>{"/dev/disk/by-label/Donn\u00e9es\\x20A /d vfat"});
}

// The command offered for a copy whose image has blanks, a semicolon or a quotation mark in
// its name names that very file, as one word that the shell neither splits nor ends.
TEST(TwinVolumes, TheOfferedCommandNamesAnOddlyNamedImageAsOneWord)
{
    const std::string ntfs = NewSerialHowText("ntfs", "/srv/my disk;reboot.img").value_or("");
    EXPECT_TRUE(ntfs.ends_with("run: ntfslabel --new-serial '/srv/my disk;reboot.img'")) << ntfs;
    const std::string fat = NewSerialHowText("vfat", "/srv/it's.img").value_or("");
    EXPECT_NE(fat.find(" '/srv/it'\\''s.img'"), std::string::npos) << fat;
    const std::string device = NewSerialHowText("vfat", "/dev/sdc1").value_or("");
    EXPECT_NE(device.find(" /dev/sdc1"), std::string::npos) << device;
}

// A copy with a FAT file system read as the engine reads it, with the machine's
// /etc/fstab set up by each case.
class TwinsOfACopy : public testing::Test {
protected:
    void SetUp() override
    {
        if (std::system("command -v mkfs.vfat >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "mkfs.vfat of dosfstools is missing";
        m_image = m_machine.MakeImage("copy.img", 40 * kMiB);
        ASSERT_EQ(std::system(("mkfs.vfat -F 32 -i ABCD1234 -n DATA " + m_image + " >/dev/null 2>&1").c_str()), 0);
        std::filesystem::create_directories(m_machine.Path("etc"));
        m_copy = platform::OpenVolumeFile(m_image, platform::VolumeAccess::Read);
        ASSERT_TRUE(m_copy);
    }

    std::optional<CTwins> Twins() const { return FindTwins(kRequest, *m_copy, true, m_image); }

    const CCloneRequest kRequest{"D:", "E:", "FAT32", "", true};
    testsupport::CTempMachine m_machine;
    std::string m_image;
    std::unique_ptr<platform::IVolume> m_copy;
};

// An /etc/fstab that is a FIFO nobody writes, or a link to an endless device, neither holds
// the completion of a copy nor fills the memory: the twins are told all the same.
TEST_F(TwinsOfACopy, AnFstabThatIsNoFileHoldsNothingUp)
{
    ASSERT_EQ(::mkfifo(m_machine.Path("etc/fstab").c_str(), 0600), 0);
    std::optional<CTwins> twins = Twins();
    ASSERT_TRUE(twins);
    EXPECT_EQ(twins->ids.uuid, "ABCD-1234");
    EXPECT_EQ(twins->notes.front(), TwinsNoteText(kRequest, twins->ids, {}));

    std::filesystem::remove(m_machine.Path("etc/fstab"));
    std::filesystem::create_symlink("/dev/zero", m_machine.Path("etc/fstab"));
    twins = Twins();
    ASSERT_TRUE(twins);
    EXPECT_EQ(twins->notes.front(), TwinsNoteText(kRequest, twins->ids, {}));
}

// The copy as written, whose flush fails like a device that drops off after the tool ran.
class CFlushFails : public platform::IVolume {
public:
    explicit CFlushFails(platform::IVolume& volume) : m_volume(volume) {}
    void Rewind() override { m_volume.Rewind(); }
    void Move(std::int64_t delta) override { m_volume.Move(delta); }
    bool Read(std::span<std::byte> buffer, std::uint32_t& bytesRead) override
    {
        return m_volume.Read(buffer, bytesRead);
    }
    bool Write(std::span<const std::byte> data, std::uint32_t& bytesWritten) override
    {
        return m_volume.Write(data, bytesWritten);
    }
    bool Flush() override { return false; }
    std::uint64_t Size() const override { return m_volume.Size(); }
    int LastError() const override { return EIO; }
    platform::CVolumeExtent Extent() const override { return m_volume.Extent(); }
    int Descriptor() const override { return m_volume.Descriptor(); }

private:
    platform::IVolume& m_volume;
};

// A serial the tool wrote is told as the copy's only once it is on the media.
TEST_F(TwinsOfACopy, ANewSerialIsToldOnlyOnceItIsDurable)
{
    if (std::system("command -v fatlabel >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "fatlabel of dosfstools is missing";
    std::optional<CTwins> twins = Twins();
    ASSERT_TRUE(twins);
    ASSERT_FALSE(twins->renewal.empty());
    std::unique_ptr<platform::IVolume> copy = platform::OpenVolumeFile(m_image, platform::VolumeAccess::Write);
    ASSERT_TRUE(copy);
    CFlushFails failing(*copy);
    const std::string told = RenewSerial(kRequest, *twins, failing);
    EXPECT_NE(told.find("could not be made durable (" + std::string(std::strerror(EIO)) + ")"), std::string::npos)
        << told;
    EXPECT_EQ(told.find(" now; "), std::string::npos) << told;
}

}  // namespace
