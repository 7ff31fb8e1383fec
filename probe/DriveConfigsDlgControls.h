// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Control ids of the Drive Configurations dialog.
namespace driveconfigsdlg {

constexpr int kDriveList = 1007;

}  // namespace driveconfigsdlg
