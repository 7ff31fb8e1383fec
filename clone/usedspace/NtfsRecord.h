// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The records of an NTFS master file table (MFT), their attributes and the runlists of
// non-resident attributes, decoded from bytes and checked on the way: whatever does not
// add up is refused rather than guessed at.
namespace usedspace::ntfs {

// Attribute types.
inline constexpr std::uint32_t kAttributeList = 0x20;
inline constexpr std::uint32_t kFileName = 0x30;
inline constexpr std::uint32_t kVolumeInformation = 0x70;
inline constexpr std::uint32_t kData = 0x80;
inline constexpr std::uint32_t kIndexRoot = 0x90;
inline constexpr std::uint32_t kIndexAllocation = 0xA0;
inline constexpr std::uint32_t kBitmap = 0xB0;

// Attribute flags that change how a non-resident value is stored on the volume.
inline constexpr std::uint16_t kCompressedOrEncrypted = 0x40FF;

// Multi-sector structures carry an update sequence: the last two bytes of every 512-byte
// stride are moved into an array, so that a block written halfway is seen as torn.
inline constexpr std::size_t kStride = 512;

// Checks block's magic ("FILE", "INDX") and update sequence and puts the moved bytes
// back. False when the block is not one, or torn.
bool ApplyFixups(std::span<std::byte> block, std::string_view magic);

// Clusters lcn to lcn + length hold the attribute's clusters vcn to vcn + length; a
// sparse run has no clusters and reads as zeros.
struct CRun {
    std::uint64_t m_vcn = 0;
    std::uint64_t m_lcn = 0;
    std::uint64_t m_length = 0;
    bool m_sparse = false;
};

struct CAttribute {
    std::uint32_t m_type = 0;
    std::u16string m_name;
    std::uint16_t m_flags = 0;
    bool m_nonResident = false;
    std::span<const std::byte> m_value;  // resident: the value itself
    // Non-resident: the clusters this piece describes and the sizes of the whole value
    // (given in the piece that starts at VCN 0).
    std::uint64_t m_lowestVcn = 0;
    std::uint64_t m_nextVcn = 0;  // one past the highest VCN
    std::uint64_t m_allocatedSize = 0;
    std::uint64_t m_dataSize = 0;
    std::uint64_t m_initializedSize = 0;
    std::span<const std::byte> m_mappingPairs;
};

// The runs of a non-resident attribute piece, each within the volume's clusters and
// covering exactly its VCNs; nothing when its mapping pairs do not add up.
std::optional<std::vector<CRun>> DecodeRuns(const CAttribute& attribute, std::uint64_t clusters);

// One MFT record, its fixups applied and its attributes checked to lie inside it.
class CMftRecord {
public:
    // Nothing when bytes (the whole record as read) is no sound record number.
    static std::optional<CMftRecord> Parse(std::vector<std::byte> bytes, std::uint64_t number);

    CMftRecord(CMftRecord&&) = default;
    CMftRecord& operator=(CMftRecord&&) = default;
    CMftRecord(const CMftRecord&) = delete;
    CMftRecord& operator=(const CMftRecord&) = delete;

    bool InUse() const { return (m_flags & 0x0001) != 0; }
    bool IsDirectory() const { return (m_flags & 0x0002) != 0; }
    std::uint16_t Sequence() const { return m_sequence; }
    // The base record of an extension record; 0 for a base record.
    std::uint64_t BaseRecord() const { return m_baseRecord; }

    // The first attribute of type named name (empty: unnamed) whose piece starts at
    // lowestVcn (a resident attribute starts at 0); nullptr when there is none.
    const CAttribute* Find(std::uint32_t type, std::u16string_view name, std::uint64_t lowestVcn = 0) const;
    bool Has(std::uint32_t type) const;
    const std::vector<CAttribute>& Attributes() const { return m_attributes; }

private:
    CMftRecord() = default;
    bool ParseAttributes(std::size_t offset, std::size_t end);

    std::vector<std::byte> m_bytes;
    std::vector<CAttribute> m_attributes;
    std::uint16_t m_flags = 0;
    std::uint16_t m_sequence = 0;
    std::uint64_t m_baseRecord = 0;
};

// A reference to an MFT record: record number in the low 48 bits, sequence above.
inline std::uint64_t RecordNumber(std::uint64_t reference)
{
    return reference & 0xFFFF'FFFF'FFFFull;
}
inline std::uint16_t RecordSequence(std::uint64_t reference)
{
    return static_cast<std::uint16_t>(reference >> 48);
}

// The UTF-16 name of length units at offset of bytes.
std::u16string Utf16Name(std::span<const std::byte> bytes, std::size_t offset, std::size_t length);

}  // namespace usedspace::ntfs
