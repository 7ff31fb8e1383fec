// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

// An image served through the FUSE file system with bad sectors (BadSectorFs.cpp) as
// mountPoint/disk.img, mounted for the life of the object when the machine allows it:
// sectors lists its unreadable sectors ("10"), its unwritable ones ("w32") and those that
// drop what is written to them without a word ("d32"); options are
// the file system's own ("--slow-ms=20").
class CBadSectorMount {
public:
    CBadSectorMount(const std::string& mountPoint, const std::string& backing, const std::vector<std::string>& sectors,
                    const std::vector<std::string>& options = {});
    ~CBadSectorMount();
    CBadSectorMount(const CBadSectorMount&) = delete;
    CBadSectorMount& operator=(const CBadSectorMount&) = delete;

    // False where FUSE (or the file system's program) is missing: the test should skip.
    bool Mounted() const;
    std::string Image() const { return m_mountPoint + "/disk.img"; }
    // One of the counts of what the disk went through ("most reads of a sector"); -1 when
    // it cannot be read.
    int Count(const std::string& what) const;

private:
    std::string m_mountPoint;
    pid_t m_pid = 0;
};

}  // namespace testsupport
