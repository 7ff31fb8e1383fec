// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/SharedVolume.h"

#include "platform/volume/DeviceVolume.h"
#include "platform/volume/ReopenVolume.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::unique_ptr<IVolume> ReopenShared(const IVolume& volume)
{
    CFd file = ReopenVolumeFile(volume, O_RDWR);
    if (!file.IsOpen())
        return nullptr;
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
