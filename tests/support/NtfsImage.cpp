// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/NtfsImage.h"

#include "tests/support/ToolRun.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace testsupport {

namespace {

// True while some process holds the POSIX lock that libntfs-3g takes on the device it
// works on: ntfs-3g ends a while after its file system is unmounted.
bool LockedByNtfs3g(const std::string& image)
{
    int fd = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    bool locked = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

// The mount options of mountPoint as /proc/self/mounts lists them; empty when it is not
// a mount point.
std::string MountOptions(const std::string& mountPoint)
{
    std::ifstream mounts("/proc/self/mounts");
    std::string source, target, type, options, rest;
    while (mounts >> source >> target >> type >> options && std::getline(mounts, rest)) {
        if (target == mountPoint)
            return options;
    }
    return "";
}

}  // namespace

bool NtfsToolsPresent(const CTempMachine& machine)
{
    return RunTool(machine, "sh",
                   {"-c", "for t in mkntfs ntfscp ntfscat ntfsfix ntfsresize ntfs-3g.probe; do "
                          "command -v $t >/dev/null || exit 1; done"})
               .exitCode == 0;
}

bool MakeNtfsImage(const CTempMachine& machine, const std::string& path, std::uint64_t size,
                   const CNtfsFormat& format)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc);
    std::error_code error;
    std::filesystem::resize_file(path, size, error);
    return !error && FormatNtfs(machine, path, format);
}

bool FormatNtfs(const CTempMachine& machine, const std::string& path, const CNtfsFormat& format)
{
    std::vector<std::string> args{"-F", "-Q", "-q", "-c", std::to_string(format.clusterBytes)};
    if (format.bytesPerSector != 0)
        args.insert(args.end(), {"-s", std::to_string(format.bytesPerSector)});
    args.push_back(path);
    // mkntfs counts the volume in sectors, and leaves the last one for the backup boot sector.
    if (format.volumeBytes != 0)
        args.push_back(std::to_string(format.volumeBytes / (format.bytesPerSector ? format.bytesPerSector : 512)));
    return RunTool(machine, "mkntfs", args).exitCode == 0;
}

bool PutNtfsFile(const CTempMachine& machine, const std::string& image, const std::string& name,
                 const std::string& content)
{
    const std::string local = machine.Path("ntfs-put.tmp");
    std::ofstream(local, std::ios::binary | std::ios::trunc) << content;
    return RunTool(machine, "ntfscp", {image, local, name}).exitCode == 0;
}

std::optional<std::string> ReadNtfsFile(const CTempMachine& machine, const std::string& image,
                                        const std::string& name)
{
    CToolRun run = RunTool(machine, "ntfscat", {"--force", image, name});
    if (run.exitCode != 0)
        return std::nullopt;
    return run.out;
}

std::string ReadBytes(const std::string& path, std::uint64_t offset, std::size_t count)
{
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::uint64_t NtfsMftSector(const std::string& image, bool mirror)
{
    auto number = [&](std::uint64_t offset, std::size_t count) {
        std::string bytes = ReadBytes(image, offset, count);
        std::uint64_t value = 0;
        for (std::size_t i = bytes.size(); i-- > 0;)
            value = value << 8 | static_cast<unsigned char>(bytes[i]);
        return value;
    };
    return number(mirror ? 56 : 48, 8) * number(13, 1) * number(11, 2) / 512;
}

std::string SizeFieldList(const std::string& image)
{
    std::string field = ReadBytes(image, 40, 8);
    std::string list;
    for (char byte : field)
        list += (list.empty() ? "" : ",") + std::to_string(static_cast<unsigned char>(byte));
    return list;
}

std::uint64_t SizeFieldSectors(const std::string& image)
{
    std::string field = ReadBytes(image, 40, 8);
    std::uint64_t sectors = 0;
    for (std::size_t i = field.size(); i-- > 0;)
        sectors = sectors << 8 | static_cast<unsigned char>(field[i]);
    return sectors;
}

CNtfsMount::CNtfsMount(const CTempMachine& machine, const std::string& image, const std::string& mountPoint)
    : m_machine(machine), m_image(image), m_mountPoint(mountPoint)
{
    std::filesystem::create_directories(mountPoint);
    CToolRun run = RunTool(machine, "ntfs-3g", {image, mountPoint});
    m_messages = run.out + run.err;
    // ntfs-3g falls back to a read-only mount when it may not write, and says so only.
    std::string options = MountOptions(mountPoint);
    m_mounted = run.exitCode == 0 && options.starts_with("rw");
    if (!options.empty() && !m_mounted)
        RunTool(machine, "umount", {mountPoint});
}

CNtfsMount::~CNtfsMount()
{
    if (!m_mounted)
        return;
    RunTool(m_machine, "umount", {m_mountPoint});
    // The image is whole again once ntfs-3g has written its last changes and ended.
    for (int wait = 0; wait < 1000 && LockedByNtfs3g(m_image); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

bool CNtfsMount::Available()
{
    return ::access("/dev/fuse", R_OK | W_OK) == 0;
}

}  // namespace testsupport
