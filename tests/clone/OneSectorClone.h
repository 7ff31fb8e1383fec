// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/CloneDrive.h"

// Slow mode as it was when every transfer moved one sector: one read and one write per
// sector, straight from the description of the copy. The engine moves healthy runs in
// one transfer; whatever the faults, its result must be this one's.
CloneOutcome CloneOneSectorAtATime(const CCloneRequest& request, ICloneFrontEnd& frontEnd,
                                   platform::IVolumeOpener& volumes);
