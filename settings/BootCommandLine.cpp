// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/BootCommandLine.h"

#include "platform/shell/Shell.h"

namespace {

// Where the install folder stands among the arguments, the program being the first.
constexpr std::size_t kFolderArgument = 6;
// The verify digit written before the used-space digit: no verification.
constexpr const char* kNoVerification = "0";

// folder inside quotation marks, its trailing backslashes doubled so that the closing
// quote stays a quote.
std::string QuotedFolder(const std::string& folder)
{
    std::size_t kept = folder.find_last_not_of('\\') + 1;  // npos + 1 == 0
    std::string quoted = "\"" + folder;
    quoted.append(folder.size() - kept, '\\');
    return quoted + "\"";
}

}  // namespace

std::vector<std::string> BootCloneArguments(const std::string& installFolder, const std::string& sourceDrive,
                                            const std::string& destDrive, const std::string& sourceFileSystem,
                                            const std::string& sizeFieldList, int fastMode, int usedSpaceOnly)
{
    std::vector<std::string> arguments{installFolder + "Keldrun.exe", sourceDrive, destDrive, sourceFileSystem,
                                       sizeFieldList, std::to_string(fastMode), installFolder};
    // Written only when on, so that the line with the option off is the six-argument one.
    if (usedSpaceOnly != 0)
        arguments.insert(arguments.end(), {kNoVerification, "1"});
    return arguments;
}

std::string JoinBootCommandLine(const std::vector<std::string>& arguments)
{
    std::string line = "\"" + arguments.front() + "\"";
    for (std::size_t i = 1; i < arguments.size(); ++i)
        line += " " + (i == kFolderArgument ? QuotedFolder(arguments[i]) : arguments[i]);
    return line;
}

BootLineCheck CheckBootCommandLine(const std::string& line, const std::vector<std::string>& arguments)
{
    if (line.size() + 1 > kMaxBootCommandLine)
        return BootLineCheck::TooLong;
    if (platform::SplitCommandLine(line) != arguments)
        return BootLineCheck::Ambiguous;
    return BootLineCheck::Ok;
}
