// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/KernelMount.h"

#include "tests/support/ToolRun.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace testsupport {

namespace {

// Moves this process into a mount namespace of its own, once.
bool PrivateMounts(std::string& error)
{
    static const std::string failure = [] {
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("no mount namespace of its own: ") + std::strerror(errno);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("mounts cannot be made private: ") + std::strerror(errno);
        return std::string();
    }();
    error = failure;
    return failure.empty();
}

}  // namespace

CKernelMount::CKernelMount(const std::string& device, const std::string& mountPoint, const std::string& type,
                           bool readOnly, const std::string& options)
    : m_mountPoint(mountPoint)
{
    if (::geteuid() != 0) {
        m_error = "mounting needs root";
        return;
    }
    if (!PrivateMounts(m_error))
        return;
    if (::access(mountPoint.c_str(), F_OK) != 0 && ::mkdir(mountPoint.c_str(), 0755) != 0) {
        m_error = mountPoint + ": " + std::strerror(errno);
        return;
    }
    if (::mount(device.c_str(), mountPoint.c_str(), type.c_str(), readOnly ? MS_RDONLY : 0,
                options.empty() ? nullptr : options.c_str()) != 0) {
        m_error = "cannot mount " + device + " (" + type + "): " + std::strerror(errno);
        return;
    }
    m_mounted = true;
}

CKernelMount::~CKernelMount()
{
    if (m_mounted && ::umount2(m_mountPoint.c_str(), 0) != 0)
        ::umount2(m_mountPoint.c_str(), MNT_DETACH);
}

bool MakeExt4(const CTempMachine& machine, const std::string& path)
{
    return RunTool(machine, "mkfs.ext4", {"-q", "-F", "-E", "lazy_itable_init=0,lazy_journal_init=0", path})
               .exitCode == 0;
}

}  // namespace testsupport
