// SPDX-License-Identifier: GPL-3.0-or-later
// vantrel-mountvol: lists, assigns and removes drive letters.
//   vantrel-mountvol              one line per letter: letter, type, size in bytes, device
//   vantrel-mountvol X: PATH [/f] assigns X: to a block device or image file
//   vantrel-mountvol X: /d        removes X:
#include "platform/drives/DriveLetters.h"
#include "platform/drives/DriveTable.h"
#include "platform/drives/DriveView.h"
#include "platform/drives/LetterTable.h"
#include "platform/system/StandardOptions.h"
#include "platform/volume/VolumeExtent.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

const char* const kUsage =
    "Usage: vantrel-mountvol               list the drive letters\n"
    "       vantrel-mountvol X: PATH       assign X: to a block device or image file\n"
    "       vantrel-mountvol X: PATH /f    the same, even where PATH overlaps another drive\n"
    "       vantrel-mountvol X: /d         remove X:\n"
    "       vantrel-mountvol --help | --version\n";

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

int Fail(const std::string& message)
{
    std::cerr << "vantrel-mountvol: " << message << "\n";
    return 1;
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// A vanished drive (its device gone, or another device under its name) keeps its letter
// until it is removed with X: /d; it is listed as missing.
int ListDrives()
{
    platform::CDriveView view = platform::CurrentDrives();
    if (!view.tableError.empty())
        return Fail(view.tableError);
    for (const auto& drive : view.drives)
        std::printf("%c:  %-9s  %15llu  %s%s\n", drive.letter, TypeName(drive),
                    static_cast<unsigned long long>(drive.present ? drive.size : 0), drive.device.c_str(),
                    drive.replaced ? "  (another device is there now)" : "");
    std::fflush(stdout);
    if (view.unlettered.empty())
        return 0;
    if (!view.lockError.empty())
        return Fail(view.lockError + "; no letter given to " + Joined(view.unlettered));
    return Fail("no free drive letter for " + Joined(view.unlettered));
}

// A volume sharing storage with a lettered one would let a clone overwrite its own source.
int Assign(char letter, const std::string& path, bool force)
{
    std::string error;
    if (!force) {
        if (auto extent = platform::PathExtent(path)) {
            for (const auto& [other, device] : platform::DriveLetters()) {
                auto otherExtent = platform::IsNetworkDevice(device) ? std::nullopt : platform::PathExtent(device);
                if (other != letter && otherExtent && platform::Overlaps(*extent, *otherExtent))
                    return Fail(path + " overlaps drive " + other + ": (" + device +
                                "); add /f to assign it all the same");
            }
        }
    }
    return platform::AssignDriveLetter(letter, path, error) ? 0 : Fail(error);
}

bool IsSwitch(const std::string& text, char name)
{
    return text.size() == 2 && text[0] == '/' && (text[1] == name || text[1] == name - 'a' + 'A');
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 1)
        return ListDrives();
    if (platform::AnsweredStandardOption(argc, argv, "vantrel-mountvol", kUsage))
        return 0;
    std::string first = argv[1];
    if (argc == 2 && (first == "/?" || first == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (argc != 3 && !(argc == 4 && IsSwitch(argv[3], 'f')))
        return Fail("expected no argument, X: PATH [/f] or X: /d (see --help)");
    auto letter = platform::ParseDriveName(first);
    if (!letter)
        return Fail("'" + first + "' is not a drive letter (A: to Z:)");
    std::string second = argv[2];
    if (IsSwitch(second, 'd')) {
        if (argc == 4)
            return Fail("/f goes with X: PATH only (see --help)");
        std::string error;
        return platform::RemoveDriveLetter(*letter, error) ? 0 : Fail(error);
    }
    return Assign(*letter, second, argc == 4);
}
