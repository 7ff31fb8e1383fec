// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/TempMachine.h"

#include <string>

namespace testsupport {

// A file system on a block device (or one without, such as tmpfs) mounted by the kernel
// with options for the life of the object. The test process first moves into a mount
// namespace of its own, so no other process of the machine sees the mount, and it goes
// with the process at the latest. Mounted() is false where that cannot be done here (not
// root, no namespaces, no such file system): the test should then skip, with Error() as
// the reason.
class CKernelMount {
public:
    CKernelMount(const std::string& device, const std::string& mountPoint, const std::string& type,
                 bool readOnly = false, const std::string& options = "");
    ~CKernelMount();
    CKernelMount(const CKernelMount&) = delete;
    CKernelMount& operator=(const CKernelMount&) = delete;

    bool Mounted() const { return m_mounted; }
    const std::string& Error() const { return m_error; }

private:
    std::string m_mountPoint;
    bool m_mounted = false;
    std::string m_error;
};

// An ext4 file system made on path (an image file), written out whole at once: no
// initialisation is left for the kernel to write once it is mounted.
bool MakeExt4(const CTempMachine& machine, const std::string& path);

}  // namespace testsupport
