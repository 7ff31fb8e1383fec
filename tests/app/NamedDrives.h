// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/SimulatedMachine.h"

#include <cstdint>

namespace apptest {

inline constexpr std::uint64_t kMiB = 1 << 20;

// An installed Vantrel with C: (NTFS, 100 MiB, /dev/sdb1 labelled SOURCE) and D: (NTFS,
// 200 MiB, /dev/sdc1 labelled DATA); Z: is the Windows drive, so both may be destinations.
inline void AddNamedDrives(guitest::CSimulatedMachine& machine)
{
    machine.SetInstallFolder(machine.m_machine.Path("Vantrel/"));
    machine.m_drives.SetWindowsDirectory("Z:\\WINDOWS");
    machine.AddNtfs('C', 100 * kMiB);
    machine.AddNtfs('D', 200 * kMiB);
    machine.m_drives.SetDetails('C', {"/dev/sdb1", "SOURCE", ""});
    machine.m_drives.SetDetails('D', {"/dev/sdc1", "DATA", ""});
}

}  // namespace apptest
