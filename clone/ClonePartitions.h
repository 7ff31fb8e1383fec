// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/CloneDrive.h"
#include "platform/volume/RawVolume.h"

#include <memory>
#include <string>
#include <variant>

// The two partitions of one clone, open and at their first byte: the source for reading,
// the destination for writing, on storage that does not overlap.
struct CClonePartitions {
    std::unique_ptr<platform::IVolume> source;
    std::unique_ptr<platform::IVolume> destination;
};

// Why a clone cannot begin: how it ends and the message the user is to be shown (for a
// partition that cannot be opened, the front end's text and why). The front end has heard
// of it (OnOpenFailed, OnRefused) and both partitions are closed.
struct CCloneRefusal {
    CloneOutcome outcome;
    std::string text;
};

// Opens the source of request, then its destination, through volumes, and refuses two
// that share storage: the copy would overwrite what it reads. The open partitions, or
// why the clone cannot begin.
std::variant<CClonePartitions, CCloneRefusal> OpenClonePartitions(const CCloneRequest& request,
                                                                  ICloneFrontEnd& frontEnd,
                                                                  platform::IVolumeOpener& volumes);
