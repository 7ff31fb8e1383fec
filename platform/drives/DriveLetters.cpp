// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/DriveLetters.h"

#include "platform/drives/DeviceFingerprint.h"
#include "platform/drives/Discovery.h"
#include "platform/drives/DriveView.h"
#include "platform/drives/LetterTable.h"
#include "platform/system/SystemRoot.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

// How long a change of the table waits for another process changing it.
constexpr std::chrono::milliseconds kChangeLockWait(5000);

// The stored table read for a change, under its lock, which is held as long as the object.
struct CLockedTable {
    CMachineLock lock = LockLetterTable(kChangeLockWait);
    CLetterTable stored = lock.Error().empty() ? LoadLetterTable() : CLetterTable{};

    // Why the table cannot be changed: the lock's reason or the store's; empty when it can.
    const std::string& Error() const { return lock.Error().empty() ? stored.error : lock.Error(); }
};

char Upper(char letter)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

bool IsLetter(char letter)
{
    return letter >= 'A' && letter <= 'Z';
}

std::string NotALetter(char letter)
{
    if (std::isprint(static_cast<unsigned char>(letter)))
        return std::string("'") + letter + ":' is not a drive letter (A: to Z:)";
    return "not a drive letter (A: to Z:)";
}

// Both name the same file or block device.
bool SameDevice(const struct stat& a, const struct stat& b)
{
    if (S_ISBLK(a.st_mode) && S_ISBLK(b.st_mode))
        return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::optional<char> ParseDriveName(const std::string& text)
{
    bool rootForm = text.size() == 3 && (text[2] == '\\' || text[2] == '/');
    if ((text.size() != 2 && !rootForm) || text[1] != ':')
        return std::nullopt;
    char letter = Upper(text[0]);
    return IsLetter(letter) ? std::optional<char>(letter) : std::nullopt;
}

std::map<char, std::string> DriveLetters()
{
    if (SystemRoot())
        return LoadLetterTable().devices;
    std::map<char, std::string> letters;
    for (const auto& drive : DiscoverDrives(CDriveSources{}).drives)
        letters[drive.letter] = drive.device;
    return letters;
}

std::optional<std::string> LetterTableError()
{
    std::string error = LoadLetterTable().error;
    return error.empty() ? std::nullopt : std::optional<std::string>(error);
}

std::optional<CDriveDevice> DriveDevice(char letter)
{
    if (SystemRoot())
        return StoredDriveDevice(letter);
    CDriveView view = DiscoverDrives(CDriveSources{});
    const CDriveEntry* drive = view.Find(Upper(letter));
    if (drive == nullptr || IsNetworkDevice(drive->device))
        return std::nullopt;
    return CDriveDevice{drive->device, drive->fingerprint};
}

std::optional<CDriveDevice> StoredDriveDevice(char letter)
{
    letter = Upper(letter);
    CLetterTable table = LoadLetterTable();
    auto found = table.devices.find(letter);
    if (found == table.devices.end() || IsNetworkDevice(found->second))
        return std::nullopt;
    return CDriveDevice{found->second, table.Fingerprint(letter)};
}

bool AssignDriveLetter(char letter, const std::string& device, std::string& error)
{
    letter = Upper(letter);
    if (!IsLetter(letter)) {
        error = NotALetter(letter);
        return false;
    }
    if (device.empty()) {
        error = "no device or file given";
        return false;
    }
    // Absolute but not resolved: a stable link such as /dev/disk/by-id/... stays as given.
    std::error_code ec;
    std::string path = fs::absolute(device, ec).lexically_normal().string();
    struct stat info {};
    if (ec || ::stat(path.c_str(), &info) != 0) {
        error = "cannot use " + device + ": " + std::strerror(ec ? ec.value() : errno);
        return false;
    }
    if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
        error = path + " is neither a file nor a block device";
        return false;
    }

    CLockedTable locked;
    if (!locked.Error().empty()) {
        error = locked.Error();
        return false;
    }
    const auto& table = locked.stored.devices;
    if (auto taken = table.find(letter); taken != table.end()) {
        error = std::string(1, letter) + ": is already assigned to " + taken->second;
        return false;
    }
    // Two letters for one device would let a clone copy a volume onto itself.
    for (const auto& [other, otherDevice] : table) {
        struct stat otherInfo {};
        if (!IsNetworkDevice(otherDevice) && ::stat(otherDevice.c_str(), &otherInfo) == 0 &&
            SameDevice(info, otherInfo)) {
            error = path + " is already drive " + other + ":";
            return false;
        }
    }
    std::string fingerprint;
    if (!IsStableName(path)) {
        fingerprint = DeviceFingerprint(info, CDriveSources{}).text;
        if (fingerprint.empty()) {
            error = "cannot tell what " + path + " is: the kernel does not list it";
            return false;
        }
    }
    return StoreLetter(letter, path, fingerprint, error);
}

bool RemoveDriveLetter(char letter, std::string& error)
{
    letter = Upper(letter);
    if (!IsLetter(letter)) {
        error = NotALetter(letter);
        return false;
    }
    CLockedTable locked;
    if (!locked.Error().empty()) {
        error = locked.Error();
        return false;
    }
    if (locked.stored.devices.count(letter) == 0) {
        error = std::string(1, letter) + ": is not assigned";
        return false;
    }
    return EraseLetter(letter, error);
}

}  // namespace platform
