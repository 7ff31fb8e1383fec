#pragma once

#include <chrono>
#include <map>
#include <string>

// The stored letter table: HKLM SYSTEM\MountedDevices, one REG_SZ value per letter named
// "\DosDevices\X:" whose data is the device, and beside it, for a device whose name may
// come to stand for another one, a value "\Fingerprints\X:" that recognises it (tables
// written before fingerprints have none and are read as they are). Other values of the
// key are left alone.
namespace platform {

// Data of a letter that stands for a network mount: this prefix, then the mount source.
inline constexpr const char* kNetworkDevicePrefix = "network:";

bool IsNetworkDevice(const std::string& device);

struct CLetterTable {
    std::map<char, std::string> devices;       // the stored letters (upper case) and their devices
    std::map<char, std::string> fingerprints;  // of the letters that have one
    std::string error;                         // why the store could not be read; empty when it could
};

// The stored table. A missing key or store is an empty table; a store that cannot be read
// gives an empty table and the reason.
CLetterTable LoadLetterTable();
// Stores one letter with its fingerprint (none when empty); false with a one-line reason
// when the store cannot be written.
bool StoreLetter(char letter, const std::string& device, const std::string& fingerprint, std::string& error);
// Deletes one letter and its fingerprint; false with a one-line reason when it cannot be
// deleted.
bool EraseLetter(char letter, std::string& error);

// Serialises read-check-write changes of the table between processes: an advisory lock
// on drives.lock beside the store, waited for at most wait. On the real machine the file
// is root's alone (0600 in a folder of root's that others cannot write), so no other user
// can hold it. A process that may not create or open the file holds nothing and is told
// nothing: it cannot write the store either.
class CLetterTableLock {
public:
    explicit CLetterTableLock(std::chrono::milliseconds wait);
    ~CLetterTableLock();
    CLetterTableLock(const CLetterTableLock&) = delete;
    CLetterTableLock& operator=(const CLetterTableLock&) = delete;

    bool Held() const { return m_fd >= 0; }
    // Why the lock is not held although it should be (another process keeps it, the lock
    // file or its folder is not safe); empty when it is held or cannot be had at all.
    const std::string& Error() const { return m_error; }

private:
    int m_fd = -1;
    std::string m_error;
};

}  // namespace platform
