// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Control ids of the clone dialog; the clone worker, which locks the dialog and draws
// the byte count into it, reaches its controls by them too.
namespace clonedlg {

constexpr int kSourceList = 1019;
constexpr int kDestList = 1020;
constexpr int kSourceFileSystem = 1044;
constexpr int kSourceSize = 1027;
constexpr int kDestFileSystem = 1043;
constexpr int kDestSize = 1026;
constexpr int kBytesCopied = 1003;
// The label beside the byte count: it names the phase the count is of.
constexpr int kBytesLabel = 1045;
inline constexpr const char* kBytesCopiedLabel = "Bytes copied:";
inline constexpr const char* kBytesVerifiedLabel = "Bytes verified:";
constexpr int kFirstGlyph = 2001;
constexpr int kGlyphCount = 19;
constexpr int kCreateButton = 1002;
constexpr int kCancelButton = 1004;
constexpr int kDriveConfigsButton = 1005;
constexpr int kOptionsButton = 1001;
constexpr int kHelpButton = 1000;
constexpr int kExitButton = 2;

// Beside the byte count: the progress of a running clone as a bar and as a line of text
// (what runs, the percentage, the rate and the time left), which the worker draws too.
constexpr int kProgressBar = 1072;
constexpr int kProgressText = 1073;
// Under each partition list: the selected drive's device, label, size and use.
constexpr int kSourceDriveLine = 1070;
constexpr int kDestDriveLine = 1071;

// The About item of the window menu.
constexpr int kAboutCommand = 16;

}  // namespace clonedlg
