// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/volume/RawVolume.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <span>
#include <thread>

// Reads a volume one block ahead of its user, on a thread of its own: while the user
// writes block n, block n+1 is read into the other buffer. Blocks come in the order of
// the volume. After a failed read, and after the read that finds the end, nothing more
// is read until the next call of Next: meanwhile the volume is the user's to read and
// move, and reading goes on from wherever the user left its position. Where no thread
// can be started, each block is read when it is asked for.
class CReadAhead {
public:
    struct CBlock {
        bool ok = false;             // false: the read failed with error (an errno)
        int error = 0;
        std::span<std::byte> bytes;  // what was read; fewer than a buffer only at the end
    };

    // Starts reading the first block into first at once; both buffers are the same size.
    CReadAhead(platform::IVolume& volume, std::span<std::byte> first, std::span<std::byte> second);
    // Waits for the read in progress, if any.
    ~CReadAhead();
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    // The next block of the volume. The bytes of the block returned before are given back
    // to be read into, so they must not be used any more.
    CBlock Next();

private:
    struct CRead {
        std::size_t buffer;
        CBlock block;
    };

    CBlock ReadInto(std::size_t buffer);
    void ReadAheadLoop();

    platform::IVolume& m_volume;
    std::array<std::span<std::byte>, 2> m_buffers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::size_t> m_free;  // buffers nobody reads into or uses
    std::deque<CRead> m_done;        // read blocks not yet taken, in order
    std::ptrdiff_t m_taken = -1;     // the buffer of the block last returned, or -1
    bool m_waiting = false;          // after a failed read or the end: nothing is read
    bool m_stopping = false;
    std::thread m_reader;
};
