// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/RawVolume.h"

#include <sys/mman.h>

namespace platform {

namespace {

// A mapping wants at least one byte to hand out a usable address.
std::size_t MappedSize(std::size_t size)
{
    return size > 0 ? size : 1;
}

}  // namespace

// Anonymous memory is page-aligned and comes zero-filled page by page as it is first
// touched: a 20 MiB block costs nothing until it is read into, where filling it at once
// took a small clone longer than its copy.
CVolumeBuffer::CVolumeBuffer(std::size_t size) : m_data(nullptr), m_size(0)
{
    void* memory = mmap(nullptr, MappedSize(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return;
    m_data = static_cast<std::byte*>(memory);
    m_size = size;
}

CVolumeBuffer::~CVolumeBuffer()
{
    if (m_data != nullptr)
        munmap(m_data, MappedSize(m_size));
}

}  // namespace platform
