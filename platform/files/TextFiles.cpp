// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/TextFiles.h"

#include "platform/files/FileDescriptor.h"
#include "platform/files/FolderEntry.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace platform {

namespace {

// Writes all of text; false on an error.
bool WriteAll(int fd, const std::string& text)
{
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool RemoveIfOpenable(const std::string& path)
{
    return CFolderEntry(path).RemoveIfOpenable();
}

bool AppendToFile(const std::string& path, const std::string& text)
{
    CFd file = CFolderEntry(path).OpenForAppend();
    if (!file.IsOpen())
        return false;
    bool written = WriteAll(file.Get(), text) && ::fdatasync(file.Get()) == 0;
    return file.Close() && written;
}

std::optional<std::string> ReadFirstLine(const std::string& path, std::size_t maxLength)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string line;
    std::getline(in, line);
    if (in.bad())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.size() > maxLength)
        line.resize(maxLength);
    return line;
}

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return content.str();
}

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t maxBytes)
{
    CFd file;
    do
        file = CFd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    while (!file.IsOpen() && errno == EINTR);
    struct stat info {};
    if (!file.IsOpen() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    std::string text(maxBytes, '\0');
    std::size_t done = 0;
    while (done < maxBytes) {
        const ssize_t n = ::read(file.Get(), text.data() + done, maxBytes - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    return text;
}

bool FileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace platform
