// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/atoms/AtomWatch.h"

#include "platform/atoms/AtomTable.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace platform {

namespace {

constexpr off_t kCounterSize = sizeof(std::uint64_t);

std::string CounterFile(const std::string& tableFile)
{
    return tableFile + ".gen";
}

}  // namespace

void CountTableChange(const std::string& tableFile)
{
    int fd = ::open(CounterFile(tableFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return;
    std::uint64_t count = 0;
    if (::pread(fd, &count, sizeof count, 0) != kCounterSize)
        count = 0;
    ++count;
    // Readers see the page that this write changes: a shared mapping and the file are one.
    [[maybe_unused]] ssize_t written = ::pwrite(fd, &count, sizeof count, 0);
    ::close(fd);
}

CAtomWatch::CAtomWatch(std::string name) : m_name(std::move(name))
{
    std::string tableFile = AtomTableFile();
    ::mkdir(std::filesystem::path(tableFile).parent_path().c_str(), 0755);  // made by the first atom
    std::string counterFile = CounterFile(tableFile);
    int fd = ::open(counterFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        fd = ::open(counterFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size < kCounterSize)
        ::ftruncate(fd, kCounterSize);  // a new counter: zero
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= kCounterSize) {
        void* mapped = ::mmap(nullptr, kCounterSize, PROT_READ, MAP_SHARED, fd, 0);
        if (mapped != MAP_FAILED)
            m_changes = static_cast<const volatile std::uint64_t*>(mapped);
    }
    ::close(fd);
}

CAtomWatch::~CAtomWatch()
{
    if (m_changes != nullptr)
        ::munmap(const_cast<std::uint64_t*>(m_changes), kCounterSize);
}

bool CAtomWatch::Present()
{
    if (m_changes == nullptr)
        return FindAtom(m_name) != 0;
    std::uint64_t changes = *m_changes;
    auto now = std::chrono::steady_clock::now();
    if (!m_known || changes != m_seenChanges || now - m_lastRead >= kRecheck) {
        m_seenChanges = changes;
        m_lastRead = now;
        m_present = FindAtom(m_name) != 0;
        m_known = true;
    }
    return m_present;
}

}  // namespace platform
