// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/TerminationSignals.h"

#include <pthread.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

}  // namespace

CTerminationSignals::CTerminationSignals()
{
    sigemptyset(&m_held);
    for (int signal : kTerminationSignals)
        sigaddset(&m_held, signal);
    pthread_sigmask(SIG_BLOCK, &m_held, &m_previous);
}

CTerminationSignals::~CTerminationSignals()
{
    LetThrough();
}

void CTerminationSignals::LetThrough()
{
    if (!m_holding)
        return;
    m_holding = false;
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

int CTerminationSignals::Pending() const
{
    sigset_t pending;
    if (sigpending(&pending) != 0)
        return 0;
    for (int signal : kTerminationSignals)
        if (sigismember(&pending, signal) == 1)
            return signal;
    return 0;
}

void EndWithSignal(int signal)
{
    std::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(signal);
    _exit(128 + signal);  // a signal whose default is not to end the process
}

}  // namespace platform
