// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DriveLine.h"

#include "clone/HumanUnits.h"

namespace {

// "/dev/sdb1, label SOURCE, 64.0 GiB".
std::string Identity(const CDriveFacts& facts)
{
    std::string text;
    if (!facts.device.empty())
        text = facts.device + ", ";
    if (!facts.label.empty())
        text += "label " + facts.label + ", ";
    return text + BinarySizeText(facts.size);
}

// "not mounted", "mounted on /mnt/data", "mounted on /mnt/data (read-only)", "held by dm-0".
std::string Use(const CDriveFacts& facts)
{
    if (!facts.use)
        return "not mounted";
    const bool readOnly = facts.use->readOnly && !facts.use->mountPoint.empty();
    return platform::DescribeUse(*facts.use) + (readOnly ? " (read-only)" : "");
}

bool WritableMount(const CDriveFacts& facts)
{
    return facts.use && !facts.use->mountPoint.empty() && !facts.use->readOnly;
}

}  // namespace

std::string SourceLineText(const CDriveFacts& facts, bool recognised)
{
    std::string text = Identity(facts) + "\n" + Use(facts);
    if (!recognised)
        return text + ": neither NTFS nor FAT32, nothing to clone";
    if (WritableMount(facts))
        return text + ": it may change while it is copied, clone it in Safe Mode";
    return text;
}

std::string DestinationLineText(const CDriveFacts& facts, SafeModeChoice choice)
{
    std::string text = Identity(facts) + "\n" + Use(facts);
    if (!facts.use)
        return text + ": will be overwritten";
    switch (choice) {
    case SafeModeChoice::AtOnce:
        return text + ": unmount it to clone onto it";
    case SafeModeChoice::Ask:
        return text + ": only Safe Mode can clone onto it";
    case SafeModeChoice::AtNextStart:
        break;
    }
    return text + ": will be overwritten at the next start";
}

bool DestinationBlocked(const CDriveFacts& facts, SafeModeChoice choice)
{
    return facts.use.has_value() && choice == SafeModeChoice::AtOnce;
}
