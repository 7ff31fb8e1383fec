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

// Fills buffer with the root strings ("C:\" and a zero byte each) of every drive in
// letter order, ended by an empty string. Returns the length without the final zero;
// when the buffer is too small, returns the length needed and leaves it unfilled.
std::uint32_t GetLogicalDriveStrings(std::span<char> buffer);

// The drive type of a root path such as "C:\".
unsigned GetDriveType(const std::string& rootPath);

// Free and total bytes of the volume named "C:" (or "C:\"). False when unknown; the
// outputs are then left as they were.
bool GetDiskFreeSpaceEx(const std::string& volume, std::uint64_t& freeToCaller,
                        std::uint64_t& totalBytes, std::uint64_t& totalFree);

// The Windows directory, such as "C:\WINDOWS".
std::string GetWindowsDirectory();

// The letter table (HKLM SYSTEM\MountedDevices).
std::optional<std::string> DriveDevice(char letter);  // device or image file of letter
std::map<char, std::string> DriveLetters();
// False with a one-line reason when the letter is outside A-Z, already taken, or the
// path does not exist.
bool AssignDriveLetter(char letter, const std::string& device, std::string& error);
bool RemoveDriveLetter(char letter, std::string& error);

}  // namespace platform
