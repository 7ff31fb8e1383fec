// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/TwinVolumes.h"

#include "clone/CloneTexts.h"
#include "platform/files/TextFiles.h"
#include "platform/shell/ProgramPath.h"
#include "platform/system/SystemRoot.h"
#include "platform/volume/SharedVolume.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>

namespace {

// How the copy of each file system gets a serial of its own: the programs tried in order,
// and the package that brings the first, for a machine that has none of them.
struct CRenewalTool {
    const char* fileSystem;  // as libblkid names it
    const char* program;
    const char* package;
};
// Far more than any fstab holds; what lies beyond is not looked at.
constexpr std::size_t kFstabBytesRead = 1024 * 1024;

constexpr CRenewalTool kTools[] = {
    {"ntfs", "ntfslabel", "ntfs-3g"},
    {"vfat", "mlabel", "mtools"},
    {"vfat", "fatlabel", "dosfstools"},
};

// The arguments of program that give the file system on volume a serial of its own.
std::vector<std::string> Arguments(const std::string& program, const std::string& volume)
{
    if (program == "ntfslabel")
        return {program, "--new-serial", volume};
    if (program == "fatlabel")
        return {program, "-i", "-r", volume};
    // mlabel wants the serial itself; -s keeps the label, which it would otherwise ask for.
    std::random_device random;
    char serial[9];
    std::snprintf(serial, sizeof serial, "%08X", static_cast<unsigned>(random()));
    return {program, "-i", volume, "-s", "-N", serial, "::"};
}

std::string Joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool IsOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

// The device field of an fstab line with its escapes (\040 for a blank) and quotes undone.
// A backslash not followed by three octal digits stands for itself, as in any hand-made
// fstab.
std::string Unescaped(const std::string& field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctalDigit(field[i + 1]) && IsOctalDigit(field[i + 2]) &&
            IsOctalDigit(field[i + 3])) {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else if (field[i] != '"') {
            text += field[i];
        }
    }
    return text;
}

// A label as the links under /dev/disk/by-label write it: blanks and other unsafe
// characters as \x20, letters beyond ASCII (UTF-8, as libblkid gives them) as they are.
std::string LinkName(const std::string& label)
{
    std::string name;
    for (unsigned char c : label) {
        if (std::isalnum(c) || c >= 0x80 || std::string("#+-.:=@_").find(static_cast<char>(c)) != std::string::npos) {
            name += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            name += escaped;
        }
    }
    return name;
}

// The first tool for type that is installed, or nothing.
const CRenewalTool* InstalledTool(const std::string& type)
{
    for (const CRenewalTool& tool : kTools)
        if (tool.fileSystem == type && platform::FindProgram(tool.program))
            return &tool;
    return nullptr;
}

// path as one word of a shell command: an image's name may hold blanks, or a ; that would
// end the command, and the user runs it as root.
std::string ShellWord(const std::string& path)
{
    const bool plain = !path.empty() && std::all_of(path.begin(), path.end(), [](unsigned char c) {
        return std::isalnum(c) || std::string("%+,-./:=@_").find(static_cast<char>(c)) != std::string::npos;
    });
    if (plain)
        return path;
    std::string word = "'";
    for (char c : path)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// The command that gives the copy on device a serial of its own, as the user would type it.
std::string ShownCommand(const std::string& program, const std::string& device)
{
    if (program == "mlabel")
        return "mlabel -i " + ShellWord(device) + " -s -N XXXXXXXX :: (any eight hexadecimal digits)";
    return Joined(Arguments(program, ShellWord(device)));
}

}  // namespace

std::string TwinsNoteText(const CCloneRequest& request, const platform::CFileSystemIds& ids,
                          const std::vector<std::string>& lines)
{
    std::string same = "the same file-system serial (UUID " + ids.uuid + ")";
    if (!ids.label.empty())
        same += " and label (" + ids.label + ")";
    std::string text = "The copy on the " + request.m_destDrive + " partition carries " + same + " as the " +
                       request.m_sourceDrive +
                       " partition: /dev/disk/by-uuid, /dev/disk/by-label and the lines of /etc/fstab that name them "
                       "may now find either one.  ";
    if (lines.empty())
        return text + "No line of /etc/fstab names them.";
    text += "/etc/fstab names them in:";
    for (const std::string& line : lines)
        text += " \"" + line + "\"";
    return text + ".";
}

std::optional<std::string> NewSerialHowText(const std::string& type, const std::string& device)
{
    const CRenewalTool* installed = InstalledTool(type);
    const CRenewalTool* tool = installed;
    for (const CRenewalTool& known : kTools)
        if (tool == nullptr && known.fileSystem == type)
            tool = &known;
    if (tool == nullptr)
        return std::nullopt;
    return std::string("To give the copy a serial of its own, ") +
           (installed != nullptr ? "" : "install " + std::string(tool->package) + " and ") +
           "run: " + ShownCommand(tool->program, device);
}

std::vector<std::string> FstabLinesNaming(const std::string& fstab, const std::string& uuid,
                                          const std::string& label)
{
    std::vector<std::string> found;
    std::istringstream lines(fstab);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string device;
        if (!(words >> device) || device[0] == '#')
            continue;
        const std::string name = Unescaped(device);
        bool names = false;
        if (!uuid.empty())
            names = Upper(name) == "UUID=" + Upper(uuid) || Upper(name) == Upper("/dev/disk/by-uuid/" + uuid);
        if (!label.empty())
            names = names || name == "LABEL=" + label || name == "/dev/disk/by-label/" + LinkName(label);
        if (!names)
            continue;
        std::string joined = device;
        for (std::string word; words >> word;)
            joined += " " + word;
        found.push_back(joined);
    }
    return found;
}

std::optional<CTwins> FindTwins(const CCloneRequest& request, const platform::IVolume& copy, bool bootCopied,
                                const std::string& device)
{
    if (!bootCopied)
        return std::nullopt;
    std::optional<platform::CFileSystemIds> ids = platform::ReadFileSystemIds(copy);
    if (!ids || ids->uuid.empty())
        return std::nullopt;
    CTwins twins{*ids, {}, {}};
    const std::string fstab =
        platform::ReadRegularFile(platform::MachineFile("etc/fstab", "/etc/fstab"), kFstabBytesRead).value_or("");
    twins.notes.push_back(TwinsNoteText(request, *ids, FstabLinesNaming(fstab, ids->uuid, ids->label)));
    if (std::optional<std::string> how = NewSerialHowText(ids->type, device))
        twins.notes.push_back(*how);
    if (const CRenewalTool* tool = InstalledTool(ids->type))
        twins.renewal = Arguments(tool->program, platform::VolumeArgument(0));
    return twins;
}

std::string RenewSerialQuestionText(const CCloneRequest& request)
{
    return "Do you want to give the copy on the " + request.m_destDrive +
           " partition a serial of its own now?  Each of the two is then found by its own serial; the " +
           request.m_sourceDrive + " partition is left as it is.";
}

std::string RenewSerial(const CCloneRequest& request, const CTwins& twins, platform::IVolume& copy)
{
    const platform::CProgramEnding ending = platform::RunToolOnVolumes(twins.renewal, {&copy});
    const std::string& program = twins.renewal.front();
    const std::string unchanged = "  It still carries the serial of the " + request.m_sourceDrive + " partition.";
    const std::string failed = "The copy on the " + request.m_destDrive + " partition could not be given a serial "
                               "of its own: " + program;
    if (ending.startError != 0 || ending.signal != 0 || ending.exitCode != 0)
        return failed + " " + ToolEndingText(ending) + "." + unchanged;
    // The tool wrote through a handle of its own; the new serial is told only once on the media.
    if (!copy.Flush())
        return "The new serial of the copy on the " + request.m_destDrive + " partition could not be made durable (" +
               std::strerror(copy.LastError()) + ").  The copy may still carry the serial of the " +
               request.m_sourceDrive + " partition.";
    std::optional<platform::CFileSystemIds> now = platform::ReadFileSystemIds(copy);
    if (!now || Upper(now->uuid) == Upper(twins.ids.uuid))
        return failed + " ended without changing it." + unchanged;
    return "The copy on the " + request.m_destDrive + " partition has the serial " + now->uuid + " now; the " +
           request.m_sourceDrive + " partition keeps " + twins.ids.uuid + ".";
}
