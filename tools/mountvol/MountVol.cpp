// vantrel-mountvol: lists, assigns and removes drive letters.
//   vantrel-mountvol              one line per letter: letter, type, size in bytes, device
//   vantrel-mountvol X: PATH      assigns X: to a block device or image file
//   vantrel-mountvol X: /d        removes X:
#include "platform/drives/DriveView.h"
#include "platform/drives/Drives.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

const char* const kUsage =
    "usage: vantrel-mountvol             list the drive letters\n"
    "       vantrel-mountvol X: PATH     assign X: to a block device or image file\n"
    "       vantrel-mountvol X: /d       remove X:\n";

const char* TypeName(const platform::CDriveEntry& drive)
{
    if (!drive.present)
        return "missing";
    switch (drive.type) {
    case platform::kDriveRemovable: return "removable";
    case platform::kDriveFixed: return "fixed";
    case platform::kDriveRemote: return "remote";
    case platform::kDriveCdrom: return "cdrom";
    case platform::kDriveRamdisk: return "ramdisk";
    default: return "unknown";
    }
}

int ListDrives()
{
    for (const auto& drive : platform::CurrentDrives().drives)
        std::printf("%c:  %-9s  %15llu  %s\n", drive.letter, TypeName(drive),
                    static_cast<unsigned long long>(drive.present ? drive.size : 0), drive.device.c_str());
    return 0;
}

int Fail(const std::string& message)
{
    std::cerr << "vantrel-mountvol: " << message << "\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 1)
        return ListDrives();
    std::string first = argv[1];
    if (argc == 2 && (first == "/?" || first == "-h" || first == "--help")) {
        std::cout << kUsage;
        return 0;
    }
    if (argc != 3)
        return Fail("expected no argument, X: PATH or X: /d (see --help)");
    auto letter = platform::ParseDriveName(first);
    if (!letter)
        return Fail("'" + first + "' is not a drive letter (A: to Z:)");
    std::string second = argv[2];
    std::string error;
    bool done = second == "/d" || second == "/D" ? platform::RemoveDriveLetter(*letter, error)
                                                 : platform::AssignDriveLetter(*letter, second, error);
    return done ? 0 : Fail(error);
}
