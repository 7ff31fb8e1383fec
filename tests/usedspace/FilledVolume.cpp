// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/usedspace/FilledVolume.h"

#include "platform/volume/DeviceVolume.h"
#include "tests/support/ToolRun.h"

#include <sys/statvfs.h>
#include <sys/xattr.h>

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

// The named streams of the file at path (ntfs-3g shows them as "user." attributes).
std::vector<std::string> StreamNames(const std::string& path)
{
    std::string names(4096, '\0');
    ssize_t size = ::listxattr(path.c_str(), names.data(), names.size());
    std::vector<std::string> streams;
    for (std::size_t at = 0; size > 0 && at < static_cast<std::size_t>(size); at = names.find('\0', at) + 1) {
        std::string name = names.c_str() + at;
        if (name.starts_with("user."))
            streams.push_back(name.substr(5));
    }
    return streams;
}

// Files that NTFS keeps in ways of their own, where folder is an NTFS volume: compressed
// (their folder marked so), sparse, and with named streams, resident and not; streams
// are told as "file:stream".
void WriteNtfsKinds(const std::string& folder, unsigned seed, CFiles& files)
{
    constexpr unsigned char kCompressed[] = {0x00, 0x00, 0x08, 0x00};  // big-endian attribute bits
    std::filesystem::create_directories(folder + "/packed");
    if (::setxattr((folder + "/packed").c_str(), "system.ntfs_attrib_be", kCompressed, sizeof kCompressed, 0) != 0)
        return;
    for (unsigned i = 0; i < 3; ++i) {
        std::string name = "packed/text-" + std::to_string(i) + ".txt";
        std::string content;
        for (int line = 0; line < 8000; ++line)
            content += "line " + std::to_string(line) + " of a text that compresses well\n";
        content += RandomBytes(20000, seed + 300 + i);
        if (WriteFile(folder + "/" + name, content))
            files[name] = std::move(content);
    }
    std::string sparse(6 << 20, '\0');
    sparse.replace(0, 65536, RandomBytes(65536, seed + 310));
    sparse.replace(sparse.size() - 65536, 65536, RandomBytes(65536, seed + 311));
    {
        std::ofstream out(folder + "/sparse.bin", std::ios::binary);
        out.write(sparse.data(), 65536);
        out.seekp(static_cast<std::streamoff>(sparse.size() - 65536));
        out.write(sparse.data() + sparse.size() - 65536, 65536);
    }
    files["sparse.bin"] = std::move(sparse);
    files["streams.txt"] = "the unnamed stream";
    WriteFile(folder + "/streams.txt", files["streams.txt"]);
    // An attribute holds at most 64 KiB; beyond a few hundred bytes a stream is not resident.
    for (auto [stream, size] : {std::pair<const char*, std::size_t>{"small", 40}, {"large", 60000}}) {
        std::string content = RandomBytes(size, seed + 320 + static_cast<unsigned>(size));
        std::string attribute = std::string("user.") + stream;
        if (::setxattr((folder + "/streams.txt").c_str(), attribute.c_str(), content.data(), content.size(), 0) == 0)
            files["streams.txt:" + std::string(stream)] = std::move(content);
    }
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
    WriteNtfsKinds(folder, seed, files);
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
        if (!entry.is_regular_file())
            continue;
        const std::string name = std::filesystem::relative(entry.path(), folder).string();
        files[name] = ReadFile(entry.path().string());
        for (const std::string& stream : StreamNames(entry.path().string())) {
            std::string content(64 << 10, '\0');
            ssize_t size = ::getxattr(entry.path().c_str(), ("user." + stream).c_str(), content.data(), content.size());
            content.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
            files[name + ":" + stream] = std::move(content);
        }
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

std::string Little(std::uint64_t value, std::size_t width)
{
    std::string bytes;
    for (std::size_t i = 0; i < width; ++i, value >>= 8)
        bytes += static_cast<char>(value & 0xFF);
    return bytes;
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
