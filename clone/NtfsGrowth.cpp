// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/NtfsGrowth.h"

#include "clone/SizeField.h"
#include "platform/drives/Drives.h"
#include "platform/shell/Shell.h"
#include "platform/volume/DeviceVolume.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <span>
#include <vector>

namespace {

// The engine copies the boot sector as the first 512 bytes of the source.
constexpr std::size_t kFirstSectorSize = 512;
constexpr char kNtfsOemName[] = "NTFS    ";

// What the growth reads of an NTFS boot sector.
struct CNtfsGeometry {
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint64_t sectors = 0;  // the size field
};

// The geometry of an NTFS boot sector; nothing for any other sector: no "NTFS    " OEM
// name, or sector and cluster sizes that NTFS does not use.
std::optional<CNtfsGeometry> NtfsGeometry(std::span<const std::byte> boot)
{
    if (boot.size() < kFirstSectorSize || std::memcmp(boot.data() + 3, kNtfsOemName, 8) != 0)
        return std::nullopt;
    CNtfsGeometry geometry;
    geometry.bytesPerSector = std::to_integer<std::uint32_t>(boot[11]) | std::to_integer<std::uint32_t>(boot[12]) << 8;
    // Clusters of more than 128 sectors are counted as 2 to the power of 256 minus the byte.
    unsigned clusterByte = std::to_integer<unsigned>(boot[13]);
    if (clusterByte <= 128)
        geometry.sectorsPerCluster = clusterByte;
    else if (256 - clusterByte < 32)
        geometry.sectorsPerCluster = 1u << (256 - clusterByte);
    geometry.sectors = SizeFieldSectors(ReadSizeField(boot));
    const std::uint32_t bps = geometry.bytesPerSector;
    if (bps < 512 || bps > 4096 || (bps & (bps - 1)) != 0 || geometry.sectorsPerCluster == 0)
        return std::nullopt;
    return geometry;
}

// path as one word of a shell command line.
std::string ShellWord(const std::string& path)
{
    auto plain = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::strchr("/._-+:=@,", c) != nullptr;
    };
    if (!path.empty() && std::all_of(path.begin(), path.end(), plain))
        return path;
    std::string quoted = "'";
    for (char c : path)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// One growth: the copy on the destination's device or image file, which the tools are
// given by its path and which is read and written here sector by sector.
class CNtfsGrowth {
public:
    CNtfsGrowth(const CCloneRequest& request, platform::CDriveDevice device, const CNtfsGeometry& source,
                const SizeFieldBytes& sourceField, const SizeFieldBytes& announced)
        : m_request(request), m_device(std::move(device.path)), m_fingerprint(std::move(device.fingerprint)),
          m_source(source), m_sourceField(sourceField),
          m_announced(announced), m_announcedSectors(SizeFieldSectors(announced))
    {
    }

    std::optional<std::string> Grow(std::span<const std::byte> sourceBoot);

private:
    // True when the first bytes of the copy's boot sector are the source's with the
    // announced size in bytes 40 to 47: what the engine wrote.
    bool IsEngineCopy(std::span<const std::byte> copyBoot, std::span<const std::byte> sourceBoot) const;
    // Runs ntfsresize up to the announced size; true when it has grown the volume (or
    // found it of that size already).
    bool Resize() const;
    // Writes the announced size into the grown volume's boot sector (boot, a buffer of
    // one sector) and the boot sector into the backup's place.
    void AnnounceDestinationSize(std::span<std::byte> boot) const;
    // True when the whole sector was read; false also for a sector past the end.
    bool ReadSector(std::uint64_t sector, std::span<std::byte> data) const;
    // Writes data at every sector, then flushes; true when all of it is on the device.
    bool WriteSectors(std::span<const std::byte> data, std::initializer_list<std::uint64_t> sectors) const;
    std::string CapacityNote() const;

    const CCloneRequest& m_request;
    std::string m_device;
    std::string m_fingerprint;  // what tells the letter's device from another one under its path
    CNtfsGeometry m_source;
    SizeFieldBytes m_sourceField;
    SizeFieldBytes m_announced;
    // The NTFS size field counts the sectors before the backup boot sector, so this is
    // also the sector where the backup of the grown volume lives: its partition's last.
    std::uint64_t m_announcedSectors;
};

std::optional<std::string> CNtfsGrowth::Grow(std::span<const std::byte> sourceBoot)
{
    platform::CVolumeBuffer boot(m_source.bytesPerSector);
    platform::CVolumeBuffer backupPlace(m_source.bytesPerSector);
    if (!boot.IsValid() || !backupPlace.IsValid())
        return std::nullopt;
    // A first sector that is not the engine's copy (the source's first sector could not be
    // read, the letter names another device by now) is left as it is.
    if (!ReadSector(0, boot.Bytes()) || !IsEngineCopy(boot.Bytes(), sourceBoot))
        return std::nullopt;
    bool partitionHoldsSize = ReadSector(m_announcedSectors, backupPlace.Bytes());

    // Back to the source's size, which the copy's bitmap covers: a sound volume that
    // ntfsresize accepts. The backup's place of the announced size gets the copy's boot
    // sector instead of the destination's old one, which describes another volume.
    WriteSizeField(boot.Bytes(), m_sourceField);
    bool restored = partitionHoldsSize ? WriteSectors(boot.Bytes(), {m_announcedSectors, 0})
                                       : WriteSectors(boot.Bytes(), {0});
    if (!restored || !partitionHoldsSize || !Resize())
        return CapacityNote();
    AnnounceDestinationSize(boot.Bytes());
    return std::nullopt;
}

bool CNtfsGrowth::IsEngineCopy(std::span<const std::byte> copyBoot, std::span<const std::byte> sourceBoot) const
{
    std::vector<std::byte> expected(sourceBoot.begin(), sourceBoot.begin() + kFirstSectorSize);
    WriteSizeField(expected, m_announced);
    return std::equal(expected.begin(), expected.end(), copyBoot.begin());
}

bool CNtfsGrowth::Resize() const
{
    // ntfsresize puts its backup boot sector in the last sector of the size it is given
    // and grows to the whole clusters before it, marking the volume for a check at
    // Windows' next start. It does not look for a hibernated Windows or a journal with
    // changes not yet written, which it would reset: ntfs-3g.probe refuses both. Its trial
    // run refuses a volume already marked for a check, so the real run's --force only
    // spares its question.
    const std::string size =
        std::to_string((m_announcedSectors + 1) * std::uint64_t{m_source.bytesPerSector});
    const std::vector<std::vector<std::string>> steps = {
        {"ntfs-3g.probe", "--readwrite", m_device},
        {"ntfsresize", "--no-action", "--no-progress-bar", "--size", size, m_device},
        {"ntfsresize", "--force", "--no-progress-bar", "--size", size, m_device},
    };
    return std::all_of(steps.begin(), steps.end(),
                       [](const std::vector<std::string>& argv) { return platform::RunProgramQuietly(argv) == 0; });
}

void CNtfsGrowth::AnnounceDestinationSize(std::span<std::byte> boot) const
{
    // ntfsresize wrote its own size, the sectors of its whole clusters, which the list's
    // size replaces when it counts the same clusters. Older versions of ntfsresize keep a
    // whole cluster back for the backup boot sector: the bitmap then covers one cluster
    // less than the list would announce, and their size stays. Should these writes fail,
    // ntfsresize's volume is sound as it stands.
    if (!ReadSector(0, boot))
        return;
    const std::uint64_t cluster = m_source.sectorsPerCluster;
    if (SizeFieldSectors(ReadSizeField(boot)) / cluster == m_announcedSectors / cluster)
        WriteSizeField(boot, m_announced);
    WriteSectors(boot, {m_announcedSectors, 0});
}

bool CNtfsGrowth::ReadSector(std::uint64_t sector, std::span<std::byte> data) const
{
    if (sector >= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) / data.size())
        return false;
    std::unique_ptr<platform::IVolume> volume = platform::OpenVolumeFile(m_device, platform::VolumeAccess::Read, m_fingerprint);
    if (!volume)
        return false;
    volume->Move(static_cast<std::int64_t>(sector * data.size()));
    std::uint32_t bytesRead = 0;
    return volume->Read(data, bytesRead) && bytesRead == data.size();
}

bool CNtfsGrowth::WriteSectors(std::span<const std::byte> data, std::initializer_list<std::uint64_t> sectors) const
{
    std::unique_ptr<platform::IVolume> volume = platform::OpenVolumeFile(m_device, platform::VolumeAccess::Write, m_fingerprint);
    if (!volume)
        return false;
    for (std::uint64_t sector : sectors) {
        volume->Rewind();
        volume->Move(static_cast<std::int64_t>(sector * data.size()));
        std::uint32_t bytesWritten = 0;
        if (!volume->Write(data, bytesWritten))
            return false;
    }
    return volume->Flush();
}

std::string CNtfsGrowth::CapacityNote() const
{
    // Without a size, ntfsresize grows the volume to its whole partition.
    return "The copy keeps the capacity of the " + m_request.m_sourceDrive +
           " partition until it is resized.  To resize it, run: ntfsresize " + ShellWord(m_device);
}

}  // namespace

std::optional<std::string> GrowNtfsCopy(const CCloneRequest& request, std::span<const std::byte> sourceBoot,
                                        const std::optional<platform::CDriveDevice>& destination)
{
    if (request.m_fileSystem != "NTFS")
        return std::nullopt;
    std::optional<CNtfsGeometry> geometry = NtfsGeometry(sourceBoot);
    SizeFieldBytes announced = ParseByteList(request.m_sizeFieldList);
    if (!geometry || SizeFieldSectors(announced) <= geometry->sectors)
        return std::nullopt;
    // The tools work on the device or image file itself; a drive without one has nothing
    // they could be given.
    if (!destination)
        return std::nullopt;
    CNtfsGrowth growth(request, *destination, *geometry, ReadSizeField(sourceBoot), announced);
    return growth.Grow(sourceBoot);
}
