#pragma once

#include <unistd.h>

namespace platform {

// Owns one file descriptor and closes it when it goes. Move-only.
class CFileHandle {
public:
    CFileHandle() = default;
    explicit CFileHandle(int fd) : m_fd(fd) {}
    ~CFileHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFileHandle(CFileHandle&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    CFileHandle& operator=(CFileHandle&& other) noexcept
    {
        if (this != &other) {
            CFileHandle gone(m_fd);
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};

}  // namespace platform
