#pragma once

#include <map>
#include <string>

// The stored letter table: HKLM SYSTEM\MountedDevices, one REG_SZ value per letter named
// "\DosDevices\X:" whose data is the device. Other values of the key are left alone.
namespace platform {

// Data of a letter that stands for a network mount: this prefix, then the mount source.
inline constexpr const char* kNetworkDevicePrefix = "network:";

bool IsNetworkDevice(const std::string& device);

// The stored letters (upper case) and their devices; empty when the key is missing or
// cannot be read.
std::map<char, std::string> ReadLetterTable();
// Stores one letter; false with a one-line reason when the store cannot be written.
bool StoreLetter(char letter, const std::string& device, std::string& error);
// Deletes one letter; false with a one-line reason when it cannot be deleted.
bool EraseLetter(char letter, std::string& error);

// Serialises read-check-write changes of the table between processes (an advisory lock
// on a file beside the store). Without permission to create the file it holds nothing:
// such a process cannot write the store either.
class CLetterTableLock {
public:
    CLetterTableLock();
    ~CLetterTableLock();
    CLetterTableLock(const CLetterTableLock&) = delete;
    CLetterTableLock& operator=(const CLetterTableLock&) = delete;

private:
    int m_fd = -1;
};

}  // namespace platform
