// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Control ids of the Options dialog.
namespace optionsdlg {

constexpr int kSafeModeOnlyButton = 1049;
constexpr int kDontUseSafeModeButton = 1052;
constexpr int kChooseSafeModeButton = 1053;
constexpr int kFastModeButton = 1008;
constexpr int kSlowModeButton = 1009;
constexpr int kVerifyCopyBox = 1010;
constexpr int kUsedSpaceOnlyBox = 1011;

}  // namespace optionsdlg
