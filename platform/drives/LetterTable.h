// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/files/MachineLock.h"

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

    // The fingerprint stored for letter; empty when it has none.
    std::string Fingerprint(char letter) const;
};

// The stored table (or the one a CLetterTableSnapshot holds). A missing key or store is an
// empty table; a store that cannot be read gives an empty table and the reason.
CLetterTable LoadLetterTable();
// Stores one letter with its fingerprint (none when empty); false with a one-line reason
// when the store cannot be written.
bool StoreLetter(char letter, const std::string& device, const std::string& fingerprint, std::string& error);
// Deletes one letter and its fingerprint; false with a one-line reason when it cannot be
// deleted.
bool EraseLetter(char letter, std::string& error);

// Serialises read-check-write changes of the table between processes: the lock drives.lock
// beside the store (see CMachineLock), waited for at most wait. A process that may not
// create or open the file holds nothing and is told nothing: it cannot write the store
// either.
CMachineLock LockLetterTable(std::chrono::milliseconds wait);

}  // namespace platform
