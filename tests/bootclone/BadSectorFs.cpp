// SPDX-License-Identifier: GPL-3.0-or-later
// A one-file FUSE file system for tests: mounted on MOUNTPOINT it shows BACKING as
// "disk.img", and every read that touches one of the listed 512-byte sectors fails with
// EIO, as a disk with unreadable sectors does; so does every write that touches a sector
// listed with a "w" before it ("w32"), which keeps what it held. Transfers bypass the page
// cache, so a failure stays confined to the sectors named.
//   vantrel_badsectorfs MOUNTPOINT BACKING [SECTOR | wSECTOR]...

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

constexpr const char* kImageName = "/disk.img";
constexpr std::uint64_t kSector = 512;

struct CBadDisk {
    int m_backing = -1;
    off_t m_size = 0;
    std::set<std::uint64_t> m_badSectors;
    std::set<std::uint64_t> m_unwritableSectors;
};

CBadDisk& Disk()
{
    return *static_cast<CBadDisk*>(fuse_get_context()->private_data);
}

int GetAttr(const char* path, struct stat* info, fuse_file_info*)
{
    std::memset(info, 0, sizeof *info);
    if (std::strcmp(path, "/") == 0) {
        info->st_mode = S_IFDIR | 0755;
        info->st_nlink = 2;
        return 0;
    }
    if (std::strcmp(path, kImageName) != 0)
        return -ENOENT;
    info->st_mode = S_IFREG | 0644;
    info->st_nlink = 1;
    info->st_size = Disk().m_size;
    return 0;
}

int ReadDir(const char* path, void* entries, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags)
{
    if (std::strcmp(path, "/") != 0)
        return -ENOENT;
    fill(entries, ".", nullptr, 0, FUSE_FILL_DIR_PLUS);
    fill(entries, "..", nullptr, 0, FUSE_FILL_DIR_PLUS);
    fill(entries, kImageName + 1, nullptr, 0, FUSE_FILL_DIR_PLUS);
    return 0;
}

int Open(const char* path, fuse_file_info* file)
{
    if (std::strcmp(path, kImageName) != 0)
        return -ENOENT;
    file->direct_io = 1;
    return 0;
}

// True when a transfer of size bytes at offset touches one of sectors.
bool Touches(const std::set<std::uint64_t>& sectors, size_t size, off_t offset)
{
    if (size == 0)
        return false;
    auto bad = sectors.lower_bound(static_cast<std::uint64_t>(offset) / kSector);
    return bad != sectors.end() && *bad <= (static_cast<std::uint64_t>(offset) + size - 1) / kSector;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info*)
{
    CBadDisk& disk = Disk();
    if (Touches(disk.m_badSectors, size, offset))
        return -EIO;
    ssize_t done = pread(disk.m_backing, buffer, size, offset);
    return done < 0 ? -errno : static_cast<int>(done);
}

// Writes never reach past the end: the image stands for a disk of its size.
int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info*)
{
    CBadDisk& disk = Disk();
    if (Touches(disk.m_unwritableSectors, size, offset))
        return -EIO;
    if (offset > disk.m_size || static_cast<off_t>(size) > disk.m_size - offset)
        return -ENOSPC;
    ssize_t done = pwrite(disk.m_backing, buffer, size, offset);
    return done < 0 ? -errno : static_cast<int>(done);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 3)
        return 2;
    CBadDisk disk;
    disk.m_backing = open(argv[2], O_RDWR | O_CLOEXEC);
    struct stat info {};
    if (disk.m_backing < 0 || fstat(disk.m_backing, &info) != 0)
        return 2;
    disk.m_size = info.st_size;
    for (int i = 3; i < argc; ++i) {
        if (argv[i][0] == 'w')
            disk.m_unwritableSectors.insert(std::strtoull(argv[i] + 1, nullptr, 10));
        else
            disk.m_badSectors.insert(std::strtoull(argv[i], nullptr, 10));
    }

    fuse_operations operations{};
    operations.getattr = GetAttr;
    operations.readdir = ReadDir;
    operations.open = Open;
    operations.read = Read;
    operations.write = Write;
    char* fuseArgs[] = {argv[0], argv[1], const_cast<char*>("-f"), const_cast<char*>("-s")};
    return fuse_main(4, fuseArgs, &operations, &disk);
}
