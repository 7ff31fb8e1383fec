// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/qt/DialogTemplate.h"

// Dialog 102, "Vantrel": the two partition lists with the file system and size of each
// choice, the bytes-copied field with its glyph row, and the row of buttons.
platform::CDialogTemplate CloneDialogTemplate();
