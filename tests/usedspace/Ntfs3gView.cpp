// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/usedspace/Ntfs3gView.h"

#include <memory>

// The library's headers are C, expect the configuration of its own build and define
// min and max as macros.
#define HAVE_TIME_H 1
#define HAVE_STDINT_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_SYS_STAT_H 1
extern "C" {
#include <ntfs-3g/types.h>
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/runlist.h>
#include <ntfs-3g/volume.h>
}
#undef min
#undef max

namespace testsupport {

namespace {

struct CUnmount {
    void operator()(ntfs_volume* volume) const { ntfs_umount(volume, FALSE); }
};
using CNtfs3gVolume = std::unique_ptr<ntfs_volume, CUnmount>;
struct CCloseInode {
    void operator()(ntfs_inode* inode) const { ntfs_inode_close(inode); }
};
struct CCloseAttribute {
    void operator()(ntfs_attr* attribute) const { ntfs_attr_close(attribute); }
};

}  // namespace

std::optional<CNtfs3gBitmap> ReadNtfs3gBitmap(const std::string& image)
{
    CNtfs3gVolume volume(ntfs_mount(image.c_str(), NTFS_MNT_RDONLY));
    if (!volume)
        return std::nullopt;
    const std::uint64_t clusters = static_cast<std::uint64_t>(volume->nr_clusters);
    std::vector<unsigned char> bits((clusters + 7) / 8);
    if (ntfs_attr_pread(volume->lcnbmp_na, 0, static_cast<s64>(bits.size()), bits.data()) !=
        static_cast<s64>(bits.size()))
        return std::nullopt;
    CNtfs3gBitmap bitmap;
    bitmap.m_clusterSize = volume->cluster_size;
    bitmap.m_used.resize(clusters);
    for (std::uint64_t c = 0; c < clusters; ++c)
        bitmap.m_used[c] = (bits[c / 8] >> (c % 8) & 1) != 0;
    return bitmap;
}

std::size_t CountNtfs3gExtents(const std::string& image, const std::string& path)
{
    CNtfs3gVolume volume(ntfs_mount(image.c_str(), NTFS_MNT_RDONLY));
    if (!volume)
        return 0;
    std::unique_ptr<ntfs_inode, CCloseInode> inode(ntfs_pathname_to_inode(volume.get(), nullptr, path.c_str()));
    if (!inode)
        return 0;
    std::unique_ptr<ntfs_attr, CCloseAttribute> data(ntfs_attr_open(inode.get(), AT_DATA, AT_UNNAMED, 0));
    if (!data || ntfs_attr_map_whole_runlist(data.get()) != 0)
        return 0;
    std::size_t extents = 0;
    for (const runlist* run = data->rl; run->length != 0; ++run)
        extents += run->lcn >= 0 ? 1 : 0;
    return extents;
}

bool MarkNtfsDirty(const std::string& image)
{
    CNtfs3gVolume volume(ntfs_mount(image.c_str(), 0));
    return volume && ntfs_volume_write_flags(volume.get(), volume->flags | VOLUME_IS_DIRTY) == 0;
}

}  // namespace testsupport
