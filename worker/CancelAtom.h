// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The global atom whose presence asks a clone running in Vantrel to stop: Cancel adds it,
// the worker looks for it while it clones and removes it when it ends.
inline constexpr const char* kCancelAtomName = "Vantrel 1.1";
