#include "platform/drives/PartitionTable.h"

#include <blkid/blkid.h>
#include <memory>

namespace platform {

namespace {

struct ProbeRelease {
    void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};

}  // namespace

bool HasPartitionTable(const std::string& path)
{
    std::unique_ptr<blkid_struct_probe, ProbeRelease> probe(blkid_new_probe_from_filename(path.c_str()));
    if (!probe)
        return false;
    blkid_probe_enable_superblocks(probe.get(), 0);
    blkid_probe_enable_partitions(probe.get(), 1);
    if (blkid_do_safeprobe(probe.get()) != 0)
        return false;
    return blkid_probe_lookup_value(probe.get(), "PTTYPE", nullptr, nullptr) == 0;
}

}  // namespace platform
