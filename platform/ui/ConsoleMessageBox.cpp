// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/ConsoleMessageBox.h"

#include "platform/system/WaitBound.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <string>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// Reads standard input up to a line end or its end; false when the deadline passed first.
bool ReadLineBefore(Clock::time_point deadline)
{
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        int ready = ::poll(&input, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (ready < 0 && errno != EINTR)
            return true;
        if (ready <= 0)
            continue;
        char c = 0;
        ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || c == '\n')
            return true;
    }
}

}  // namespace

CConsoleMessageBox::CConsoleMessageBox(std::optional<std::chrono::milliseconds> okWithin) : m_okWithin(okWithin)
{
}

void CConsoleMessageBox::WaitForOk()
{
    if (!m_okWithin) {
        std::cerr << "[OK: press Enter] " << std::flush;
        std::string ignored;
        std::getline(std::cin, ignored);
        return;
    }
    std::cerr << "[OK: press Enter; going on by itself in " << WaitBoundText(*m_okWithin) << "] " << std::flush;
    if (!ReadLineBefore(Clock::now() + *m_okWithin))
        std::cerr << "\n[no answer: going on]\n";
}

int CConsoleMessageBox::Show(const std::string& text, MbButtons buttons)
{
    bool interactive = ::isatty(STDIN_FILENO) != 0;
    std::cerr << "\n" << text << "\n";
    if (buttons == MbButtons::Ok) {
        if (interactive)
            WaitForOk();
        std::cerr << std::flush;
        return IDOK;
    }
    const bool withCancel = buttons == MbButtons::YesNoCancel;
    // What closing the box would answer: Cancel, or No where there is no Cancel.
    const int closed = withCancel ? IDCANCEL : IDNO;
    if (!interactive) {
        std::cerr << (withCancel ? "[Yes/No/Cancel: no terminal, answered Cancel]\n"
                                 : "[Yes/No: no terminal, answered No]\n")
                  << std::flush;
        return closed;
    }
    for (;;) {
        std::cerr << (withCancel ? "[y = Yes, n = No, c = Cancel] " : "[y = Yes, n = No] ") << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer))
            return closed;
        char first = answer.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(answer[0])));
        if (first == 'y')
            return IDYES;
        if (first == 'n')
            return IDNO;
        if (first == 'c' && withCancel)
            return IDCANCEL;
    }
}

}  // namespace platform
