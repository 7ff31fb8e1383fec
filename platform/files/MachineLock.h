// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/files/FileDescriptor.h"

#include <chrono>
#include <string>

namespace platform {

// An exclusive advisory lock on a lock file of the machine's own state, held for the
// object's life and waited for at most a given time, so that a holder that hangs never
// hangs anyone else. On the real machine the lock is root's alone: its folder is root's
// and writable by nobody else, the file is 0600 and root's (one left 0644 by an older
// release is made so) and never reached through a link. flock needs no write permission,
// so anyone who could open the file could hold the lock.
class CMachineLock {
public:
    // what names what the lock guards, for the reason given when it is busy.
    CMachineLock(const std::string& path, std::chrono::milliseconds wait, const std::string& what);

    bool IsHeld() const { return m_lock.IsOpen(); }
    // Why the lock is not held although it could have been: another process keeps it, or
    // the file or its folder is not safe. Empty when it is held, and for a caller that may
    // not create or open the file, who cannot change what it guards either.
    const std::string& Error() const { return m_error; }

private:
    CFd m_lock;
    std::string m_error;
};

}  // namespace platform
