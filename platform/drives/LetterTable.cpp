#include "platform/drives/LetterTable.h"

#include "platform/registry/RegistryStore.h"
#include "platform/system/SystemRoot.h"

#include <cctype>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

namespace {

const char* const kTableKey = "SYSTEM\\MountedDevices";
const std::string kValuePrefix = "\\DosDevices\\";

std::string ValueName(char letter)
{
    return kValuePrefix + letter + ":";
}

// The letter named by a value such as "\DosDevices\C:" (any case), or 0.
char LetterOfValue(const std::string& name)
{
    if (name.size() != kValuePrefix.size() + 2 || name.back() != ':')
        return 0;
    for (std::size_t i = 0; i < kValuePrefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) !=
            std::tolower(static_cast<unsigned char>(kValuePrefix[i])))
            return 0;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[kValuePrefix.size()])));
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

std::string StoreFailure(RegStatus status)
{
    return status == RegStatus::AccessDenied ? "cannot change the drive-letter table: permission denied"
                                             : "cannot change the drive-letter table: the registry store failed";
}

}  // namespace

bool IsNetworkDevice(const std::string& device)
{
    return device.rfind(kNetworkDevicePrefix, 0) == 0;
}

std::map<char, std::string> ReadLetterTable()
{
    std::map<char, std::string> letters;
    CRegKey key;
    if (CRegKey::Open(RegRoot::LocalMachine, kTableKey, RegAccess::Read, key) != RegStatus::Ok)
        return letters;
    std::string name;
    for (std::uint32_t index = 0; key.EnumValue(index, name) == RegStatus::Ok; ++index) {
        char letter = LetterOfValue(name);
        std::string device;
        if (letter != 0 && ReadStringValue(key, name, device) == RegStatus::Ok && !device.empty())
            letters[letter] = device;
    }
    return letters;
}

bool StoreLetter(char letter, const std::string& device, std::string& error)
{
    CRegKey key;
    RegStatus status = CRegKey::Create(RegRoot::LocalMachine, kTableKey, key);
    if (status == RegStatus::Ok)
        status = WriteStringValue(key, ValueName(letter), device);
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
    if (status == RegStatus::Ok) {
        // The value may be stored under another case of its name.
        std::string name;
        std::string found = ValueName(letter);
        for (std::uint32_t index = 0; key.EnumValue(index, name) == RegStatus::Ok; ++index)
            if (LetterOfValue(name) == letter)
                found = name;
        status = key.DeleteValue(found);
    }
    if (status != RegStatus::Ok) {
        error = StoreFailure(status);
        return false;
    }
    return true;
}

CLetterTableLock::CLetterTableLock()
{
    std::string path = MachineFile("drives.lock", "/var/lib/vantrel/drives.lock");
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

CLetterTableLock::~CLetterTableLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

}  // namespace platform
