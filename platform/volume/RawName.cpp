#include "platform/volume/RawVolume.h"

#include <cctype>

namespace platform {

std::optional<char> RawVolumeLetter(const std::string& rawName)
{
    const std::string prefix = "\\\\.\\";
    if (rawName.size() != prefix.size() + 2 || rawName.compare(0, prefix.size(), prefix) != 0 ||
        rawName.back() != ':')
        return std::nullopt;
    unsigned char letter = static_cast<unsigned char>(rawName[prefix.size()]);
    if (!std::isalpha(letter))
        return std::nullopt;
    return static_cast<char>(std::toupper(letter));
}

}  // namespace platform
