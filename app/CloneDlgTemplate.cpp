// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CloneDlgTemplate.h"

#include "worker/CloneDlgControls.h"

using namespace platform;
using namespace clonedlg;

namespace {

// Label and field columns of the left and right halves (dialog units). The bytes-copied
// field sits in the left field column so that the worker's glyph row (pixels 127 to 229
// across, 92 to 104 down, with the dialog font's 6 by 13 base units) falls inside it.
constexpr int kLeftLabel = 4, kLeftField = 82, kRightLabel = 160, kRightField = 238;
constexpr int kLabelWidth = 76, kFieldWidth = 75, kListWidth = 40, kListDropHeight = 80;

void AddHalf(std::vector<CControlTemplate>& controls, int labelX, int fieldX, const char* listLabel, int list,
             int fileSystem, int size)
{
    controls.push_back({kNoId, ControlKind::Text, {labelX, 9, kLabelWidth, 8}, listLabel, kRight});
    controls.push_back({list, ControlKind::DropDownList, {fieldX, 7, kListWidth, kListDropHeight}, "",
                        kSort | kUpperCase | kTabStop});
    controls.push_back({kNoId, ControlKind::Text, {labelX, 25, kLabelWidth, 8}, "File system:", kRight});
    controls.push_back({fileSystem, ControlKind::Text, {fieldX, 23, kFieldWidth, 12}, "", kSunken});
    controls.push_back({kNoId, ControlKind::Text, {labelX, 40, kLabelWidth, 8}, "Partition size (bytes):", kRight});
    controls.push_back({size, ControlKind::Text, {fieldX, 38, kFieldWidth, 12}, "", kSunken});
}

}  // namespace

CDialogTemplate CloneDialogTemplate()
{
    CDialogTemplate dialog{102, "Vantrel", 320, 92, kMinimizeBox, {}};
    std::vector<CControlTemplate>& controls = dialog.controls;
    AddHalf(controls, kLeftLabel, kLeftField, "Partition to copy from:", kSourceList, kSourceFileSystem, kSourceSize);
    AddHalf(controls, kRightLabel, kRightField, "Partition to copy to:", kDestList, kDestFileSystem, kDestSize);

    controls.push_back({kBytesLabel, ControlKind::Text, {kLeftLabel, 56, kLabelWidth, 8}, kBytesCopiedLabel, kRight});
    controls.push_back({kBytesCopied, ControlKind::Text, {kLeftField, 54, kFieldWidth, 12}, "", kSunken});
    // Above the field they are drawn in; the worker moves each into place as it fills.
    for (int i = 0; i < kGlyphCount; ++i)
        controls.push_back({kFirstGlyph + i, ControlKind::Text, {85 + 4 * i, 57, 4, 8}, "0", 0});

    struct CButton {
        int id;
        const char* text;
        int width;
    };
    int x = 5;
    for (CButton button : {CButton{kCreateButton, "&Create the Clone", 62}, CButton{kCancelButton, "Ca&ncel the Clone", 62},
                           CButton{kDriveConfigsButton, "&Drive Configs", 52}, CButton{kOptionsButton, "&Options", 44},
                           CButton{kHelpButton, "&Help", 40}, CButton{kExitButton, "E&xit", 40}}) {
        controls.push_back({button.id, ControlKind::PushButton, {x, 71, button.width, 14}, button.text, kTabStop});
        x += button.width + 2;
    }
    return dialog;
}
