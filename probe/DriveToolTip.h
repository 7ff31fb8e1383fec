// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveTable.h"

#include <string>

// What tells a Linux user which device a drive letter stands for, shown beside the letter
// in the dialogs: its device node or image file, its size in binary units, the label of its
// file system and where it is mounted. Empty for a letter without a drive.
std::string DriveToolTip(platform::IDriveTable& drives, const std::string& volume);
