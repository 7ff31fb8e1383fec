// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The stored settings, kept in memory for the whole run: flags, zero = off. Each bears the
// name of its REG_DWORD value under HKLM kVantrelKey.

// The program's own key, provided by the installation; the program never creates it.
inline constexpr char kVantrelKey[] = "Software\\Tembric\\Vantrel";

// "Use Safe Mode exclusively".
extern int SafeModeOnly;
// "Don't use Safe Mode at all": the clone always runs at once.
extern int DontUseSafeMode;
// "Will choose as needed": the user is asked at each clone.
extern int ChooseSafeMode;
// 1 = fast mode, 0 = slow mode.
extern int FastMode;
// "Verify the copy": both partitions are read back and compared after the copy. Not
// stored (every installation before it) is off.
extern int VerifyCopy;
// "Copy only used space": only what NTFS or FAT32 uses is copied.
extern int UsedSpaceOnly;

// How Create runs a clone, as the three Safe Mode settings decide it together: "Will
// choose as needed" asks the user and wins over the others; otherwise "Don't use Safe Mode
// at all" clones at once; otherwise, with "Use Safe Mode exclusively" or with none of the
// three on, the clone waits for the next start of the machine. The settings themselves
// stay three flags, since stored values with none or several on are shown and stored as
// they are.
enum class SafeModeChoice { Ask, AtOnce, AtNextStart };
SafeModeChoice CurrentSafeModeChoice();

// Reads the settings; one that is not stored (or a key that cannot be opened) takes its
// default: 0, 0, 1, 1, and 0 for VerifyCopy and UsedSpaceOnly.
void LoadSettings();
// Stores each setting as 0 or 1 into the existing key; failures are silent.
void SaveSettings();
