// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/NtfsRecord.h"

#include "clone/usedspace/VolumeBytes.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace usedspace::ntfs {

namespace {

constexpr std::uint32_t kEndOfAttributes = 0xFFFF'FFFF;
constexpr std::size_t kResidentHeader = 24;
constexpr std::size_t kNonResidentHeader = 64;
constexpr std::size_t kRecordHeader = 42;
// From NTFS 3.1 on, a record also holds its own number, after a header of 48 bytes.
constexpr std::size_t kNumberedHeader = 48;

// The signed little-endian value of width (1 to 8) bytes at offset.
std::int64_t SignedLittleEndian(std::span<const std::byte> bytes, std::size_t offset, std::size_t width)
{
    std::uint64_t value = LittleEndian(bytes, offset, width);
    if (width < 8 && (value >> (width * 8 - 1)) != 0)
        value |= ~std::uint64_t{0} << (width * 8);
    return static_cast<std::int64_t>(value);
}

}  // namespace

bool ApplyFixups(std::span<std::byte> block, std::string_view magic)
{
    if (block.size() < kStride || block.size() % kStride != 0 || magic.size() != 4 ||
        std::memcmp(block.data(), magic.data(), 4) != 0)
        return false;
    std::size_t arrayOffset = Le16(block, 4);
    std::size_t count = Le16(block, 6);
    // One entry for the sequence number, one per stride; all in the first stride, before
    // its own two moved bytes.
    if (count != block.size() / kStride + 1 || arrayOffset % 2 != 0 || arrayOffset < 8 ||
        arrayOffset + 2 * count > kStride - 2)
        return false;
    for (std::size_t i = 1; i < count; ++i) {
        std::byte* tail = block.data() + i * kStride - 2;
        if (std::memcmp(tail, block.data() + arrayOffset, 2) != 0)
            return false;
        std::memcpy(tail, block.data() + arrayOffset + 2 * i, 2);
    }
    return true;
}

std::optional<std::vector<CRun>> DecodeRuns(const CAttribute& attribute, std::uint64_t clusters)
{
    if (!attribute.m_nonResident)
        return std::nullopt;
    std::span<const std::byte> pairs = attribute.m_mappingPairs;
    std::vector<CRun> runs;
    std::uint64_t vcn = attribute.m_lowestVcn;
    std::int64_t lcn = 0;
    std::size_t at = 0;
    for (;;) {
        if (at >= pairs.size())
            return std::nullopt;  // no terminating zero inside the attribute
        unsigned header = std::to_integer<unsigned>(pairs[at]);
        if (header == 0)
            break;
        std::size_t lengthWidth = header & 0x0F;
        std::size_t offsetWidth = header >> 4;
        if (lengthWidth == 0 || lengthWidth > 8 || offsetWidth > 8 ||
            pairs.size() - at - 1 < lengthWidth + offsetWidth)
            return std::nullopt;
        std::int64_t length = SignedLittleEndian(pairs, at + 1, lengthWidth);
        if (length <= 0 || static_cast<std::uint64_t>(length) > attribute.m_nextVcn - vcn)
            return std::nullopt;
        CRun run{vcn, 0, static_cast<std::uint64_t>(length), offsetWidth == 0};
        if (!run.m_sparse) {
            std::int64_t delta = SignedLittleEndian(pairs, at + 1 + lengthWidth, offsetWidth);
            if ((delta > 0 && lcn > std::numeric_limits<std::int64_t>::max() - delta) || lcn + delta < 0)
                return std::nullopt;
            lcn += delta;
            run.m_lcn = static_cast<std::uint64_t>(lcn);
            if (run.m_lcn >= clusters || run.m_length > clusters - run.m_lcn)
                return std::nullopt;
        }
        runs.push_back(run);
        vcn += run.m_length;
        at += 1 + lengthWidth + offsetWidth;
    }
    if (vcn != attribute.m_nextVcn)
        return std::nullopt;
    return runs;
}

std::u16string Utf16Name(std::span<const std::byte> bytes, std::size_t offset, std::size_t length)
{
    std::u16string name(length, u'\0');
    for (std::size_t i = 0; i < length; ++i)
        name[i] = static_cast<char16_t>(Le16(bytes, offset + 2 * i));
    return name;
}

std::optional<CMftRecord> CMftRecord::Parse(std::vector<std::byte> bytes, std::uint64_t number)
{
    if (!ApplyFixups(bytes, "FILE"))
        return std::nullopt;
    CMftRecord record;
    record.m_bytes = std::move(bytes);
    std::span<const std::byte> b = record.m_bytes;
    std::size_t arrayOffset = Le16(b, 4);
    std::size_t attributes = Le16(b, 20);
    std::size_t inUse = Le32(b, 24);
    std::size_t allocated = Le32(b, 28);
    if (allocated != b.size() || inUse > b.size() || attributes < kRecordHeader || attributes % 8 != 0 ||
        attributes >= inUse)
        return std::nullopt;
    if (arrayOffset >= kNumberedHeader && Le32(b, 44) != (number & 0xFFFF'FFFF))
        return std::nullopt;
    record.m_sequence = Le16(b, 16);
    record.m_flags = Le16(b, 22);
    record.m_baseRecord = RecordNumber(Le64(b, 32));
    if (!record.ParseAttributes(attributes, inUse))
        return std::nullopt;
    return record;
}

bool CMftRecord::ParseAttributes(std::size_t offset, std::size_t end)
{
    std::span<const std::byte> b = m_bytes;
    for (;;) {
        if (end - offset < 4)
            return false;
        std::uint32_t type = Le32(b, offset);
        if (type == kEndOfAttributes)
            return true;
        if (end - offset < kResidentHeader)
            return false;
        std::size_t length = Le32(b, offset + 4);
        if (length < kResidentHeader || length % 8 != 0 || length > end - offset)
            return false;
        std::span<const std::byte> a = b.subspan(offset, length);
        CAttribute attribute;
        attribute.m_type = type;
        attribute.m_nonResident = std::to_integer<unsigned>(a[8]) != 0;
        std::size_t nameLength = std::to_integer<std::size_t>(a[9]);
        std::size_t nameOffset = Le16(a, 10);
        if (nameLength > 0 && (nameOffset > length || 2 * nameLength > length - nameOffset))
            return false;
        attribute.m_name = Utf16Name(a, nameOffset, nameLength);
        attribute.m_flags = Le16(a, 12);
        if (!attribute.m_nonResident) {
            std::size_t valueLength = Le32(a, 16);
            std::size_t valueOffset = Le16(a, 20);
            if (valueOffset > length || valueLength > length - valueOffset)
                return false;
            attribute.m_value = a.subspan(valueOffset, valueLength);
        } else {
            if (length < kNonResidentHeader)
                return false;
            std::int64_t lowest = static_cast<std::int64_t>(Le64(a, 16));
            std::int64_t highest = static_cast<std::int64_t>(Le64(a, 24));
            std::size_t pairsOffset = Le16(a, 32);
            // An empty value has highest VCN -1.
            if (lowest < 0 || highest < lowest - 1 || highest == std::numeric_limits<std::int64_t>::max() ||
                pairsOffset < kNonResidentHeader || pairsOffset >= length)
                return false;
            attribute.m_lowestVcn = static_cast<std::uint64_t>(lowest);
            attribute.m_nextVcn = static_cast<std::uint64_t>(highest + 1);
            attribute.m_allocatedSize = Le64(a, 40);
            attribute.m_dataSize = Le64(a, 48);
            attribute.m_initializedSize = Le64(a, 56);
            attribute.m_mappingPairs = a.subspan(pairsOffset);
        }
        m_attributes.push_back(std::move(attribute));
        offset += length;
    }
}

const CAttribute* CMftRecord::Find(std::uint32_t type, std::u16string_view name, std::uint64_t lowestVcn) const
{
    auto found = std::find_if(m_attributes.begin(), m_attributes.end(), [&](const CAttribute& a) {
        return a.m_type == type && a.m_name == name && a.m_lowestVcn == lowestVcn;
    });
    return found == m_attributes.end() ? nullptr : &*found;
}

bool CMftRecord::Has(std::uint32_t type) const
{
    return std::any_of(m_attributes.begin(), m_attributes.end(), [&](const CAttribute& a) { return a.m_type == type; });
}

}  // namespace usedspace::ntfs
