// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/RealMachineView.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace testsupport {

namespace {

constexpr int kNoView = 255;

// Makes the view in the calling child; false when any step fails. Nothing is mounted
// before the namespace is private, so no mount can reach the machine's own.
bool MakeView()
{
    if (::unshare(CLONE_NEWNS) != 0)
        return false;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    for (const char* folder : {"/run", "/var/lib"}) {
        if (::mount("tmpfs", folder, "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0)
            return false;
    }
    ::unsetenv("VANTREL_SYSTEM_ROOT");
    return true;
}

}  // namespace

int RunInRealMachineView(const std::function<int()>& check)
{
    if (::geteuid() != 0)
        return -1;
    pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (!MakeView())
            ::_exit(kNoView);
        int result = check();
        ::_exit(result < 0 || result >= kNoView ? kNoView - 1 : result);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == kNoView)
        return -1;
    return WEXITSTATUS(status);
}

}  // namespace testsupport
