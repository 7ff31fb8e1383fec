// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/MbrDisk.h"

#include <algorithm>
#include <fstream>

namespace testsupport {

namespace {

constexpr std::uint32_t kSector = 512;

void PutEntry(std::string& sector, int slot, const CMbrEntry& entry)
{
    const std::size_t at = 446 + 16 * static_cast<std::size_t>(slot);
    sector[at + 4] = static_cast<char>(entry.type);
    for (std::size_t i = 0; i < 4; ++i) {
        sector[at + 8 + i] = static_cast<char>(entry.start >> (8 * i));
        sector[at + 12 + i] = static_cast<char>(entry.sectors >> (8 * i));
    }
}

std::string EmptyTable()
{
    std::string sector(kSector, '\0');
    sector[510] = '\x55';
    sector[511] = '\xaa';
    return sector;
}

}  // namespace

void WriteMbr(const std::string& path, const std::vector<CMbrEntry>& primary, const std::vector<CMbrEntry>& logical)
{
    std::fstream disk(path, std::ios::binary | std::ios::in | std::ios::out);
    std::string mbr = EmptyTable();
    for (std::size_t i = 0; i < primary.size(); ++i)
        PutEntry(mbr, static_cast<int>(i), primary[i]);
    disk.write(mbr.data(), kSector);

    auto extended = std::find_if(primary.begin(), primary.end(), [](const CMbrEntry& entry) { return entry.type == 5; });
    for (std::size_t i = 0; extended != primary.end() && i < logical.size(); ++i) {
        // Each record's link points at the next one, relative to the extended partition.
        const std::uint32_t record = i == 0 ? extended->start : logical[i].start - 1;
        std::string ebr = EmptyTable();
        PutEntry(ebr, 0, {logical[i].type, logical[i].start - record, logical[i].sectors});
        if (i + 1 < logical.size()) {
            const std::uint32_t next = logical[i + 1].start - 1;
            PutEntry(ebr, 1, {5, next - extended->start, logical[i + 1].start + logical[i + 1].sectors - next});
        }
        disk.seekp(static_cast<std::streamoff>(record) * kSector);
        disk.write(ebr.data(), kSector);
    }
    disk.flush();
}

std::unique_ptr<CLoopDevice> AttachMbrDisk(const std::string& image, std::string& why)
{
    std::ofstream(image, std::ios::binary | std::ios::trunc) << std::string(16 << 20, '\0');
    WriteMbr(image, {{0x83, 2048, 8192}, {5, 10240, 20480}}, {{0x83, 12288, 8192}});
    auto disk = std::make_unique<CLoopDevice>(image, CLoopOptions{512, 0, 0, std::nullopt, true});
    if (!disk->IsAttached()) {
        why = disk->Error();
        return nullptr;
    }
    // Where the kernel does not read DOS tables itself, as its scan would have made them.
    if (!disk->AddPartition(1, 2048, 8192) || !disk->AddPartition(2, 10240, 2) ||
        !disk->AddPartition(5, 12288, 8192)) {
        why = "partitions cannot be added to a loop device here";
        return nullptr;
    }
    return disk;
}

}  // namespace testsupport
