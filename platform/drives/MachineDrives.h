// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveTable.h"

namespace platform {

// The drives of this machine (or of the simulated one under VANTREL_SYSTEM_ROOT).
IDriveTable& MachineDrives();

}  // namespace platform
