// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/NtfsCheck.h"

#include "clone/CloneTexts.h"
#include "platform/system/WaitBound.h"
#include "platform/volume/SharedVolume.h"

namespace {

constexpr std::chrono::minutes kReadingToolBound{30};

}  // namespace

std::chrono::milliseconds ReadingToolBound()
{
    return platform::WaitBound(kReadingToolBound);
}

CNtfsCheck CheckNtfsVolume(const platform::IVolume& volume)
{
    const std::chrono::milliseconds bound = ReadingToolBound();
    platform::CProgramEnding ending =
        platform::RunToolOnVolumes({"ntfsfix", "--no-action", platform::VolumeArgument(0)}, {&volume}, bound);
    CNtfsCheck check;
    if (ending.overdue)
        check.whyNotRun = CheckOverdueText(bound);
    else if (ending.startError != 0 || ending.signal != 0)
        check.whyNotRun = CheckNotRunText(ending.startError, ending.signal);
    else
        check.result = ending.exitCode == 0 ? NtfsCheckResult::Passes : NtfsCheckResult::Fails;
    return check;
}
