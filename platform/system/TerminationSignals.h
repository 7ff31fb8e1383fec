// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>

namespace platform {

// Holds back SIGTERM, SIGINT and SIGHUP (for the calling thread and the threads it starts
// meanwhile): a program that must not stop in the middle of a transfer asks for them
// between transfers instead. Ctrl-Alt-Del at boot sends SIGTERM. Letting them through
// again (at the latest when the object goes) gives a signal that arrived meanwhile its
// default action, which ends the process with it.
class CTerminationSignals {
public:
    CTerminationSignals();
    ~CTerminationSignals();
    CTerminationSignals(const CTerminationSignals&) = delete;
    CTerminationSignals& operator=(const CTerminationSignals&) = delete;

    // The number of a signal that arrived and waits, or 0.
    int Pending() const;
    // Stops holding the signals back; nothing happens the second time.
    void LetThrough();

private:
    sigset_t m_held;
    sigset_t m_previous;
    bool m_holding = true;
};

// Ends the process as signal ends it by default, so that whoever waits for it sees
// which signal stopped it.
[[noreturn]] void EndWithSignal(int signal);

}  // namespace platform
