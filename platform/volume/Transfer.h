// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// Whole transfers at an offset, whatever the kernel hands back in one call.
namespace platform {

// Reads up to size bytes at offset, looping over EINTR. done is the bytes really read,
// fewer than size only where the file ends. Returns 0 or the errno; EIO for a read that
// came back short before the end, where the kernel reads no further because the rest of
// the transfer failed (a file system in user space, a split transfer, the page cache):
// the part that failed is never asked for twice.
int ReadFully(int fd, std::byte* data, std::size_t size, std::uint64_t offset, std::size_t& done);

// Writes all size bytes at offset, looping over partial writes and EINTR. Returns 0 or
// the errno; on an error some of the bytes may have been written.
int WriteFully(int fd, const std::byte* data, std::size_t size, std::uint64_t offset);

// Turns direct I/O (no page cache) on or off for fd. False with errno set when refused.
bool SetDirectIo(int fd, bool on);

}  // namespace platform
