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

constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kSectorsPerCluster = 8;

std::uint64_t ListSectors(const std::string& list)
{
    std::uint64_t sectors = 0;
    int shift = 0;
    std::size_t start = 0;
    for (std::size_t comma; start <= list.size(); start = comma + 1, shift += 8) {
        comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        sectors |= std::stoull(list.substr(start, comma - start)) << shift;
    }
    return sectors;
}

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

CNtfsSource MakeNtfsSource(const CTempMachine& machine, const std::string& path)
{
    CNtfsSource source{path, {{"pattern.bin", SectorPattern(3 << 20)}, {"notes.txt", "The source's own file.\n"}}, ""};
    if (!MakeNtfsImage(machine, path, kNtfsSourceSize))
        return source;
    for (const auto& [name, content] : source.m_files)
        if (!PutNtfsFile(machine, path, name, content))
            return source;
    source.m_bytes = ReadFile(path);
    return source;
}

void ExpectGrownCopy(const CTempMachine& machine, const CNtfsSource& source, const std::string& dest,
                     const std::string& list)
{
    const std::uint64_t sectors = ListSectors(list);
    EXPECT_EQ(SizeFieldList(dest), list);
    EXPECT_TRUE(ReadBytes(dest, sectors * kSector, kSector) == ReadBytes(dest, 0, kSector))
        << "the backup boot sector is not the copy's boot sector";

    CToolRun fix = RunTool(machine, "ntfsfix", {"--no-action", dest});
    EXPECT_EQ(fix.exitCode, 0) << fix.out << fix.err;
    CToolRun marked = RunTool(machine, "ntfsresize", {"--info", "--no-progress-bar", dest});
    EXPECT_NE(marked.out.find("Volume is scheduled for check"), std::string::npos) << marked.out;
    CToolRun info = RunTool(machine, "ntfsresize", {"--info", "--force", "--no-progress-bar", dest});
    EXPECT_EQ(info.exitCode, 0) << info.out;
    // ntfsresize counts the clusters and the backup boot sector after them.
    const std::uint64_t volumeBytes = sectors / kSectorsPerCluster * kSectorsPerCluster * kSector + kSector;
    EXPECT_NE(info.out.find("Current volume size: " + std::to_string(volumeBytes) + " bytes"), std::string::npos)
        << info.out;

    for (const auto& [name, content] : source.m_files)
        EXPECT_TRUE(ReadNtfsFile(machine, dest, name) == content) << name << " changed";
    EXPECT_TRUE(ReadFile(source.m_path) == source.m_bytes) << "the source changed";
    ExpectMountTakesMoreThanTheSource(machine, source, dest);
}

void ExpectCopyOfTheSourcesSize(const CNtfsSource& source, const std::string& dest, const std::string& list)
{
    EXPECT_TRUE(ReadBytes(dest, 0, source.m_bytes.size()) == source.m_bytes) << "the copy is not the source";
    const std::uint64_t sectors = ListSectors(list);
    if (sectors * kSector < std::filesystem::file_size(dest)) {
        EXPECT_TRUE(ReadBytes(dest, sectors * kSector, kSector) == source.m_bytes.substr(0, kSector))
            << "the backup's place of the announced size holds another boot sector";
    }
}

std::string CapacityNote(const std::string& sourceDrive, const std::string& dest)
{
    return "The copy keeps the capacity of the " + sourceDrive +
           " partition until it is resized.  To resize it, run: ntfsresize " + dest;
}

}  // namespace testsupport
