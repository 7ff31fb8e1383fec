// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/RawVolume.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace platform {

namespace {

std::size_t PageSize()
{
    long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<std::size_t>(page) : 4096;
}

}  // namespace

CVolumeBuffer::CVolumeBuffer(std::size_t size) : m_data(nullptr), m_size(0)
{
    void* memory = nullptr;
    // posix_memalign wants a size of at least one byte to hand out a usable pointer.
    if (posix_memalign(&memory, PageSize(), size > 0 ? size : 1) != 0)
        return;
    std::memset(memory, 0, size);
    m_data = static_cast<std::byte*>(memory);
    m_size = size;
}

CVolumeBuffer::~CVolumeBuffer()
{
    std::free(m_data);
}

}  // namespace platform
