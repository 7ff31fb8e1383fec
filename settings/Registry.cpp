// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/Registry.h"

#include "platform/ui/MessageBox.h"

#include <algorithm>

using platform::RegStatus;

namespace {

// GetDword fetches a value into a buffer of this size first; a larger value counts as
// unreadable.
constexpr std::size_t kDwordProbeCapacity = 260;

}  // namespace

bool CRegistry::Open(platform::RegRoot root, const std::string& path)
{
    m_lastOpenStatus = platform::CRegKey::Open(root, path, platform::RegAccess::Full, m_key);
    return m_lastOpenStatus == RegStatus::Ok;
}

bool CRegistry::CreateKey(platform::RegRoot root, const std::string& path)
{
    bool created = platform::CRegKey::Create(root, path, m_key) == RegStatus::Ok;
    m_key.Close();
    return created;
}

bool CRegistry::ReadString(const std::string& name, std::string& buffer)
{
    buffer.clear();
    if (!m_key.IsOpen())
        return false;
    platform::RegValue value;
    if (m_key.Query(name, value) != RegStatus::Ok) {
        buffer = "null";
        return false;
    }
    if (value.data.size() > kStringCapacity) {
        platform::MessageBox(name + " value in registry is too long.");
        return false;
    }
    // The buffer holds the data as stored; read as text it ends at the first zero byte.
    auto end = std::find(value.data.begin(), value.data.end(), 0);
    buffer.assign(value.data.begin(), end);
    return true;
}

bool CRegistry::WriteString(const std::string& name, const std::string& text)
{
    return m_key.IsOpen() && platform::WriteStringValue(m_key, name, text) == RegStatus::Ok;
}

bool CRegistry::WriteDword(const std::string& name, std::uint32_t value)
{
    return m_key.IsOpen() && platform::WriteDwordValue(m_key, name, value) == RegStatus::Ok;
}

bool CRegistry::DeleteValue(const std::string& name)
{
    if (!m_key.IsOpen())
        return false;
    const RegStatus status = m_key.DeleteValue(name);
    return status == RegStatus::Ok || status == RegStatus::NotFound;
}

std::int32_t CRegistry::GetDword(platform::RegRoot root, const std::string& path, const std::string& name)
{
    if (!Open(root, path))
        return -1;
    platform::RegValue value;
    if (m_key.Query(name, value) != RegStatus::Ok || value.data.size() > kDwordProbeCapacity)
        return -1;
    // A REG_DWORD longer than four bytes is malformed; it reads as 0 rather than spilling
    // past the 32-bit result. A shorter one fills the low bytes.
    if (value.type != platform::kRegDword || value.data.size() > 4)
        return 0;
    std::uint32_t result = 0;
    for (std::size_t i = 0; i < value.data.size(); ++i)
        result |= static_cast<std::uint32_t>(value.data[i]) << (8 * i);
    return static_cast<std::int32_t>(result);
}

bool CRegistry::SetDword(platform::RegRoot root, const std::string& path, const std::string& name,
                         std::uint32_t value)
{
    return Open(root, path) && WriteDword(name, value);
}

bool CRegistry::HasNoNamedValues(const std::string& except)
{
    std::string name;
    for (std::uint32_t index = 0; m_key.EnumValue(index, name) == RegStatus::Ok; ++index) {
        if (!name.empty() && name != except)
            return false;
    }
    return true;
}
