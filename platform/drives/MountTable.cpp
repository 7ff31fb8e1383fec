// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/MountTable.h"

#include <libmount/libmount.h>
#include <memory>
#include <sys/sysmacros.h>

namespace platform {

namespace {

struct TableRelease {
    void operator()(libmnt_table* table) const { mnt_unref_table(table); }
};
struct IterRelease {
    void operator()(libmnt_iter* iter) const { mnt_free_iter(iter); }
};

std::string Text(const char* text)
{
    return text != nullptr ? std::string(text) : std::string();
}

bool HasOption(const char* options, const char* name)
{
    return options != nullptr && mnt_optstr_get_option(options, name, nullptr, nullptr) == 0;
}

}  // namespace

std::vector<CMount> ReadMounts(const std::string& mountInfoPath)
{
    std::vector<CMount> mounts;
    std::unique_ptr<libmnt_table, TableRelease> table(mnt_new_table());
    if (!table || mnt_table_parse_file(table.get(), mountInfoPath.c_str()) != 0)
        return mounts;
    std::unique_ptr<libmnt_iter, IterRelease> iter(mnt_new_iter(MNT_ITER_FORWARD));
    if (!iter)
        return mounts;
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(table.get(), iter.get(), &fs) == 0) {
        CMount mount;
        dev_t devno = mnt_fs_get_devno(fs);
        mount.devno = std::to_string(major(devno)) + ":" + std::to_string(minor(devno));
        mount.source = Text(mnt_fs_get_source(fs));
        mount.target = Text(mnt_fs_get_target(fs));
        mount.network = mnt_fs_is_netfs(fs) != 0;
        mount.readOnly = HasOption(mnt_fs_get_vfs_options(fs), "ro") || HasOption(mnt_fs_get_fs_options(fs), "ro");
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

}  // namespace platform
