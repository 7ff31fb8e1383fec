// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/registry/RegistryStore.h"
#include "tests/support/FakeDrives.h"
#include "tests/support/FaultyVolume.h"
#include "tests/support/TempMachine.h"

#include <cstdint>
#include <optional>
#include <string>

namespace guitest {

constexpr const char* kVantrelKey = "Software\\Tembric\\Vantrel";

// A machine for the dialogs: drives held in memory with just the boot sectors the probe
// reads (their sizes come from the drive table or the boot sector), and the registry and
// atoms of a temporary folder.
class CSimulatedMachine {
public:
    static constexpr std::size_t kSector = 512;

    // An NTFS drive of bytes (the system's count of them).
    testsupport::CMemoryVolume& AddNtfs(char letter, std::uint64_t bytes, std::size_t imageSize = kSector)
    {
        m_drives.SetDrive(letter, {platform::kDriveFixed, bytes, bytes / 4});
        testsupport::CMemoryVolume& volume = m_volumes.Add(letter, imageSize);
        Put(volume, 3, "NTFS    ");
        PutLittleEndian(volume, 40, bytes / kSector - 1, 8);
        return volume;
    }
    // A FAT32 drive whose boot sector counts sectors.
    testsupport::CMemoryVolume& AddFat32(char letter, std::uint32_t sectors, std::size_t imageSize = kSector)
    {
        m_drives.SetDrive(letter, {platform::kDriveFixed, std::uint64_t{sectors} * kSector, 0});
        testsupport::CMemoryVolume& volume = m_volumes.Add(letter, imageSize);
        PutLittleEndian(volume, 32, sectors, 4);
        Put(volume, 82, "FAT32   ");
        return volume;
    }
    void AddFat16(char letter, std::uint64_t bytes)
    {
        m_drives.SetDrive(letter, {platform::kDriveFixed, bytes, bytes / 2});
        Put(m_volumes.Add(letter, kSector), 54, "FAT16   ");
    }
    // A drive of type whose volume cannot be opened.
    void AddUnopenable(char letter, unsigned type)
    {
        m_drives.SetDrive(letter, {type, 0, 0, false});
        m_volumes.RefuseOpen(letter, platform::VolumeAccess::Read);
    }

    void SetInstallFolder(const std::string& path)
    {
        platform::CRegKey key;
        platform::CRegKey::Create(platform::RegRoot::LocalMachine, kVantrelKey, key);
        platform::WriteStringValue(key, "Path", path);
    }
    void StoreSetting(const std::string& name, std::uint32_t value)
    {
        platform::CRegKey key;
        platform::CRegKey::Create(platform::RegRoot::LocalMachine, kVantrelKey, key);
        platform::WriteDwordValue(key, name, value);
    }
    std::optional<std::uint32_t> StoredSetting(const std::string& name) const
    {
        platform::CRegKey key;
        platform::RegValue value;
        if (platform::CRegKey::Open(platform::RegRoot::LocalMachine, kVantrelKey, platform::RegAccess::Read, key) !=
                platform::RegStatus::Ok ||
            key.Query(name, value) != platform::RegStatus::Ok || value.data.size() != 4)
            return std::nullopt;
        return value.data[0] | value.data[1] << 8 | value.data[2] << 16 | std::uint32_t{value.data[3]} << 24;
    }
    std::optional<std::string> ReadString(platform::RegRoot root, const std::string& path, const std::string& name) const
    {
        platform::CRegKey key;
        std::string text;
        if (platform::CRegKey::Open(root, path, platform::RegAccess::Read, key) != platform::RegStatus::Ok ||
            platform::ReadStringValue(key, name, text) != platform::RegStatus::Ok)
            return std::nullopt;
        return text;
    }

    testsupport::CTempMachine m_machine;
    testsupport::CFakeDrives m_drives;
    testsupport::CFaultyVolumes m_volumes;

private:
    static void Put(testsupport::CMemoryVolume& volume, std::uint64_t offset, std::string_view text)
    {
        volume.SetBytes(offset, std::as_bytes(std::span(text.data(), text.size())));
    }
    static void PutLittleEndian(testsupport::CMemoryVolume& volume, std::uint64_t offset, std::uint64_t value, int width)
    {
        std::byte bytes[8];
        for (int i = 0; i < width; ++i)
            bytes[i] = static_cast<std::byte>(value >> (8 * i));
        volume.SetBytes(offset, std::span(bytes, static_cast<std::size_t>(width)));
    }
};

}  // namespace guitest
