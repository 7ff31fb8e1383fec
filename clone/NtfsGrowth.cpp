// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/NtfsGrowth.h"

#include "clone/CloneTexts.h"
#include "clone/NtfsCheck.h"
#include "clone/SizeField.h"
#include "platform/volume/SectorSize.h"
#include "platform/volume/SharedVolume.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <vector>

namespace {

// How a run of a tool went. NotShutDown: ntfs-3g.probe refused a volume of a hibernated
// Windows or of one not shut down cleanly, whose changes still wait in its journal or
// memory: ntfsresize would reset the journal and lose them.
enum class ToolRun { Succeeded, Refused, NotShutDown, CutShort };

// ntfs-3g.probe's exit codes for a hibernated volume and an unclean one.
constexpr int kProbeHibernated = 14;
constexpr int kProbeUnclean = 15;

// One growth of the copy, which is read and written here sector by sector and handed to
// the tools as the file it is.
class CNtfsGrowth {
public:
    CNtfsGrowth(platform::IVolume& copy, const CNtfsGeometry& source, std::uint64_t target, const CGrowthNames& names)
        : m_copy(copy), m_source(source), m_target(target), m_lastSector(copy.Size() / source.bytesPerSector - 1),
          m_names(names)
    {
    }

    std::optional<std::string> Grow(std::span<const std::byte> engineBoot);

private:
    // Runs ntfsresize up to the target size, once ntfs-3g.probe finds nothing that a
    // resize would lose; m_howCutShort tells how a real run that began and did not
    // complete ended.
    ToolRun Resize();
    ToolRun Run(const std::vector<std::string>& argv, bool writes);
    // Writes the target size into the grown volume's boot sector (boot, a buffer of one
    // sector) and the boot sector into the backup's place.
    void AnnounceTargetSize(std::span<std::byte> boot);
    // True when the whole sector was read; false also for a sector past the end.
    bool ReadSector(std::uint64_t sector, std::span<std::byte> data);
    // Writes data at every sector, then flushes; true when all of it is on the device.
    bool WriteSectors(std::span<const std::byte> data, std::initializer_list<std::uint64_t> sectors);

    platform::IVolume& m_copy;
    CNtfsGeometry m_source;
    // The NTFS size field counts the sectors before the backup boot sector, so this is
    // also the sector where the backup of the grown volume lives: its partition's last,
    // unless the partition holds more clusters than NTFS counts.
    std::uint64_t m_target;
    // Where ntfsfix and chkdsk look for the alternate boot sector.
    std::uint64_t m_lastSector;
    const CGrowthNames& m_names;
    std::string m_howCutShort;
    int m_exitCode = -1;  // of the last tool run, -1 when it did not exit
};

std::optional<std::string> CNtfsGrowth::Grow(std::span<const std::byte> engineBoot)
{
    platform::CVolumeBuffer boot(m_source.bytesPerSector);
    if (!boot.IsValid())
        return std::nullopt;
    // A first sector that is not the engine's copy (the source's first sector could not be
    // read) is left as it is.
    if (engineBoot.size() < platform::kSectorSize || !ReadSector(0, boot.Bytes()) ||
        !std::equal(engineBoot.begin(), engineBoot.begin() + platform::kSectorSize, boot.Bytes().begin()))
        return std::nullopt;

    // The partition's last sector still holds whatever the destination had there (the
    // backup of its old file system): it gets the copy's boot sector, the backup of the
    // grown volume and, should it not grow, where the alternate boot sector is looked for.
    if (!WriteSectors(boot.Bytes(), {m_target, m_lastSector}))
        return CapacityNoteText(m_names.source, m_names.device);
    switch (Resize()) {
    case ToolRun::Succeeded:
        AnnounceTargetSize(boot.Bytes());
        if (m_target < m_lastSector)
            return ClusterLimitNoteText(m_names.destination, m_target * m_source.bytesPerSector,
                                        m_source.sectorsPerCluster * std::uint64_t{m_source.bytesPerSector});
        return std::nullopt;
    case ToolRun::Refused:
        return CapacityNoteText(m_names.source, m_names.device);
    case ToolRun::NotShutDown:
        return NotShutDownNoteText(m_names.source, m_names.device);
    case ToolRun::CutShort:
        break;
    }
    return ResizeCutShortText(m_names.destination, m_names.device, m_howCutShort);
}

ToolRun CNtfsGrowth::Resize()
{
    // ntfsresize puts its backup boot sector in the last sector of the size it is given
    // and grows to the whole clusters before it, marking the volume for a check at
    // Windows' next start. It does not look for a hibernated Windows or a journal with
    // changes not yet written, which it would reset: ntfs-3g.probe refuses both. Its trial
    // run refuses a volume already marked for a check, so the real run's --force only
    // spares its question.
    const std::string size = std::to_string((m_target + 1) * std::uint64_t{m_source.bytesPerSector});
    const std::string volume = platform::VolumeArgument(0);
    ToolRun run = Run({"ntfs-3g.probe", "--readwrite", volume}, false);
    if (run == ToolRun::Refused && (m_exitCode == kProbeHibernated || m_exitCode == kProbeUnclean))
        return ToolRun::NotShutDown;
    if (run == ToolRun::Succeeded)
        run = Run({"ntfsresize", "--no-action", "--no-progress-bar", "--size", size, volume}, false);
    if (run == ToolRun::Succeeded)
        run = Run({"ntfsresize", "--force", "--no-progress-bar", "--size", size, volume}, true);
    return run;
}

ToolRun CNtfsGrowth::Run(const std::vector<std::string>& argv, bool writes)
{
    // A run that only reads may be given up: the copy is as it was.
    platform::CProgramEnding ending =
        platform::RunToolOnVolumes(argv, {&m_copy}, writes ? std::nullopt : std::optional(ReadingToolBound()));
    m_exitCode = ending.startError == 0 ? ending.exitCode : -1;
    if (ending.startError == 0 && ending.signal == 0 && ending.exitCode == 0)
        return ToolRun::Succeeded;
    // A tool that never started, or one that only looked, left the copy as it was.
    if (ending.startError != 0 || !writes)
        return ToolRun::Refused;
    m_howCutShort = ToolEndingText(ending);
    return ToolRun::CutShort;
}

void CNtfsGrowth::AnnounceTargetSize(std::span<std::byte> boot)
{
    // ntfsresize wrote its own size, the sectors of its whole clusters, which the target
    // replaces when it counts the same clusters. Older versions of ntfsresize keep a whole
    // cluster back for the backup boot sector: the bitmap then covers one cluster less
    // than the target would announce, and their size stays. Should these writes fail,
    // ntfsresize's volume is sound as it stands.
    if (!ReadSector(0, boot))
        return;
    const std::uint64_t cluster = m_source.sectorsPerCluster;
    if (SizeFieldSectors(ReadSizeField(boot)) / cluster == m_target / cluster)
        WriteSizeField(boot, SizeFieldOf(m_target));
    WriteSectors(boot, {m_target, m_lastSector, 0});
}

bool CNtfsGrowth::ReadSector(std::uint64_t sector, std::span<std::byte> data)
{
    if (sector >= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) / data.size())
        return false;
    m_copy.Rewind();
    m_copy.Move(static_cast<std::int64_t>(sector * data.size()));
    std::uint32_t bytesRead = 0;
    return m_copy.Read(data, bytesRead) && bytesRead == data.size();
}

bool CNtfsGrowth::WriteSectors(std::span<const std::byte> data, std::initializer_list<std::uint64_t> sectors)
{
    for (std::uint64_t sector : sectors) {
        if (sector >= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) / data.size())
            return false;
        m_copy.Rewind();
        m_copy.Move(static_cast<std::int64_t>(sector * data.size()));
        std::uint32_t bytesWritten = 0;
        if (!m_copy.Write(data, bytesWritten))
            return false;
    }
    return m_copy.Flush();
}

}  // namespace

std::optional<std::string> GrowNtfsCopy(platform::IVolume& copy, std::span<const std::byte> boot,
                                        const CNtfsGeometry& source, std::uint64_t target,
                                        const CGrowthNames& names)
{
    CNtfsGrowth growth(copy, source, target, names);
    return growth.Grow(boot);
}
