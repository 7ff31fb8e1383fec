// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/Shell.h"

namespace platform {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

void SkipBlanks(const std::string& line, std::size_t& pos)
{
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
}

// The program at pos: up to the next blank outside quotes, quotes removed, backslashes
// as they are (a program path may end in one).
std::string TakeProgram(const std::string& line, std::size_t& pos)
{
    std::string program;
    bool quoted = false;
    for (; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"')
            quoted = !quoted;
        else if (IsBlank(c) && !quoted)
            break;
        else
            program += c;
    }
    return program;
}

// The argument at pos, which is not a blank, by the argument rules.
std::string TakeArgument(const std::string& line, std::size_t& pos)
{
    std::string argument;
    bool quoted = false;
    while (pos < line.size()) {
        char c = line[pos];
        if (IsBlank(c) && !quoted)
            break;
        if (c == '\\') {
            std::size_t run = line.find_first_not_of('\\', pos);
            run = (run == std::string::npos ? line.size() : run) - pos;
            pos += run;
            if (pos < line.size() && line[pos] == '"') {
                argument.append(run / 2, '\\');
                if (run % 2 == 1) {
                    argument += '"';
                    ++pos;
                }
            } else {
                argument.append(run, '\\');
            }
        } else if (c == '"') {
            if (quoted && pos + 1 < line.size() && line[pos + 1] == '"') {
                argument += '"';
                pos += 2;
            } else {
                quoted = !quoted;
                ++pos;
            }
        } else {
            argument += c;
            ++pos;
        }
    }
    return argument;
}

void SplitFrom(const std::string& line, std::size_t pos, std::vector<std::string>& arguments)
{
    for (SkipBlanks(line, pos); pos < line.size(); SkipBlanks(line, pos))
        arguments.push_back(TakeArgument(line, pos));
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> arguments;
    std::size_t pos = 0;
    SkipBlanks(commandLine, pos);
    if (pos == commandLine.size())
        return arguments;
    arguments.push_back(TakeProgram(commandLine, pos));
    SplitFrom(commandLine, pos, arguments);
    return arguments;
}

std::vector<std::string> SplitArguments(const std::string& arguments)
{
    std::vector<std::string> split;
    SplitFrom(arguments, 0, split);
    return split;
}

std::string QuoteArgument(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    // Backslashes count only before a quote: double them there (and before the closing
    // quote), and escape the quote itself.
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        quoted += c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

}  // namespace platform
