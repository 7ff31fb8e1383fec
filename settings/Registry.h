// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/registry/RegistryStore.h"

#include <cstdint>
#include <string>

// The program's only way into the registry. One object per operation; it holds at most
// one key, opened with full access, and releases it when it opens another or goes.
// Failures are reported as false (or -1 from GetDword), never thrown.
class CRegistry {
public:
    // Capacity of ReadString's buffer, terminator included.
    static constexpr std::size_t kStringCapacity = 4096;

    // Drops the held key, then opens root\path with full access; true when it is open.
    bool Open(platform::RegRoot root, const std::string& path);
    // Why the last Open failed (NotFound, AccessDenied or Failed); Ok after a success.
    platform::RegStatus LastOpenStatus() const { return m_lastOpenStatus; }
    // Drops the held key, then creates root\path (or finds it). Leaves no key held:
    // call Open to write into it.
    bool CreateKey(platform::RegRoot root, const std::string& path);

    // Reads the value as text into buffer. False with "null" in buffer when the value is
    // missing or unreadable; false with buffer empty when no key is open or the data is
    // longer than kStringCapacity bytes (the user is told of the latter).
    bool ReadString(const std::string& name, std::string& buffer);
    // Stores text and its terminating zero as a REG_SZ value of the held key.
    bool WriteString(const std::string& name, const std::string& text);
    // Stores a 4-byte REG_DWORD value in the held key.
    bool WriteDword(const std::string& name, std::uint32_t value);
    // Removes the value from the held key; true when it is gone (or was never there).
    bool DeleteValue(const std::string& name);

    // The REG_DWORD value root\path\name; -1 when the key or value is missing (and for a
    // stored 0xFFFFFFFF), 0 for a value of another type.
    std::int32_t GetDword(platform::RegRoot root, const std::string& path, const std::string& name);
    // Open then WriteDword; never creates the key. True only if both succeed.
    bool SetDword(platform::RegRoot root, const std::string& path, const std::string& name, std::uint32_t value);

    // True when the held key has no value with a name (its default value does not count)
    // but, when given, except.
    bool HasNoNamedValues(const std::string& except = {});

private:
    platform::CRegKey m_key;
    platform::RegStatus m_lastOpenStatus = platform::RegStatus::Ok;
};
