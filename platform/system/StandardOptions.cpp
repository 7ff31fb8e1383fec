// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/StandardOptions.h"

#include <iostream>

namespace platform {

bool AnsweredStandardOption(int argc, char** argv, std::string_view program, std::string_view usage)
{
    if (argc != 2)
        return false;
    std::string_view argument = argv[1];
    if (argument == "--help")
        std::cout << usage;
    else if (argument == "--version")
        std::cout << program << " (Vantrel) " << VANTREL_VERSION << '\n';
    else
        return false;
    std::cout.flush();
    return true;
}

}  // namespace platform
