// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace testsupport {

// Runs check in a forked child as a user without write permission on storeFile and
// returns its result (-1 when that cannot be arranged). As root the child drops to
// nobody, since root writes through any permission bits; otherwise the file is made
// read-only for the child's run.
inline int RunWithoutWritePermission(const std::string& machineRoot, const std::string& storeFile,
                                     const std::function<int()>& check)
{
    bool root = geteuid() == 0;
    if (root) {
        // nobody must reach and read the store, but not write it.
        if (chmod(machineRoot.c_str(), 0755) != 0 || chmod(storeFile.c_str(), 0644) != 0)
            return -1;
    } else if (chmod(storeFile.c_str(), 0444) != 0) {
        return -1;
    }
    pid_t child = fork();
    if (child == 0) {
        if (root && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(255);
        _exit(check());
    }
    int status = 0;
    bool waited = child > 0 && waitpid(child, &status, 0) == child;
    if (!root)
        chmod(storeFile.c_str(), 0644);
    if (!waited || !WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

}  // namespace testsupport
