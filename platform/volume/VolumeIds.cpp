// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/VolumeIds.h"

#include "platform/files/FileDescriptor.h"

#include <blkid/blkid.h>
#include <fcntl.h>

#include <cerrno>
#include <memory>

namespace platform {

namespace {

struct ProbeRelease {
    void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};

std::string Value(blkid_probe probe, const char* name)
{
    const char* value = nullptr;
    if (blkid_probe_lookup_value(probe, name, &value, nullptr) != 0 || value == nullptr)
        return {};
    return value;
}

}  // namespace

std::optional<CFileSystemIds> ReadFileSystemIds(const IVolume& volume)
{
    const int descriptor = volume.Descriptor();
    if (descriptor < 0)
        return std::nullopt;
    // Its own open, through the page cache: the volume's may bypass it (direct I/O), which
    // libblkid's reads do not suit.
    CFd file;
    do
        file = CFd(::open(("/proc/self/fd/" + std::to_string(descriptor)).c_str(), O_RDONLY | O_CLOEXEC));
    while (!file.IsOpen() && errno == EINTR);
    if (!file.IsOpen())
        return std::nullopt;
    std::unique_ptr<blkid_struct_probe, ProbeRelease> probe(blkid_new_probe());
    if (!probe || blkid_probe_set_device(probe.get(), file.Get(), 0, 0) != 0)
        return std::nullopt;
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_UUID | BLKID_SUBLKS_LABEL);
    if (blkid_do_safeprobe(probe.get()) != 0)
        return std::nullopt;
    CFileSystemIds ids{Value(probe.get(), "TYPE"), Value(probe.get(), "UUID"), Value(probe.get(), "LABEL")};
    if (ids.type.empty())
        return std::nullopt;
    return ids;
}

}  // namespace platform
