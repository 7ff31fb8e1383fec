// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The registry of the machine: hierarchical keys, compared without regard to case, with
// typed values, kept in one SQLite file per root (HKLM, HKCU; HKCR is a view of
// HKLM SOFTWARE\Classes). Safe for several processes at once.
namespace platform {

enum class RegRoot { LocalMachine, CurrentUser, ClassesRoot };

constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;
constexpr std::uint32_t kRegQword = 11;

enum class RegStatus {
    Ok,
    NotFound,      // no such key or value
    AccessDenied,  // full access asked without write permission on the store
    NoMoreItems,   // enumeration past the last item
    Failed         // the store could not be read or written
};

struct RegValue {
    std::uint32_t type = kRegNone;
    std::vector<unsigned char> data;  // as stored; a REG_SZ holds its terminating zero
};

enum class RegAccess { Read, Full };

// One open key. Move-only; the key is released when the object goes.
class CRegKey {
public:
    CRegKey();
    ~CRegKey();
    CRegKey(CRegKey&&) noexcept;
    CRegKey& operator=(CRegKey&&) noexcept;

    // Opens root\path; Full needs write permission on the store, like KEY_ALL_ACCESS.
    static RegStatus Open(RegRoot root, const std::string& path, RegAccess access, CRegKey& key);
    // Creates root\path and its missing parents (or opens it) with full access.
    static RegStatus Create(RegRoot root, const std::string& path, CRegKey& key);
    // Deletes root\path with all its sub-keys and values.
    static RegStatus DeleteTree(RegRoot root, const std::string& path);

    bool IsOpen() const;
    void Close();

    // The value named name ("" is the key's unnamed default value).
    RegStatus Query(const std::string& name, RegValue& value) const;
    RegStatus Set(const std::string& name, std::uint32_t type, std::span<const unsigned char> data);
    RegStatus DeleteValue(const std::string& name);
    // Name of the value at index (from 0, in the order values were first stored).
    RegStatus EnumValue(std::uint32_t index, std::string& name) const;
    // Name of the direct sub-key at index (from 0, sorted without regard to case).
    RegStatus EnumSubKey(std::uint32_t index, std::string& name) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Text helpers for the common value types.
RegStatus WriteStringValue(CRegKey& key, const std::string& name, const std::string& text);
RegStatus WriteDwordValue(CRegKey& key, const std::string& name, std::uint32_t value);
// The text of a REG_SZ/REG_EXPAND_SZ value without its terminator; NotFound for other types.
RegStatus ReadStringValue(const CRegKey& key, const std::string& name, std::string& text);

// Why the store holding root cannot be read, as "<file>: <reason>" (the file is no
// registry store, is damaged, ...); nothing when it can be read or does not exist.
std::optional<std::string> StoreReadProblem(RegRoot root);

// Parses "HKLM", "HKEY_LOCAL_MACHINE", "HKCU", "HKEY_CURRENT_USER", "HKCR",
// "HKEY_CLASSES_ROOT" (any case). False for anything else.
bool ParseRegRoot(const std::string& text, RegRoot& root);

}  // namespace platform
