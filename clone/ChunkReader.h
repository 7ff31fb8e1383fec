// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/volume/RawVolume.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

// A part of a volume: its bytes [offset, offset + length).
struct CVolumeChunk {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};

// Reads chunks of a volume in the order given, ahead of its user, on a thread of its own:
// while the user looks at one chunk, the next are read into the other buffers. A chunk
// whose read fails is read again a sector at a time, so that the failure names its first
// sector that cannot be read; after a failure nothing more is read. Where no thread can be
// started, each chunk is read when it is asked for.
class CChunkReader {
public:
    struct CBlock {
        bool ok = false;
        int error = 0;                   // errno; ENODATA when the volume ended first
        std::uint64_t failedSector = 0;  // the first sector that could not be read
        std::span<const std::byte> bytes;
    };

    // chunks and the buffers outlive the reader; each buffer holds the longest chunk. The
    // volume is the reader's alone until it goes.
    CChunkReader(platform::IVolume& volume, std::span<const CVolumeChunk> chunks,
                 std::vector<std::span<std::byte>> buffers);
    // Waits for the read in progress, if any.
    ~CChunkReader();
    CChunkReader(const CChunkReader&) = delete;
    CChunkReader& operator=(const CChunkReader&) = delete;

    // The next chunk, in order; its bytes stay valid until the next call. After a failed
    // chunk, that failure again; past the last chunk, an empty block that is ok.
    CBlock Next();

private:
    struct CRead {
        std::size_t buffer;
        CBlock block;
    };

    CBlock ReadChunk(std::size_t chunk, std::size_t buffer);
    void ReadAheadLoop();

    platform::IVolume& m_volume;
    std::span<const CVolumeChunk> m_chunks;
    std::vector<std::span<std::byte>> m_buffers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::size_t> m_free;  // buffers nobody reads into or uses
    std::deque<CRead> m_done;        // chunks read and not yet taken, in order
    std::size_t m_nextRead = 0;      // the next chunk to read
    std::size_t m_given = 0;         // the chunks handed to the user
    std::ptrdiff_t m_taken = -1;     // the buffer of the block last returned, or -1
    std::optional<CBlock> m_failure;  // the failed read, after which nothing is read
    bool m_stopping = false;
    std::thread m_reader;
};
