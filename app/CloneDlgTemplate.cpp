// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CloneDlgTemplate.h"

#include "worker/CloneDlgControls.h"

#include <iterator>

using namespace platform;
using namespace clonedlg;

namespace {

// The two halves of the dialog (dialog units): a label column and a field column each.
// The bytes-copied field sits in the left field column and its row stays where the
// worker's glyph row (pixels 127 to 229 across, 92 to 104 down, with the dialog font's 6
// by 13 base units) falls inside it; the rows above it are packed to make room for the
// two lines under each list.
constexpr int kHalfWidth = 200;
constexpr int kLabelX = 4, kFieldX = 82;
constexpr int kLabelWidth = 76, kFieldWidth = 112, kListWidth = 40, kListDropHeight = 80;
constexpr int kLineWidth = kHalfWidth - 2 * kLabelX, kFieldHeight = 10;
constexpr int kListY = 3, kDriveLineY = 18, kDriveLinesHeight = 16, kFileSystemY = 34, kSizeY = 44, kBytesCopiedY = 55,
              kBarY = 70;
constexpr int kButtonY = 84, kButtonHeight = 14;
constexpr int kDialogWidth = 2 * kHalfWidth, kDialogHeight = kButtonY + kButtonHeight + 6;

void AddHalf(std::vector<CControlTemplate>& controls, int x, const char* listLabel, int list, int driveLine,
             int fileSystem, int size)
{
    controls.push_back({kNoId, ControlKind::Text, {x + kLabelX, kListY + 2, kLabelWidth, 8}, listLabel, kRight});
    controls.push_back({list, ControlKind::DropDownList, {x + kFieldX, kListY, kListWidth, kListDropHeight}, "",
                        kSort | kUpperCase | kTabStop});
    controls.push_back(
        {driveLine, ControlKind::Text, {x + kLabelX, kDriveLineY, kLineWidth, kDriveLinesHeight}, "", kPathEllipsis});
    controls.push_back(
        {kNoId, ControlKind::Text, {x + kLabelX, kFileSystemY + 1, kLabelWidth, 8}, "File system:", kRight});
    controls.push_back(
        {fileSystem, ControlKind::Text, {x + kFieldX, kFileSystemY, kFieldWidth, kFieldHeight}, "", kSunken});
    controls.push_back(
        {kNoId, ControlKind::Text, {x + kLabelX, kSizeY + 1, kLabelWidth, 8}, "Partition size (bytes):", kRight});
    controls.push_back({size, ControlKind::Text, {x + kFieldX, kSizeY, kFieldWidth, kFieldHeight}, "", kSunken});
}

}  // namespace

CDialogTemplate CloneDialogTemplate()
{
    CDialogTemplate dialog{102, "Vantrel", kDialogWidth, kDialogHeight, kMinimizeBox, {}};
    std::vector<CControlTemplate>& controls = dialog.controls;
    AddHalf(controls, 0, "Partition to copy from:", kSourceList, kSourceDriveLine, kSourceFileSystem, kSourceSize);
    AddHalf(controls, kHalfWidth, "Partition to copy to:", kDestList, kDestDriveLine, kDestFileSystem, kDestSize);

    controls.push_back(
        {kBytesLabel, ControlKind::Text, {kLabelX, kBytesCopiedY + 2, kLabelWidth, 8}, kBytesCopiedLabel, kRight});
    controls.push_back({kBytesCopied, ControlKind::Text, {kFieldX, kBytesCopiedY, kFieldWidth, 12}, "", kSunken});
    // Above the field they are drawn in; the worker moves each into place as it fills.
    for (int i = 0; i < kGlyphCount; ++i)
        controls.push_back({kFirstGlyph + i, ControlKind::Text, {85 + 4 * i, kBytesCopiedY + 3, 4, 8}, "0", 0});
    // What runs, how far it is, how fast it goes and how long the rest takes.
    controls.push_back({kProgressText, ControlKind::Text, {kHalfWidth + kLabelX, kBytesCopiedY + 2, kLineWidth, 9},
                        "", kPathEllipsis});
    controls.push_back({kProgressBar, ControlKind::ProgressBar, {kLabelX, kBarY, kDialogWidth - 2 * kLabelX, 9}, "", 0});

    struct CButton {
        int id;
        const char* text;
        int width;
    };
    const CButton buttons[] = {{kCreateButton, "&Create the Clone", 72}, {kCancelButton, "Ca&ncel the Clone", 72},
                               {kDriveConfigsButton, "&Drive Configs", 62}, {kOptionsButton, "&Options", 52},
                               {kHelpButton, "&Help", 52},                  {kExitButton, "E&xit", 52}};
    int used = 0;
    for (const CButton& button : buttons)
        used += button.width;
    // The row spans the dialog, its buttons evenly apart.
    const int count = static_cast<int>(std::size(buttons));
    const int gap = (kDialogWidth - 2 * kLabelX - used) / (count - 1);
    int x = kLabelX;
    for (const CButton& button : buttons) {
        controls.push_back({button.id, ControlKind::PushButton, {x, kButtonY, button.width, kButtonHeight},
                            button.text, kTabStop});
        x += button.width + gap;
    }
    return dialog;
}
