#include "platform/files/TextFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <sstream>

namespace platform {

namespace {

// Owns one file descriptor.
class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    // Closes now; false when the close reported an error.
    bool Close()
    {
        int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

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
    CFd file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (file.Get() < 0)
        return false;
    file.Close();
    return ::unlink(path.c_str()) == 0;
}

bool AppendToFile(const std::string& path, const std::string& text)
{
    CFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (file.Get() < 0)
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

bool FileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string CurrentDirectory()
{
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr)
        return ".";
    return buffer;
}

}  // namespace platform
