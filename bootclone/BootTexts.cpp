// SPDX-License-Identifier: GPL-3.0-or-later
#include "bootclone/BootTexts.h"

#include "clone/HumanUnits.h"
#include "clone/ReportFile.h"
#include "platform/system/WaitBound.h"

namespace boottexts {

namespace {

const std::string kPrefix = "Partition Restore => ";
const std::string kNotMade = "The clone was not made.";

}  // namespace

std::string DidNotAppearText(const std::string& drive, std::chrono::milliseconds bound)
{
    return kPrefix + "The " + drive + " partition did not appear within " + platform::WaitBoundText(bound) +
           ".  Its name is made by udev once the kernel has found the disk: is the disk connected?  " + kNotMade;
}

std::string ChangedText(const std::string& drive, bool resized)
{
    if (resized)
        return kPrefix + "The " + drive +
               " partition has another size than when the clone was scheduled: it was resized.  " + kNotMade;
    return kPrefix + "Another device is where the " + drive +
           " partition was, and the partition is not found under another name: it was replaced since the clone "
           "was scheduled.  " + kNotMade;
}

std::string InUseText(const std::string& drive, const std::string& use, bool mounted)
{
    return kPrefix + "The " + drive + " partition is " + use + ".  " +
           (mounted ? "A mounted partition" : "A partition in use") +
           " can change while it is copied: the clone was not made.";
}

std::string StoppedWhileWaitingText(const std::string& drive, int signal)
{
    return kPrefix + "Keldrun was stopped by signal " + std::to_string(signal) + " while it waited for the " + drive +
           " partition to appear.  " + kNotMade;
}

std::string StoppedBeforeCloneText(int signal)
{
    return kPrefix + "Keldrun was stopped by signal " + std::to_string(signal) + " before the clone began.  " +
           kNotMade;
}

std::string WaitingLine(const std::string& drive, std::chrono::seconds waited, std::chrono::milliseconds bound)
{
    return "Waiting for the " + drive + " partition to appear: " + std::to_string(waited.count()) +
           " s of at most " + platform::WaitBoundText(bound) + ".";
}

std::string FoundElsewhereLine(const std::string& drive, const std::string& node)
{
    return "The " + drive + " partition is " + node + " now: it was found by its fingerprint.";
}

std::string CloneBeginsLine(const std::string& source, std::uint64_t sourceBytes, const std::string& destination,
                            std::uint64_t destinationBytes, bool fastMode)
{
    return "Copying the " + source + " partition (" + BinarySizeText(sourceBytes) + ") onto the " + destination +
           " partition (" + BinarySizeText(destinationBytes) + ") in " + (fastMode ? "fast" : "slow") + " mode.";
}

std::string VerifyingLine(std::uint64_t bytes)
{
    return "Verifying the copy: reading back " + AddThousandsSeparators(FormatBytes(bytes)) +
           " bytes of both partitions...";
}

std::string BytesVerifiedLine(std::uint64_t compared)
{
    return AddThousandsSeparators(FormatBytes(compared)) + " total accumulated bytes verified...";
}

}  // namespace boottexts
