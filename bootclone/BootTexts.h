// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// What Keldrun says about the partitions of a clone at boot, before the clone. drive is a
// drive as DescribeBootDrive tells it: "E: (/dev/disk/by-partuuid/...)".
namespace boottexts {

std::string DidNotAppearText(const std::string& drive, std::chrono::milliseconds bound);
// A device that is not the letter's own stands where it was: replaced, or resized when
// it is the same device with another size.
std::string ChangedText(const std::string& drive, bool resized);
// use as DescribeUse tells it: "mounted on /mnt through /dev/loop2".
std::string InUseText(const std::string& drive, const std::string& use, bool mounted);
std::string StoppedWhileWaitingText(const std::string& drive, int signal);
// A stop signal came once both partitions were there, before the clone began.
std::string StoppedBeforeCloneText(int signal);

// The console while Keldrun waits: a line now and then, and where a letter's device was
// found under another name.
std::string WaitingLine(const std::string& drive, std::chrono::seconds waited, std::chrono::milliseconds bound);
std::string FoundElsewhereLine(const std::string& drive, const std::string& node);

// Before the copy: both partitions with their devices and sizes, and the mode.
std::string CloneBeginsLine(const std::string& source, std::uint64_t sourceBytes, const std::string& destination,
                            std::uint64_t destinationBytes, bool fastMode);

// The console while Keldrun verifies the copy: a line as it begins, with the bytes it will
// compare, then the bytes compared so far, now and then.
std::string VerifyingLine(std::uint64_t bytes);
std::string BytesVerifiedLine(std::uint64_t compared);

}  // namespace boottexts
