// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/PartitionTable.h"

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

}  // namespace

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
