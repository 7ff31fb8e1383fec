// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/PartitionTable.h"

#include <algorithm>
#include <blkid/blkid.h>
#include <memory>

namespace platform {

namespace {

struct ProbeRelease {
    void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};

using CProbe = std::unique_ptr<blkid_struct_probe, ProbeRelease>;

// A probe of the partition table alone at path; empty when nothing was found.
CProbe ProbePartitionTable(const std::string& path)
{
    CProbe probe(blkid_new_probe_from_filename(path.c_str()));
    if (!probe)
        return probe;
    blkid_probe_enable_superblocks(probe.get(), 0);
    blkid_probe_enable_partitions(probe.get(), 1);
    if (blkid_do_safeprobe(probe.get()) != 0)
        probe.reset();
    return probe;
}

// The largest container the kernel makes of an extended partition: one logical sector of
// a disk with 4096-byte sectors.
constexpr std::uint64_t kLargestContainer = 4096;

}  // namespace

std::optional<CPartitionTable> ReadPartitionTable(const std::string& path)
{
    CProbe probe(blkid_new_probe_from_filename(path.c_str()));
    if (!probe)
        return std::nullopt;
    blkid_partlist list = blkid_probe_get_partitions(probe.get());
    blkid_parttable table = list != nullptr ? blkid_partlist_get_table(list) : nullptr;
    if (table == nullptr) {
        // A protective MBR whose GPT headers are both lost lists no partition, but the
        // disk holds the partitions all the same.
        const char* type = nullptr;
        CProbe found = ProbePartitionTable(path);
        if (!found || blkid_probe_lookup_value(found.get(), "PTTYPE", &type, nullptr) != 0 || type == nullptr)
            return std::nullopt;
        return CPartitionTable{type, {}, {}};
    }
    CPartitionTable result;
    if (const char* type = blkid_parttable_get_type(table))
        result.type = type;
    int count = blkid_partlist_numof_partitions(list);
    for (int i = 0; i < count; ++i) {
        blkid_partition partition = blkid_partlist_get_partition(list, i);
        int number = partition != nullptr ? blkid_partition_get_partno(partition) : -1;
        if (number <= 0)
            continue;
        result.numbers.push_back(static_cast<unsigned>(number));
        if (blkid_partition_is_extended(partition))
            result.extended.push_back(static_cast<unsigned>(number));
    }
    return result;
}

bool IsExtendedContainer(const std::string& diskPath, unsigned number, std::uint64_t size)
{
    std::optional<CPartitionTable> table = ReadPartitionTable(diskPath);
    if (!table)
        return size <= kLargestContainer;
    return std::find(table->extended.begin(), table->extended.end(), number) != table->extended.end();
}

bool HasPartitionTable(const std::string& path)
{
    CProbe probe = ProbePartitionTable(path);
    return probe && blkid_probe_lookup_value(probe.get(), "PTTYPE", nullptr, nullptr) == 0;
}

std::optional<std::string> FileSystemLabel(const std::string& path)
{
    CProbe probe(blkid_new_probe_from_filename(path.c_str()));
    if (!probe)
        return std::nullopt;
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL);
    const char* label = nullptr;
    if (blkid_do_safeprobe(probe.get()) != 0 || blkid_probe_lookup_value(probe.get(), "LABEL", &label, nullptr) != 0 ||
        label == nullptr || *label == '\0')
        return std::nullopt;
    return std::string(label);
}

std::optional<std::string> PartitionTableId(const std::string& path)
{
    CProbe probe = ProbePartitionTable(path);
    const char* id = nullptr;
    if (!probe || blkid_probe_lookup_value(probe.get(), "PTUUID", &id, nullptr) != 0 || id == nullptr || *id == '\0')
        return std::nullopt;
    return std::string(id);
}

}  // namespace platform
