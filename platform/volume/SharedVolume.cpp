// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/SharedVolume.h"

#include "platform/volume/DeviceVolume.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::unique_ptr<IVolume> ReopenShared(const IVolume& volume)
{
    const int descriptor = volume.Descriptor();
    if (descriptor < 0) {
        errno = EBADF;
        return nullptr;
    }
    // The link of an open descriptor in /proc stands for its file, not for a name: opening
    // it opens that inode again, whatever the name it was opened by names now.
    const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
    CFd file;
    do
        file = CFd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    while (!file.IsOpen() && errno == EINTR);
    if (!file.IsOpen())
        return nullptr;
    struct stat was {};
    struct stat now {};
    if (::fstat(descriptor, &was) != 0 || ::fstat(file.Get(), &now) != 0)
        return nullptr;
    if (was.st_dev != now.st_dev || was.st_ino != now.st_ino || was.st_rdev != now.st_rdev) {
        errno = ESTALE;
        return nullptr;
    }
    return std::make_unique<CDeviceVolume>(std::move(file), volume.Size(), false, volume.Extent());
}

CProgramEnding RunToolOnVolumes(const std::vector<std::string>& argv, const std::vector<const IVolume*>& volumes,
                                std::optional<std::chrono::milliseconds> bound)
{
    CRunOptions options;
    options.quiet = true;
    options.holdStopSignals = true;
    options.bound = bound;
    for (const IVolume* volume : volumes) {
        // Without /proc the program could not open what it is given: it would fail as if
        // the volume were damaged.
        const int descriptor = volume->Descriptor();
        if (descriptor < 0 || ::access(("/proc/self/fd/" + std::to_string(descriptor)).c_str(), F_OK) != 0) {
            CProgramEnding ending;
            ending.startError = EBADF;
            return ending;
        }
        options.inheritedFiles.push_back(descriptor);
    }
    return RunProgramToEnd(argv, options);
}

std::string VolumeArgument(std::size_t index)
{
    return InheritedFilePath(index);
}

}  // namespace platform
