// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/VerifyCopy.h"

#include "clone/ChunkReader.h"
#include "platform/volume/SectorSize.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <span>

namespace {

using platform::kSectorSize;

// Reads as large as fast mode's let a disk stream; with two buffers a side each reader
// reads the next block while the one before is compared, so that source and destination
// are read at once, each at its own pace (bench/loop-devices.sh found more buffers or
// smaller blocks no faster).
constexpr std::uint32_t kChunkBytes = 20 << 20;
constexpr std::size_t kBuffersPerSide = 2;

// The copied ranges without the skipped sectors, cut into chunks.
std::vector<CVolumeChunk> Chunks(const CVerifyPlan& plan)
{
    std::vector<CVolumeChunk> chunks;
    const std::vector<usedspace::CByteRange>& skipped = plan.skipped.Ranges();
    auto hole = skipped.begin();
    for (const usedspace::CByteRange& range : plan.copied.Ranges()) {
        std::uint64_t at = range.m_offset;
        while (at < range.End()) {
            while (hole != skipped.end() && hole->End() <= at)
                ++hole;
            if (hole != skipped.end() && hole->m_offset <= at) {
                at = std::min(range.End(), hole->End());
                continue;
            }
            const std::uint64_t stop = hole == skipped.end() ? range.End() : std::min(range.End(), hole->m_offset);
            for (; at < stop;) {
                const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkBytes, stop - at));
                chunks.push_back({at, length});
                at += length;
            }
        }
    }
    return chunks;
}

class CComparison {
public:
    CComparison(std::span<const std::byte> firstSector, CVerifyOutcome& outcome)
        : m_firstSector(firstSector), m_outcome(outcome)
    {
    }

    // Counts the sectors of chunk that differ between what source and destination gave.
    void Compare(const CVolumeChunk& chunk, std::span<const std::byte> source, std::span<const std::byte> destination)
    {
        std::size_t from = 0;
        if (chunk.offset == 0 && !m_firstSector.empty()) {
            from = std::min<std::size_t>({kSectorSize, destination.size(), m_firstSector.size()});
            if (std::memcmp(destination.data(), m_firstSector.data(), from) != 0)
                Differs(0);
        }
        if (std::memcmp(source.data() + from, destination.data() + from, destination.size() - from) == 0)
            return;
        for (std::size_t at = from; at < destination.size(); at += kSectorSize) {
            const std::size_t length = std::min<std::size_t>(kSectorSize, destination.size() - at);
            if (std::memcmp(source.data() + at, destination.data() + at, length) != 0)
                Differs((chunk.offset + at) / kSectorSize);
        }
    }

private:
    void Differs(std::uint64_t sector)
    {
        if (m_outcome.differingSectors++ == 0)
            m_outcome.firstDifferingSector = sector;
    }

    std::span<const std::byte> m_firstSector;
    CVerifyOutcome& m_outcome;
};

CVerifyOutcome ReadFailure(bool onSource, std::optional<std::uint64_t> sector, int error,
                           std::uint64_t compared = 0)
{
    CVerifyOutcome outcome;
    outcome.result = VerifyResult::ReadFailed;
    outcome.bytesCompared = compared;
    outcome.sourceFailed = onSource;
    outcome.failedSector = sector;
    outcome.error = error;
    return outcome;
}

}  // namespace

CVerifyOutcome VerifyCopy(const platform::IVolume& source, const platform::IVolume& destination,
                          const CVerifyPlan& plan, IVerifyProgress& progress)
{
    const std::vector<CVolumeChunk> chunks = Chunks(plan);
    std::uint64_t bytes = 0;
    std::uint32_t longest = 0;
    for (const CVolumeChunk& chunk : chunks) {
        bytes += chunk.length;
        longest = std::max(longest, chunk.length);
    }
    progress.OnVerifyStarting(bytes);

    std::unique_ptr<platform::IVolume> sourceCopy = source.ReopenUncached();
    if (!sourceCopy)
        return ReadFailure(true, std::nullopt, errno);
    std::unique_ptr<platform::IVolume> destinationCopy = destination.ReopenUncached();
    if (!destinationCopy)
        return ReadFailure(false, std::nullopt, errno);

    std::vector<std::unique_ptr<platform::CVolumeBuffer>> buffers;
    std::vector<std::span<std::byte>> spans[2];
    for (std::size_t i = 0; i < 2 * kBuffersPerSide; ++i) {
        buffers.push_back(std::make_unique<platform::CVolumeBuffer>(std::max<std::size_t>(longest, 1)));
        if (!buffers.back()->IsValid()) {
            CVerifyOutcome outcome;
            outcome.result = VerifyResult::NoMemory;
            return outcome;
        }
        spans[i % 2].push_back(buffers.back()->Bytes());
    }

    CVerifyOutcome outcome;
    CComparison comparison(plan.firstSector, outcome);
    CChunkReader sourceReader(*sourceCopy, chunks, spans[0]);
    CChunkReader destinationReader(*destinationCopy, chunks, spans[1]);
    for (const CVolumeChunk& chunk : chunks) {
        CChunkReader::CBlock read = sourceReader.Next();
        if (!read.ok)
            return ReadFailure(true, read.failedSector, read.error, outcome.bytesCompared);
        CChunkReader::CBlock written = destinationReader.Next();
        if (!written.ok)
            return ReadFailure(false, written.failedSector, written.error, outcome.bytesCompared);
        comparison.Compare(chunk, read.bytes, written.bytes);
        outcome.bytesCompared += chunk.length;
        // A stop asked for hides nothing found: a difference is told, and after the last
        // block the comparison is whole.
        if (!progress.OnBlockCompared(outcome.bytesCompared)) {
            const bool compared = &chunk == &chunks.back();
            if (outcome.differingSectors == 0 && !compared) {
                outcome.result = VerifyResult::Stopped;
                return outcome;
            }
            outcome.stoppedEarly = !compared;
            break;
        }
    }
    outcome.result = outcome.differingSectors == 0 ? VerifyResult::Equal : VerifyResult::Differs;
    return outcome;
}
