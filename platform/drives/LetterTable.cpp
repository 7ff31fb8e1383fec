#include "platform/drives/LetterTable.h"

#include "platform/registry/RegistryStore.h"
#include "platform/system/SystemRoot.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

const char* const kTableKey = "SYSTEM\\MountedDevices";
const std::string kDevicePrefix = "\\DosDevices\\";
const std::string kFingerprintPrefix = "\\Fingerprints\\";
constexpr std::chrono::milliseconds kLockRetry(20);

std::string ValueName(const std::string& prefix, char letter)
{
    return prefix + letter + ":";
}

// The letter named by a value such as "\DosDevices\C:" (prefix in any case), or 0.
char LetterOfValue(const std::string& prefix, const std::string& name)
{
    if (name.size() != prefix.size() + 2 || name.back() != ':')
        return 0;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return 0;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[prefix.size()])));
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

std::string StoreFailure(RegStatus status)
{
    return status == RegStatus::AccessDenied ? "cannot change the drive-letter table: permission denied"
                                             : "cannot change the drive-letter table: the registry store failed";
}

std::string ReadFailure(RegStatus status)
{
    return status == RegStatus::AccessDenied ? "cannot read the drive-letter table: permission denied"
                                             : "cannot read the drive-letter table: the registry store cannot be read";
}

// Deletes every value of letter with prefix, whatever the case of its name; NotFound when
// there was none.
RegStatus DeleteLetterValues(CRegKey& key, const std::string& prefix, char letter)
{
    std::vector<std::string> found;
    std::string name;
    RegStatus status = RegStatus::Ok;
    for (std::uint32_t index = 0; (status = key.EnumValue(index, name)) == RegStatus::Ok; ++index)
        if (LetterOfValue(prefix, name) == letter)
            found.push_back(name);
    if (status != RegStatus::NoMoreItems)
        return status;
    if (found.empty())
        return RegStatus::NotFound;
    for (const auto& value : found)
        if (RegStatus deleted = key.DeleteValue(value); deleted != RegStatus::Ok)
            return deleted;
    return RegStatus::Ok;
}

// The folder of the real machine's lock files: root's, and writable by nobody else, so
// that nobody else can put a file of theirs in the lock's place. Empty when it is so.
std::string UnsafeFolder(const std::string& folder)
{
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
        return "cannot make " + folder + ": " + std::strerror(errno);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0)
        return "cannot use " + folder + ": " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return folder + " is not a folder of root's that only root may change";
    return {};
}

}  // namespace

bool IsNetworkDevice(const std::string& device)
{
    return device.rfind(kNetworkDevicePrefix, 0) == 0;
}

CLetterTable LoadLetterTable()
{
    CLetterTable table;
    CRegKey key;
    RegStatus status = CRegKey::Open(RegRoot::LocalMachine, kTableKey, RegAccess::Read, key);
    if (status == RegStatus::NotFound)
        return table;
    std::string name;
    for (std::uint32_t index = 0; status == RegStatus::Ok; ++index) {
        status = key.EnumValue(index, name);
        if (status != RegStatus::Ok)
            break;
        char letter = LetterOfValue(kDevicePrefix, name);
        char fingerprinted = LetterOfValue(kFingerprintPrefix, name);
        if (letter == 0 && fingerprinted == 0)
            continue;
        std::string text;
        RegStatus read = ReadStringValue(key, name, text);
        if (read == RegStatus::NotFound || text.empty())
            continue;  // another type, or nothing in it: not a letter
        if (read != RegStatus::Ok) {
            status = read;
            break;
        }
        (letter != 0 ? table.devices[letter] : table.fingerprints[fingerprinted]) = text;
    }
    // A table read in part would hand out letters that are taken.
    if (status != RegStatus::NoMoreItems)
        return {{}, {}, ReadFailure(status)};
    std::erase_if(table.fingerprints, [&](const auto& entry) { return table.devices.count(entry.first) == 0; });
    return table;
}

bool StoreLetter(char letter, const std::string& device, const std::string& fingerprint, std::string& error)
{
    CRegKey key;
    RegStatus status = CRegKey::Create(RegRoot::LocalMachine, kTableKey, key);
    // The fingerprint goes first: a letter is never without the one it was given.
    if (status == RegStatus::Ok && !fingerprint.empty())
        status = WriteStringValue(key, ValueName(kFingerprintPrefix, letter), fingerprint);
    if (status == RegStatus::Ok && fingerprint.empty()) {
        status = DeleteLetterValues(key, kFingerprintPrefix, letter);
        if (status == RegStatus::NotFound)
            status = RegStatus::Ok;
    }
    if (status == RegStatus::Ok)
        status = WriteStringValue(key, ValueName(kDevicePrefix, letter), device);
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
    if (status == RegStatus::Ok)
        status = DeleteLetterValues(key, kDevicePrefix, letter);
    if (status == RegStatus::Ok) {
        status = DeleteLetterValues(key, kFingerprintPrefix, letter);
        if (status == RegStatus::NotFound)
            status = RegStatus::Ok;
    }
    if (status != RegStatus::Ok) {
        error = StoreFailure(status);
        return false;
    }
    return true;
}

CLetterTableLock::CLetterTableLock(std::chrono::milliseconds wait)
{
    const bool realMachine = !SystemRoot();
    std::string path = MachineFile("drives.lock", "/var/lib/vantrel/drives.lock");
    if (realMachine && geteuid() == 0) {
        m_error = UnsafeFolder(std::filesystem::path(path).parent_path().string());
        if (!m_error.empty())
            return;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno != EACCES && errno != EPERM && errno != EROFS && errno != ENOENT)
            m_error = "cannot open " + path + ": " + std::strerror(errno);
        return;
    }
    struct stat info {};
    bool safe = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (safe && realMachine) {
        // Made 0644 by earlier releases: nobody but root may open it for locking.
        safe = info.st_uid == 0 && ((info.st_mode & 077) == 0 || ::fchmod(fd, 0600) == 0);
    }
    if (!safe) {
        ::close(fd);
        m_error = path + " is not a lock file of root's alone";
        return;
    }
    auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            m_error = "the drive-letter table is locked by another process (" + path + ")";
            return;
        }
        std::this_thread::sleep_for(kLockRetry);
    }
    m_fd = fd;
}

CLetterTableLock::~CLetterTableLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

}  // namespace platform
