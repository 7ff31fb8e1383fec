#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

// Logical drives: letters, their types and sizes, and the Windows directory.
namespace platform {

constexpr unsigned kDriveUnknown = 0;
constexpr unsigned kDriveNoRootDir = 1;
constexpr unsigned kDriveRemovable = 2;
constexpr unsigned kDriveFixed = 3;
constexpr unsigned kDriveRemote = 4;
constexpr unsigned kDriveCdrom = 5;
constexpr unsigned kDriveRamdisk = 6;

// The machine's drives as the programs see them; the probe and the dialogs take one, so
// tests can hand in a double.
class IDriveTable {
public:
    virtual ~IDriveTable() = default;

    // Fills buffer with the root strings ("C:\" and a zero byte each) of every drive in
    // letter order, ended by an empty string. Returns the length without the final zero;
    // when the buffer is too small, returns the length needed and leaves it unfilled.
    virtual std::uint32_t GetLogicalDriveStrings(std::span<char> buffer) = 0;

    // The drive type of a root path such as "C:\".
    virtual unsigned GetDriveType(const std::string& rootPath) = 0;

    // Free and total bytes of the volume named "C:" (or "C:\"). False when unknown; the
    // outputs are then left as they were.
    virtual bool GetDiskFreeSpaceEx(const std::string& volume, std::uint64_t& freeToCaller,
                                    std::uint64_t& totalBytes, std::uint64_t& totalFree) = 0;

    // The Windows directory, such as "C:\WINDOWS".
    virtual std::string GetWindowsDirectory() = 0;
};

// The drives of this machine (or of the simulated one under VANTREL_SYSTEM_ROOT).
IDriveTable& MachineDrives();

// The letter table (HKLM SYSTEM\MountedDevices).
std::optional<std::string> DriveDevice(char letter);  // device or image file of letter
std::map<char, std::string> DriveLetters();
// False with a one-line reason when the letter is outside A-Z, already taken, or the
// path does not exist.
bool AssignDriveLetter(char letter, const std::string& device, std::string& error);
bool RemoveDriveLetter(char letter, std::string& error);

}  // namespace platform
