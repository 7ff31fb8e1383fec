// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/usedspace/FilledVolume.h"

#include "platform/volume/DeviceVolume.h"
#include "tests/support/ToolRun.h"

#include <sys/statvfs.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace testsupport {

namespace {

// The bytes of folder's file system that are used, and all of them.
std::pair<std::uint64_t, std::uint64_t> UsedAndTotal(const std::string& folder)
{
    struct statvfs stats {};
    if (::statvfs(folder.c_str(), &stats) != 0)
        return {0, 0};
    return {std::uint64_t{stats.f_blocks - stats.f_bfree} * stats.f_frsize, std::uint64_t{stats.f_blocks} * stats.f_frsize};
}

bool WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::string RandomBytes(std::size_t count, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; i += 8) {
        std::uint64_t word = random();
        for (std::size_t j = 0; j < 8 && i + j < count; ++j)
            bytes[i + j] = static_cast<char>(word >> (8 * j));
    }
    return bytes;
}

CFiles FillFolder(const std::string& folder, double fill, unsigned seed)
{
    CFiles files;
    std::filesystem::create_directories(folder + "/docs");
    // Small files, in the root folder and a subfolder, every other one deleted.
    for (int i = 0; i < 24; ++i) {
        std::string name = (i % 3 == 0 ? "docs/small-" : "small-") + std::to_string(i) + ".bin";
        std::string content = RandomBytes(48 << 10, seed + i);
        if (!WriteFile(folder + "/" + name, content))
            return files;
        if (i % 2 == 1)
            std::filesystem::remove(folder + "/" + name);
        else
            files[name] = std::move(content);
    }
    // A file written when the only free space is holes between other files is spread
    // over them: fill the volume, delete files picked at random (the driver scatters them
    // over the volume), write it, delete the rest.
    const std::string fence = RandomBytes(64 << 10, seed + 200);
    int fences = 0;
    for (; UsedAndTotal(folder).second - UsedAndTotal(folder).first > 2 * fence.size(); ++fences)
        WriteFile(folder + "/fence-" + std::to_string(fences) + ".bin", fence);
    std::mt19937 pick(seed);
    std::vector<bool> kept(static_cast<std::size_t>(fences));
    for (int i = 0; i < fences; ++i) {
        kept[i] = pick() % 2 == 0;
        if (!kept[i])
            std::filesystem::remove(folder + "/fence-" + std::to_string(i) + ".bin");
    }
    files["fragmented.bin"] = RandomBytes(1 << 20, seed + 100);
    WriteFile(folder + "/fragmented.bin", files["fragmented.bin"]);
    for (int i = 0; i < fences; ++i) {
        if (kept[i])
            std::filesystem::remove(folder + "/fence-" + std::to_string(i) + ".bin");
    }
    const std::uint64_t chunk = 4 << 20;
    for (unsigned n = 0;; ++n) {
        auto [used, total] = UsedAndTotal(folder);
        auto target = static_cast<std::uint64_t>(fill * static_cast<double>(total));
        if (used >= target)
            break;
        std::string name = "fill-" + std::to_string(n) + ".bin";
        std::string content = RandomBytes(static_cast<std::size_t>(std::min(chunk, std::max<std::uint64_t>(target - used, 4096))),
                                          seed + 1000 + n);
        if (!WriteFile(folder + "/" + name, content))
            break;
        files[name] = std::move(content);
    }
    return files;
}

CFiles ReadFolder(const std::string& folder)
{
    CFiles files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), folder).string()] = ReadFile(entry.path().string());
    }
    return files;
}

void WriteBelow(const std::string& folder, const std::string& name, const std::string& content)
{
    std::filesystem::create_directories(std::filesystem::path(folder + "/" + name).parent_path());
    WriteFile(folder + "/" + name, content);
}

bool PutIntoFat(const CTempMachine& machine, const std::string& image, const std::string& folder)
{
    std::vector<std::string> args{"-s", "-i", image};
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        args.push_back(entry.path().string());
    args.push_back("::");
    return RunTool(machine, "mcopy", args).exitCode == 0;
}

usedspace::CUsedSpace MapImage(const std::string& path, const std::string& fileSystem, std::uint64_t joinGap)
{
    std::unique_ptr<platform::IVolume> volume = platform::OpenVolumeFile(path, platform::VolumeAccess::Read);
    if (!volume)
        return {std::nullopt, "cannot open " + path};
    return usedspace::MapUsedSpace(*volume, fileSystem, joinGap);
}

void PatchFile(const std::string& path, std::uint64_t offset, const std::string& bytes)
{
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool CopyRanges(const std::string& source, const std::string& dest, const usedspace::CByteRanges& ranges)
{
    std::ifstream in(source, std::ios::binary);
    std::fstream out(dest, std::ios::binary | std::ios::in | std::ios::out);
    std::string buffer;
    for (const usedspace::CByteRange& range : ranges.Ranges()) {
        buffer.resize(range.m_length);
        in.seekg(static_cast<std::streamoff>(range.m_offset));
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        out.seekp(static_cast<std::streamoff>(range.m_offset));
        out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    }
    out.close();
    return in && out;
}

}  // namespace testsupport
