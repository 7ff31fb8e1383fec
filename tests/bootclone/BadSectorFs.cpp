// SPDX-License-Identifier: GPL-3.0-or-later
// A FUSE file system for tests and benchmarks: mounted on MOUNTPOINT it shows BACKING as
// "disk.img", and every read that touches one of the listed 512-byte sectors fails with
// EIO, as a disk with unreadable sectors does; so does every write that touches a sector
// listed with a "w" before it ("w32"), which keeps what it held. A sector listed with a
// "d" ("d32") takes every write without a word and keeps what it held, as a failing disk
// or cache may. Transfers bypass the page cache, so a failure stays confined to the sectors
// named. Beside it, "reads.txt" tells what the disk went through since the mount: its reads,
// those that touched a bad sector, and the most reads of one bad sector and of one sector.
// Options, before the mount point:
//   --max-read=BYTES  the most one request reads; the kernel splits larger reads, and
//                     one that fails after some of its requests went through comes back
//                     short, as a disk's split transfers do
//   --slow-ms=N       a read that touches a bad sector takes N ms to fail, as a disk that
//                     retries does
//   --read-ms=N       every read of the image takes N ms, as a slow disk's do
//   --wrap=BYTES      the disk keeps only its first BYTES, as a flash drive that claims more
//                     than it holds: a transfer beyond them lands at its offset modulo BYTES
//   --cached          the image's transfers go through the page cache, kept from one open
//                     to the next: it holds what was written even where the disk dropped
//                     it, until it is told to drop its pages or read with direct I/O
//   vantrel_badsectorfs [OPTION]... MOUNTPOINT BACKING [SECTOR | wSECTOR | dSECTOR]...

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kImageName = "/disk.img";
constexpr const char* kReadsName = "/reads.txt";
constexpr std::uint64_t kSector = 512;

// Single-threaded (-s): the counts need no lock.
struct CBadDisk {
    int m_backing = -1;
    off_t m_size = 0;
    std::set<std::uint64_t> m_badSectors;
    std::set<std::uint64_t> m_unwritableSectors;
    std::set<std::uint64_t> m_droppingSectors;
    std::vector<std::uint32_t> m_sectorReads;
    std::uint64_t m_reads = 0;
    std::uint64_t m_badReads = 0;
    unsigned m_maxRead = 0;  // 0: as large as the kernel allows
    std::chrono::milliseconds m_badReadTime{0};
    std::chrono::milliseconds m_readTime{0};
    std::uint64_t m_wrap = 0;  // 0: the disk keeps all it is given
    bool m_cached = false;

    std::string ReadsText() const
    {
        std::uint32_t mostOfABadSector = 0;
        for (std::uint64_t sector : m_badSectors)
            if (sector < m_sectorReads.size())
                mostOfABadSector = std::max(mostOfABadSector, m_sectorReads[sector]);
        std::uint32_t most =
            m_sectorReads.empty() ? 0 : *std::max_element(m_sectorReads.begin(), m_sectorReads.end());
        return "reads " + std::to_string(m_reads) + "\nreads touching a bad sector " + std::to_string(m_badReads) +
               "\nmost reads of a bad sector " + std::to_string(mostOfABadSector) + "\nmost reads of a sector " +
               std::to_string(most) + "\n";
    }
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
    const bool image = std::strcmp(path, kImageName) == 0;
    if (!image && std::strcmp(path, kReadsName) != 0)
        return -ENOENT;
    info->st_mode = S_IFREG | (image ? 0644 : 0444);
    info->st_nlink = 1;
    info->st_size = image ? Disk().m_size : static_cast<off_t>(Disk().ReadsText().size());
    return 0;
}

int ReadDir(const char* path, void* entries, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags)
{
    if (std::strcmp(path, "/") != 0)
        return -ENOENT;
    fill(entries, ".", nullptr, 0, FUSE_FILL_DIR_PLUS);
    fill(entries, "..", nullptr, 0, FUSE_FILL_DIR_PLUS);
    fill(entries, kImageName + 1, nullptr, 0, FUSE_FILL_DIR_PLUS);
    fill(entries, kReadsName + 1, nullptr, 0, FUSE_FILL_DIR_PLUS);
    return 0;
}

int Open(const char* path, fuse_file_info* file)
{
    if (std::strcmp(path, kImageName) != 0 && std::strcmp(path, kReadsName) != 0)
        return -ENOENT;
    const bool cached = Disk().m_cached && std::strcmp(path, kImageName) == 0;
    file->direct_io = cached ? 0 : 1;
    file->keep_cache = cached ? 1 : 0;
    return 0;
}

// Reads or writes size bytes at offset of the backing file, where the disk keeps them:
// beyond the bytes it holds, a wrapping disk goes round to its start. The bytes done, or
// -errno.
template <typename Buffer, typename Transfer>
int Backing(Buffer buffer, size_t size, off_t offset, Transfer transfer)
{
    const CBadDisk& disk = Disk();
    size_t done = 0;
    while (done < size) {
        const std::uint64_t at = static_cast<std::uint64_t>(offset) + done;
        const std::uint64_t place = disk.m_wrap == 0 ? at : at % disk.m_wrap;
        const size_t part = disk.m_wrap == 0 ? size - done : std::min<size_t>(size - done, disk.m_wrap - place);
        const ssize_t moved = transfer(disk.m_backing, buffer + done, part, static_cast<off_t>(place));
        if (moved < 0)
            return -errno;
        done += static_cast<size_t>(moved);
        if (static_cast<size_t>(moved) < part)
            break;
    }
    return static_cast<int>(done);
}

// True when a transfer of size bytes at offset touches one of sectors.
bool Touches(const std::set<std::uint64_t>& sectors, size_t size, off_t offset)
{
    if (size == 0)
        return false;
    auto bad = sectors.lower_bound(static_cast<std::uint64_t>(offset) / kSector);
    return bad != sectors.end() && *bad <= (static_cast<std::uint64_t>(offset) + size - 1) / kSector;
}

int ReadCounts(char* buffer, size_t size, off_t offset)
{
    const std::string text = Disk().ReadsText();
    if (offset < 0 || static_cast<std::size_t>(offset) >= text.size())
        return 0;
    std::size_t count = std::min(size, text.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer, text.data() + offset, count);
    return static_cast<int>(count);
}

int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info*)
{
    if (std::strcmp(path, kReadsName) == 0)
        return ReadCounts(buffer, size, offset);
    CBadDisk& disk = Disk();
    const std::uint64_t end = std::min<std::uint64_t>(static_cast<std::uint64_t>(offset) + size, disk.m_size);
    if (static_cast<std::uint64_t>(offset) < end) {
        ++disk.m_reads;
        std::this_thread::sleep_for(disk.m_readTime);
        const std::uint64_t first = static_cast<std::uint64_t>(offset) / kSector, last = (end - 1) / kSector;
        for (std::uint64_t sector = first; sector <= last && sector < disk.m_sectorReads.size(); ++sector)
            ++disk.m_sectorReads[sector];
        auto bad = disk.m_badSectors.lower_bound(first);
        if (bad != disk.m_badSectors.end() && *bad <= last) {
            ++disk.m_badReads;
            std::this_thread::sleep_for(disk.m_badReadTime);
            return -EIO;
        }
    }
    const std::uint64_t start = static_cast<std::uint64_t>(offset);
    return Backing(buffer, start < end ? static_cast<size_t>(end - start) : 0, offset, pread);
}

// Writes never reach past the end: the image stands for a disk of its size.
int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info*)
{
    CBadDisk& disk = Disk();
    if (Touches(disk.m_unwritableSectors, size, offset))
        return -EIO;
    if (offset > disk.m_size || static_cast<off_t>(size) > disk.m_size - offset)
        return -ENOSPC;
    if (!Touches(disk.m_droppingSectors, size, offset))
        return Backing(buffer, size, offset, pwrite);
    for (size_t done = 0; done < size;) {
        const std::uint64_t at = static_cast<std::uint64_t>(offset) + done;
        const size_t part = std::min<size_t>(size - done, kSector - at % kSector);
        if (!disk.m_droppingSectors.contains(at / kSector) &&
            pwrite(disk.m_backing, buffer + done, part, static_cast<off_t>(at)) != static_cast<ssize_t>(part))
            return -EIO;
        done += part;
    }
    return static_cast<int>(size);
}

// The kernel is told the largest read at the mount and again when the session starts.
void* Init(fuse_conn_info* connection, fuse_config*)
{
    CBadDisk& disk = Disk();
    if (disk.m_maxRead != 0)
        connection->max_read = disk.m_maxRead;
    return &disk;
}

}  // namespace

int main(int argc, char* argv[])
{
    CBadDisk disk;
    int arg = 1;
    for (; arg < argc && std::strncmp(argv[arg], "--", 2) == 0; ++arg) {
        if (std::strncmp(argv[arg], "--max-read=", 11) == 0)
            disk.m_maxRead = static_cast<unsigned>(std::strtoul(argv[arg] + 11, nullptr, 10));
        else if (std::strncmp(argv[arg], "--slow-ms=", 10) == 0)
            disk.m_badReadTime = std::chrono::milliseconds(std::strtoul(argv[arg] + 10, nullptr, 10));
        else if (std::strncmp(argv[arg], "--read-ms=", 10) == 0)
            disk.m_readTime = std::chrono::milliseconds(std::strtoul(argv[arg] + 10, nullptr, 10));
        else if (std::strncmp(argv[arg], "--wrap=", 7) == 0)
            disk.m_wrap = std::strtoull(argv[arg] + 7, nullptr, 10);
        else if (std::strcmp(argv[arg], "--cached") == 0)
            disk.m_cached = true;
        else
            return 2;
    }
    if (argc - arg < 2)
        return 2;
    disk.m_backing = open(argv[arg + 1], O_RDWR | O_CLOEXEC);
    struct stat info {};
    if (disk.m_backing < 0 || fstat(disk.m_backing, &info) != 0)
        return 2;
    disk.m_size = info.st_size;
    disk.m_sectorReads.resize((static_cast<std::uint64_t>(info.st_size) + kSector - 1) / kSector);
    for (int i = arg + 2; i < argc; ++i) {
        if (argv[i][0] == 'w')
            disk.m_unwritableSectors.insert(std::strtoull(argv[i] + 1, nullptr, 10));
        else if (argv[i][0] == 'd')
            disk.m_droppingSectors.insert(std::strtoull(argv[i] + 1, nullptr, 10));
        else
            disk.m_badSectors.insert(std::strtoull(argv[i], nullptr, 10));
    }

    fuse_operations operations{};
    operations.init = Init;
    operations.getattr = GetAttr;
    operations.readdir = ReadDir;
    operations.open = Open;
    operations.read = Read;
    operations.write = Write;
    std::string maxRead = "max_read=" + std::to_string(disk.m_maxRead);
    std::vector<char*> fuseArgs{argv[0], argv[arg], const_cast<char*>("-f"), const_cast<char*>("-s")};
    if (disk.m_maxRead != 0) {
        fuseArgs.push_back(const_cast<char*>("-o"));
        fuseArgs.push_back(maxRead.data());
    }
    return fuse_main(static_cast<int>(fuseArgs.size()), fuseArgs.data(), &operations, &disk);
}
