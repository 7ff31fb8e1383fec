// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/BootCommandLine.h"

#include "platform/shell/Shell.h"

namespace {

// The install folder's place among the arguments, the program first.
constexpr std::size_t kFolderArgument = 6;

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

std::vector<std::string> OptionDigits(std::initializer_list<bool> flags)
{
    std::vector<std::string> digits;
    std::size_t written = 0;
    for (bool flag : flags) {
        digits.push_back(flag ? "1" : "0");
        if (flag)
            written = digits.size();
    }
    digits.resize(written);
    return digits;
}

std::vector<std::string> BootCloneArguments(const std::string& installFolder, const std::string& sourceDrive,
                                            const std::string& destDrive, const std::string& sourceFileSystem,
                                            const std::string& sizeFieldList, int fastMode,
                                            const CBootCloneOptions& options)
{
    std::vector<std::string> arguments{installFolder + kKeldrunProgram, sourceDrive, destDrive, sourceFileSystem,
                                       sizeFieldList, std::to_string(fastMode), installFolder};
    for (std::string& digit : OptionDigits({options.verifyCopy, options.usedSpaceOnly}))
        arguments.push_back(std::move(digit));
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
