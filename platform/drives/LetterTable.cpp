// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/LetterTable.h"

#include "platform/drives/LetterTableSnapshot.h"
#include "platform/registry/RegistryStore.h"
#include "platform/system/SystemRoot.h"

#include <cctype>

namespace platform {

namespace {

const char* const kTableKey = "SYSTEM\\MountedDevices";
const std::string kDevicePrefix = "\\DosDevices\\";
const std::string kFingerprintPrefix = "\\Fingerprints\\";

std::string ValueName(const std::string& prefix, char letter)
{
    return prefix + letter + ":";
}

// The letter named by a value such as "\DosDevices\C:" (prefix in any case), or 0.
char LetterOfValue(const std::string& prefix, const std::string& name)
{
    if (name.size() != prefix.size() + 2 || name.back() != ':')
        return 0;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return 0;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[prefix.size()])));
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

std::string StoreFailure(RegStatus status)
{
    return status == RegStatus::AccessDenied ? "cannot change the drive-letter table: permission denied"
                                             : "cannot change the drive-letter table: the registry store failed";
}

std::string ReadFailure(RegStatus status)
{
    return status == RegStatus::AccessDenied ? "cannot read the drive-letter table: permission denied"
                                             : "cannot read the drive-letter table: the registry store cannot be read";
}

// Deletes every value of letter with prefix, whatever the case of its name; NotFound when
// there was none.
RegStatus DeleteLetterValues(CRegKey& key, const std::string& prefix, char letter)
{
    std::vector<std::string> found;
    std::string name;
    RegStatus status = RegStatus::Ok;
    for (std::uint32_t index = 0; (status = key.EnumValue(index, name)) == RegStatus::Ok; ++index)
        if (LetterOfValue(prefix, name) == letter)
            found.push_back(name);
    if (status != RegStatus::NoMoreItems)
        return status;
    if (found.empty())
        return RegStatus::NotFound;
    for (const auto& value : found)
        if (RegStatus deleted = key.DeleteValue(value); deleted != RegStatus::Ok)
            return deleted;
    return RegStatus::Ok;
}

}  // namespace

bool IsNetworkDevice(const std::string& device)
{
    return device.rfind(kNetworkDevicePrefix, 0) == 0;
}

std::string CLetterTable::Fingerprint(char letter) const
{
    auto stored = fingerprints.find(letter);
    return stored != fingerprints.end() ? stored->second : std::string();
}

CLetterTable LoadLetterTable()
{
    if (const CLetterTable* held = HeldLetterTable())
        return *held;
    CLetterTable table;
    CRegKey key;
    RegStatus status = CRegKey::Open(RegRoot::LocalMachine, kTableKey, RegAccess::Read, key);
    if (status == RegStatus::NotFound)
        return table;
    std::string name;
    for (std::uint32_t index = 0; status == RegStatus::Ok; ++index) {
        status = key.EnumValue(index, name);
        if (status != RegStatus::Ok)
            break;
        char letter = LetterOfValue(kDevicePrefix, name);
        char fingerprinted = LetterOfValue(kFingerprintPrefix, name);
        if (letter == 0 && fingerprinted == 0)
            continue;
        std::string text;
        RegStatus read = ReadStringValue(key, name, text);
        if (read == RegStatus::NotFound || text.empty())
            continue;  // another type, or nothing in it: not a letter
        if (read != RegStatus::Ok) {
            status = read;
            break;
        }
        (letter != 0 ? table.devices[letter] : table.fingerprints[fingerprinted]) = text;
    }
    // A table read in part would hand out letters that are taken.
    if (status != RegStatus::NoMoreItems)
        return {{}, {}, ReadFailure(status)};
    std::erase_if(table.fingerprints, [&](const auto& entry) { return table.devices.count(entry.first) == 0; });
    return table;
}

bool StoreLetter(char letter, const std::string& device, const std::string& fingerprint, std::string& error)
{
    CRegKey key;
    RegStatus status = CRegKey::Create(RegRoot::LocalMachine, kTableKey, key);
    // The fingerprint goes first: a letter is never without the one it was given.
    if (status == RegStatus::Ok && !fingerprint.empty())
        status = WriteStringValue(key, ValueName(kFingerprintPrefix, letter), fingerprint);
    if (status == RegStatus::Ok && fingerprint.empty()) {
        status = DeleteLetterValues(key, kFingerprintPrefix, letter);
        if (status == RegStatus::NotFound)
            status = RegStatus::Ok;
    }
    if (status == RegStatus::Ok)
        status = WriteStringValue(key, ValueName(kDevicePrefix, letter), device);
    if (status != RegStatus::Ok) {
        error = StoreFailure(status);
        return false;
    }
    return true;
}

bool EraseLetter(char letter, std::string& error)
{
    CRegKey key;
    RegStatus status = CRegKey::Open(RegRoot::LocalMachine, kTableKey, RegAccess::Full, key);
    if (status == RegStatus::Ok)
        status = DeleteLetterValues(key, kDevicePrefix, letter);
    if (status == RegStatus::Ok) {
        status = DeleteLetterValues(key, kFingerprintPrefix, letter);
        if (status == RegStatus::NotFound)
            status = RegStatus::Ok;
    }
    if (status != RegStatus::Ok) {
        error = StoreFailure(status);
        return false;
    }
    return true;
}

CMachineLock LockLetterTable(std::chrono::milliseconds wait)
{
    return CMachineLock(MachineFile("drives.lock", "/var/lib/vantrel/drives.lock"), wait, "the drive-letter table");
}

}  // namespace platform
