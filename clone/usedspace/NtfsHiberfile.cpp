// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/NtfsHiberfile.h"

#include "clone/usedspace/VolumeBytes.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <string_view>

namespace usedspace::ntfs {

namespace {

constexpr std::u16string_view kFolderIndex = u"$I30";
constexpr std::string_view kHiberfile = "hiberfil.sys";
// ntfs-3g reads this much of hiberfil.sys and refuses a shorter one.
constexpr std::size_t kHiberfileHeader = 4096;
constexpr std::size_t kIndexRootHeader = 16;  // the index header follows these bytes
constexpr std::size_t kIndexBlockHeader = 24;
constexpr std::size_t kIndexHeader = 16;  // first entry, end of the entries, room, flags
constexpr std::size_t kEntryHeader = 16;
constexpr std::size_t kFileNameChars = 64;  // name length, then namespace, then the name
constexpr std::size_t kFileNameHeader = 66;
constexpr std::uint16_t kSubnodeEntry = 0x0001;
constexpr std::uint16_t kLastEntry = 0x0002;
constexpr std::uint32_t kLargestIndexBlock = 64 << 10;
constexpr std::uint64_t kIndexReadSize = 1 << 20;

bool IsHiberfileName(const std::u16string& name)
{
    return std::equal(name.begin(), name.end(), kHiberfile.begin(), kHiberfile.end(), [](char16_t a, char b) {
        return a < 128 && std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

// Adds the references of the entries named hiberfil.sys in the index node whose header
// is at offset of node. False when the entries run outside the node or do not end.
bool ScanNode(std::span<const std::byte> node, std::size_t offset, std::vector<std::uint64_t>& found)
{
    if (node.size() - offset < kIndexHeader)
        return false;
    std::uint64_t first = offset + std::uint64_t{Le32(node, offset)};
    std::uint64_t end = offset + std::uint64_t{Le32(node, offset + 4)};
    if (end > node.size() || first > end)
        return false;
    for (std::size_t at = static_cast<std::size_t>(first); end - at >= kEntryHeader;) {
        std::size_t length = Le16(node, at + 8);
        std::size_t keyLength = Le16(node, at + 10);
        std::uint16_t flags = Le16(node, at + 12);
        if (length < kEntryHeader || length % 8 != 0 || length > end - at)
            return false;
        if ((flags & kLastEntry) != 0)
            return true;
        std::span<const std::byte> key = node.subspan(at + kEntryHeader, length - kEntryHeader);
        // A sub-node's entry ends with the sub-node's VCN, after the key.
        std::size_t room = key.size() - ((flags & kSubnodeEntry) != 0 ? 8 : 0);
        if (keyLength < kFileNameHeader || keyLength > room)
            return false;
        std::size_t chars = std::to_integer<std::size_t>(key[kFileNameChars]);
        if (kFileNameHeader + 2 * chars > keyLength)
            return false;
        if (IsHiberfileName(Utf16Name(key, kFileNameHeader, chars)))
            found.push_back(Le64(node, at));
        at += length;
    }
    return false;
}

// The references of the root folder's entries named hiberfil.sys; nothing when the
// folder's index cannot be read. Every index block in use is read, in any order, so
// that no loop in the tree can hold the reading up.
std::optional<std::vector<std::uint64_t>> FindHiberfile(CNtfsVolume& ntfs)
{
    std::optional<CMftRecord> root = ntfs.ReadRecord(kRootRecord);
    if (!root || !root->InUse() || !root->IsDirectory())
        return std::nullopt;
    std::optional<std::vector<std::byte>> value =
        ntfs.Value(*root, kRootRecord, kIndexRoot, kFolderIndex, ntfs.Geometry().m_recordSize);
    if (!value || value->size() < kIndexRootHeader || Le32(*value, 0) != kFileName)
        return std::nullopt;
    std::vector<std::uint64_t> found;
    if (!ScanNode(*value, kIndexRootHeader, found))
        return std::nullopt;
    bool large = (std::to_integer<unsigned>((*value)[kIndexRootHeader + 12]) & 1) != 0;
    if (!large)
        return found;

    std::uint32_t blockSize = Le32(*value, 8);
    std::optional<CValue> blocks = ntfs.OpenValue(*root, kRootRecord, kIndexAllocation, kFolderIndex);
    if (blockSize < kStride || blockSize > kLargestIndexBlock || !std::has_single_bit(blockSize) || !blocks)
        return std::nullopt;
    std::uint64_t count = blocks->Size() / blockSize;
    std::optional<std::vector<std::byte>> inUse =
        ntfs.Value(*root, kRootRecord, kBitmap, kFolderIndex, (count + 7) / 8 + 8);
    if (!inUse || inUse->size() * 8 < count)
        return std::nullopt;
    // Blocks lie side by side: they are read many at a time, so that a large folder
    // costs few requests to the device.
    const std::uint64_t perRead = std::max<std::uint64_t>(1, kIndexReadSize / blockSize);
    std::vector<std::byte> blocksRead;
    for (std::uint64_t first = 0; first < count; first += perRead) {
        std::uint64_t n = std::min(perRead, count - first);
        blocksRead.resize(static_cast<std::size_t>(n * blockSize));
        if (!ntfs.Read(*blocks, first * blockSize, blocksRead))
            return std::nullopt;
        for (std::uint64_t i = first; i < first + n; ++i) {
            if ((std::to_integer<unsigned>((*inUse)[i / 8]) >> (i % 8) & 1) == 0)
                continue;
            std::span<std::byte> block = std::span(blocksRead).subspan((i - first) * blockSize, blockSize);
            if (!ApplyFixups(block, "INDX") || !ScanNode(block, kIndexBlockHeader, found))
                return std::nullopt;
        }
    }
    return found;
}

// True when the header of hiberfil.sys (record reference) says Windows hibernated.
std::optional<bool> ReadHibernated(CNtfsVolume& ntfs, std::uint64_t reference)
{
    std::optional<CMftRecord> file = ntfs.ReadRecord(RecordNumber(reference));
    if (!file || !file->InUse() || file->IsDirectory() || file->Sequence() != RecordSequence(reference))
        return std::nullopt;
    std::optional<CValue> data = ntfs.OpenValue(*file, RecordNumber(reference), kData, u"");
    if (!data)
        return std::nullopt;
    std::vector<std::byte> header(kHiberfileHeader);
    if (data->Size() < header.size())
        return true;
    if (!ntfs.Read(*data, 0, header))
        return std::nullopt;
    std::string signature(4, '\0');
    std::transform(header.begin(), header.begin() + 4, signature.begin(),
                   [](std::byte b) { return static_cast<char>(std::tolower(std::to_integer<unsigned char>(b))); });
    return signature == "hibr" || signature == "wake";
}

}  // namespace

Hibernation CheckHibernation(CNtfsVolume& ntfs)
{
    std::optional<std::vector<std::uint64_t>> references = FindHiberfile(ntfs);
    if (!references)
        return Hibernation::RootUnreadable;
    for (std::uint64_t reference : *references) {
        std::optional<bool> hibernated = ReadHibernated(ntfs, reference);
        if (!hibernated)
            return Hibernation::HiberfileUnreadable;
        if (*hibernated)
            return Hibernation::Hibernated;
    }
    return Hibernation::None;
}

}  // namespace usedspace::ntfs
