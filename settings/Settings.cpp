// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/Settings.h"

#include "settings/Registry.h"

int SafeModeOnly = 0;
int DontUseSafeMode = 0;
int ChooseSafeMode = 1;
int FastMode = 1;
int VerifyCopy = 0;
int UsedSpaceOnly = 0;

namespace {

struct StoredSetting {
    const char* name;
    int* value;
    int fallback;
};

// In the order they are read and written.
const StoredSetting kSettings[] = {
    {"SafeModeOnly", &SafeModeOnly, 0},
    {"DontUseSafeMode", &DontUseSafeMode, 0},
    {"ChooseSafeMode", &ChooseSafeMode, 1},
    {"FastMode", &FastMode, 1},
    {"VerifyCopy", &VerifyCopy, 0},
    {"UsedSpaceOnly", &UsedSpaceOnly, 0},
};

}  // namespace

SafeModeChoice CurrentSafeModeChoice()
{
    if (ChooseSafeMode != 0)
        return SafeModeChoice::Ask;
    return DontUseSafeMode != 0 ? SafeModeChoice::AtOnce : SafeModeChoice::AtNextStart;
}

void LoadSettings()
{
    for (const StoredSetting& setting : kSettings)
        *setting.value = CRegistry().GetDword(platform::RegRoot::LocalMachine, kVantrelKey, setting.name);
    for (const StoredSetting& setting : kSettings) {
        if (*setting.value == -1)
            *setting.value = setting.fallback;
    }
}

void SaveSettings()
{
    for (const StoredSetting& setting : kSettings)
        CRegistry().SetDword(platform::RegRoot::LocalMachine, kVantrelKey, setting.name, *setting.value != 0 ? 1 : 0);
}
