// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/NtfsCheck.h"

#include "clone/CloneTexts.h"
#include "platform/volume/SharedVolume.h"

CNtfsCheck CheckNtfsVolume(const platform::IVolume& volume)
{
    platform::CProgramEnding ending =
        platform::RunToolOnVolumes({"ntfsfix", "--no-action", platform::VolumeArgument(0)}, {&volume});
    CNtfsCheck check;
    if (ending.startError != 0 || ending.signal != 0)
        check.whyNotRun = CheckNotRunText(ending.startError, ending.signal);
    else
        check.result = ending.exitCode == 0 ? NtfsCheckResult::Passes : NtfsCheckResult::Fails;
    return check;
}
