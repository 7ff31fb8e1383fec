// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <pthread.h>

namespace testsupport {

// While it lives, no new thread of this process can start: the default stack of a thread
// is made larger than any address space, so the system refuses every one, as it does when
// it runs out of threads or memory. For a short stretch of a test that starts one thread.
class CNoNewThreads {
public:
    CNoNewThreads();
    ~CNoNewThreads();
    CNoNewThreads(const CNoNewThreads&) = delete;
    CNoNewThreads& operator=(const CNoNewThreads&) = delete;

    // False when the default could not be changed: threads still start.
    bool Active() const { return m_active; }

private:
    pthread_attr_t m_saved;
    bool m_active = false;
};

}  // namespace testsupport
