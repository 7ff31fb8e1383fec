#include "platform/ui/ConsoleMessageBox.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>

namespace platform {

int CConsoleMessageBox::Show(const std::string& text, MbButtons buttons)
{
    bool interactive = ::isatty(STDIN_FILENO) != 0;
    std::cerr << "\n" << text << "\n";
    if (buttons == MbButtons::Ok) {
        if (interactive) {
            std::cerr << "[OK: press Enter] " << std::flush;
            std::string ignored;
            std::getline(std::cin, ignored);
        }
        std::cerr << std::flush;
        return IDOK;
    }
    if (!interactive) {
        std::cerr << "[Yes/No/Cancel: no terminal, answered Cancel]\n" << std::flush;
        return IDCANCEL;
    }
    for (;;) {
        std::cerr << "[y = Yes, n = No, c = Cancel] " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer))
            return IDCANCEL;
        char first = answer.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(answer[0])));
        if (first == 'y')
            return IDYES;
        if (first == 'n')
            return IDNO;
        if (first == 'c')
            return IDCANCEL;
    }
}

}  // namespace platform
