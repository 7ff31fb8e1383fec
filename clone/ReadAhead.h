// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/usedspace/ByteRanges.h"
#include "platform/volume/RawVolume.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

// Reads a volume one block ahead of its user, on a thread of its own: while the user
// writes block n, block n+1 is read into the other buffer. The blocks follow a plan, the
// byte ranges of the volume to read in ascending order (the whole volume, or the parts of
// it a copy needs), in its order; a block gathers pieces of as many ranges as fill its
// buffer, or, without gathering, ends where its range ends. After a failed read, and
// after the block that finds the end, nothing more is read until the next call of Next:
// meanwhile the volume is the user's to read and move. Where no thread can be started,
// each block is read when it is asked for.
class CReadAhead {
public:
    struct CBlock {
        bool ok = false;  // false: the read of the bytes at failed gave error (an errno)
        int error = 0;
        // What was read: the pieces one after the other. Empty at the end, which is where
        // the plan is through or the volume ends (a read returns fewer bytes than asked).
        std::span<std::byte> bytes;
        std::vector<usedspace::CByteRange> pieces;  // where the bytes lie on the volume
        usedspace::CByteRange failed;               // the read that failed
        std::uint64_t rangeEnd = 0;                 // the end of the range failed lies in
    };

    // The plan of a whole volume: everything up to its end.
    static std::vector<usedspace::CByteRange> WholeVolume();

    // Starts reading the first block into first at once; both buffers are the same size
    // and a multiple of the sector size, and so are the plan's ranges.
    CReadAhead(platform::IVolume& volume, std::span<std::byte> first, std::span<std::byte> second,
               std::vector<usedspace::CByteRange> plan, bool gather);
    // Waits for the read in progress, if any.
    ~CReadAhead();
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    // The next block of the plan. The bytes of the block returned before are given back
    // to be read into, so they must not be used any more.
    CBlock Next();
    // After a failed block: the user has read the volume itself up to offset (at or past
    // the start of the failed read), and the next block begins there.
    void ResumeAt(std::uint64_t offset);

private:
    struct CRead {
        std::size_t buffer;
        CBlock block;
    };

    CBlock ReadInto(std::size_t buffer);
    // Moves the cursor into the next range once it reaches the end of its own; false when
    // the plan is through.
    bool InRange();
    void ReadAheadLoop();

    platform::IVolume& m_volume;
    std::array<std::span<std::byte>, 2> m_buffers;
    const std::vector<usedspace::CByteRange> m_plan;
    const bool m_gather;
    // Where the next read begins, and its range; changed only by the read in progress, or
    // by the user while nothing is read.
    std::size_t m_range = 0;
    std::uint64_t m_cursor = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::size_t> m_free;  // buffers nobody reads into or uses
    std::deque<CRead> m_done;        // read blocks not yet taken, in order
    std::ptrdiff_t m_taken = -1;     // the buffer of the block last returned, or -1
    bool m_waiting = false;          // after a failed read or the end: nothing is read
    bool m_stopping = false;
    std::thread m_reader;
};
