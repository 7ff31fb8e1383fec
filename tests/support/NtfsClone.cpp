// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/NtfsClone.h"

#include "tests/support/NtfsImage.h"
#include "tests/support/SectorPattern.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace testsupport {

namespace {

constexpr std::uint64_t kClusterBytes = 4096;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A read-write mount of the copy takes a file larger than the whole source, and shows
// the source's files unchanged.
void ExpectMountTakesMoreThanTheSource(const CTempMachine& machine, const CNtfsSource& source,
                                       const std::string& dest)
{
    if (!CNtfsMount::Available())
        GTEST_SKIP() << "no FUSE here: the copy was checked but not mounted";
    const std::string mountPoint = machine.Path("mnt");
    CNtfsMount mount(machine, dest, mountPoint);
    ASSERT_TRUE(mount.Mounted()) << mount.Messages();
    const std::string chunk = SectorPattern(1 << 20);
    const std::uint64_t newSize = kNtfsSourceSize + (2 << 20);
    {
        std::ofstream out(mountPoint + "/beyond.bin", std::ios::binary);
        for (std::uint64_t written = 0; written < newSize && out; written += chunk.size())
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        out.close();
        EXPECT_TRUE(out) << "the copy took no file beyond the source's capacity";
    }
    EXPECT_EQ(std::filesystem::file_size(mountPoint + "/beyond.bin"), newSize);
    for (const auto& [name, content] : source.m_files)
        EXPECT_TRUE(ReadFile(mountPoint + "/" + name) == content) << name << " changed";
}

}  // namespace

CNtfsSource MakeNtfsSource(const CTempMachine& machine, const std::string& path, unsigned bytesPerSector,
                           unsigned clusterBytes)
{
    CNtfsSource source{
        path, {{"pattern.bin", SectorPattern(3 << 20)}, {"notes.txt", "The source's own file.\n"}}, "", bytesPerSector};
    if (!MakeNtfsImage(machine, path, kNtfsSourceSize, {bytesPerSector, 0, clusterBytes}))
        return source;
    for (const auto& [name, content] : source.m_files)
        if (!PutNtfsFile(machine, path, name, content))
            return source;
    source.m_bytes = ReadFile(path);
    return source;
}

std::uint64_t PartitionSizeField(const std::string& path, unsigned bytesPerSector)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return static_cast<std::uint64_t>(in.tellg()) / bytesPerSector - 1;
}

void ExpectGrownCopy(const CTempMachine& machine, const CNtfsSource& source, const std::string& dest,
                     std::uint64_t sectors)
{
    const std::uint64_t bps = source.m_bytesPerSector;
    EXPECT_EQ(SizeFieldSectors(dest), sectors);
    EXPECT_TRUE(ReadBytes(dest, sectors * bps, bps) == ReadBytes(dest, 0, bps))
        << "the backup boot sector is not the copy's boot sector";

    CToolRun fix = RunTool(machine, "ntfsfix", {"--no-action", dest});
    EXPECT_EQ(fix.exitCode, 0) << fix.out << fix.err;
    CToolRun marked = RunTool(machine, "ntfsresize", {"--info", "--no-progress-bar", dest});
    EXPECT_NE(marked.out.find("Volume is scheduled for check"), std::string::npos) << marked.out;
    CToolRun info = RunTool(machine, "ntfsresize", {"--info", "--force", "--no-progress-bar", dest});
    EXPECT_EQ(info.exitCode, 0) << info.out;
    // ntfsresize counts the clusters and the backup boot sector after them.
    const std::uint64_t sectorsPerCluster = kClusterBytes / bps;
    const std::uint64_t volumeBytes = (sectors / sectorsPerCluster * sectorsPerCluster + 1) * bps;
    EXPECT_NE(info.out.find("Current volume size: " + std::to_string(volumeBytes) + " bytes"), std::string::npos)
        << info.out;

    for (const auto& [name, content] : source.m_files)
        EXPECT_TRUE(ReadNtfsFile(machine, dest, name) == content) << name << " changed";
    EXPECT_TRUE(ReadFile(source.m_path) == source.m_bytes) << "the source changed";
    ExpectMountTakesMoreThanTheSource(machine, source, dest);
}

void ExpectCopyOfTheSourcesSize(const CTempMachine& machine, const CNtfsSource& source, const std::string& dest)
{
    const std::uint64_t bps = source.m_bytesPerSector;
    EXPECT_TRUE(ReadBytes(dest, 0, source.m_bytes.size()) == source.m_bytes) << "the copy is not the source";
    EXPECT_TRUE(ReadBytes(dest, PartitionSizeField(dest, source.m_bytesPerSector) * bps, bps) ==
                source.m_bytes.substr(0, bps))
        << "the partition's last sector holds another boot sector";
    CToolRun fix = RunTool(machine, "ntfsfix", {"--no-action", dest});
    EXPECT_EQ(fix.exitCode, 0) << fix.out << fix.err;
}

}  // namespace testsupport
