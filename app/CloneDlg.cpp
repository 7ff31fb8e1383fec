// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CloneDlg.h"

#include "app/AboutDlg.h"
#include "app/CloneDlgTemplate.h"
#include "app/CloneDlgTexts.h"
#include "app/DriveChecks.h"
#include "app/InstallFolder.h"
#include "app/VantrelIcon.h"
#include "clone/ReportFile.h"
#include "platform/help/Help.h"
#include "platform/ui/Controls.h"
#include "platform/ui/MessageBox.h"
#include "probe/DriveConfigsDlg.h"
#include "probe/DriveToolTip.h"
#include "settings/OptionsDlg.h"
#include "settings/ScheduledClone.h"
#include "settings/Settings.h"
#include "worker/CloneDlgControls.h"

using namespace clonedlg;

namespace {

std::string Shown(const std::string& fileSystem)
{
    return " " + fileSystem;
}

std::string Shown(std::uint64_t size)
{
    return " " + AddThousandsSeparators(FormatBytes(size));
}

}  // namespace

CCloneDlg::CCloneDlg(platform::IDriveTable& drives, platform::IVolumeOpener& volumes)
    : CDialog(CloneDialogTemplate()), m_drives(drives), m_volumes(volumes), m_probe(true, drives, volumes)
{
    OnSelChange(kSourceList, [this] { OnSelchangeSource(); });
    OnSelChange(kDestList, [this] { OnSelchangeDest(); });
    OnClicked(kCreateButton, [this] { OnCreateClone(); });
    OnClicked(kCancelButton, [this] { OnCancelClone(); });
    OnClicked(kDriveConfigsButton, [this] { OnDriveConfigs(); });
    OnClicked(kOptionsButton, [this] { OnOptions(); });
    OnClicked(kHelpButton, [this] { OnHelp(); });
}

bool CCloneDlg::OnInitDialog()
{
    AppendSystemMenuItem(kAboutCommand, "&About Vantrel...");
    SetIcon(kVantrelIcon);
    EnableControl(kCreateButton, false);
    EnableControl(kCancelButton, false);
    if (!GetInstallFolder(m_installFolder)) {
        EndDialog(platform::IDCANCEL);
        return true;
    }
    FillPartitionList(ListMode::Source);
    ClearProgressDigits();
    LoadSettings();
    SetCurSel(kSourceList, 0);
    OnSelchangeSource();
    SetFocusTo(kExitButton);
    OfferToCancelScheduledClone();
    return false;
}

void CCloneDlg::OfferToCancelScheduledClone()
{
    std::optional<CScheduledClone> clone = FindScheduledClone();
    if (!clone)
        return;
    const std::string summary =
        ScheduledCloneSummary(*clone, [this](const std::string& drive) { return DescribeDrive(drive); });
    if (platform::MessageBox(ScheduledCloneNoticeText(summary), platform::MbButtons::YesNo) != platform::IDYES)
        return;
    platform::MessageBox(CancelScheduledClone() ? kScheduledCloneCancelledText : kScheduledCloneNotCancelledText);
}

// Source mode lists every reportable drive but A:. Destination mode lists, after an
// empty entry, the drives that can take the source: recognised, at least as large, not
// NTFS onto FAT32, neither the Windows drive nor the source itself, under this letter or
// another one, nor any part of either, and a single volume (no whole disk that holds
// partitions, no extended partition's container). Nothing but the empty entry is offered
// for a source that could not be recognised. Every entry tells its device as a tool tip.
void CCloneDlg::FillPartitionList(ListMode mode)
{
    std::string windowsDrive = m_drives.GetWindowsDirectory().substr(0, 1);
    std::string letters = m_probe.SurveyDrives(false);
    AddString(kDestList, "");
    bool sourceKnown = !m_sourceFileSystem.empty();
    std::optional<platform::CVolumeExtent> windowsExtent =
        mode == ListMode::Destination ? ExtentOf(windowsDrive + ":") : std::nullopt;
    for (char letter : letters) {
        std::string drive(1, letter);
        if (drive == "A")
            continue;
        if (mode == ListMode::Source) {
            AddListedDrive(kSourceList, drive + ":");
            continue;
        }
        if (!sourceKnown)
            break;
        if (m_probe.ProbeVolume(drive + ":", m_destFileSystem, m_destSize, m_sizeFieldList) &&
            m_sourceSize <= m_destSize && !(m_sourceFileSystem == "NTFS" && m_destFileSystem == "FAT32") &&
            drive != windowsDrive && drive != m_sourceDrive.substr(0, 1) &&
            !SharesStorage(drive + ":", {m_sourceExtent, windowsExtent}) &&
            !WholeDiskDestination(m_volumes, drive + ":"))
            AddListedDrive(kDestList, drive + ":");
    }
    EnableControl(kDestList, true);
}

// A drive in use is marked in the list: a destination that anything uses, a source that
// is mounted for writing. It stays listed, and its line tells why it is marked.
void CCloneDlg::AddListedDrive(int list, const std::string& drive)
{
    const int index = AddString(list, drive);
    SetItemToolTip(list, index, DriveToolTip(m_drives, drive));
    std::optional<platform::CVolumeUse> use = DriveInUse(m_volumes, drive);
    const bool marked = list == kDestList ? use.has_value()
                                          : use && !use->mountPoint.empty() && !use->readOnly;
    SetItemDimmed(list, index, marked);
}

std::optional<platform::CVolumeExtent> CCloneDlg::ExtentOf(const std::string& drive)
{
    std::unique_ptr<platform::IVolume> volume =
        m_volumes.Open(platform::RawVolumeName(drive), platform::VolumeAccess::Read);
    if (!volume)
        return std::nullopt;
    return volume->Extent();
}

bool CCloneDlg::SharesStorage(const std::string& drive,
                              std::initializer_list<std::optional<platform::CVolumeExtent>> others)
{
    std::optional<platform::CVolumeExtent> extent = ExtentOf(drive);
    if (!extent)
        return true;
    for (const auto& other : others)
        if (other && platform::Overlaps(*extent, *other))
            return true;
    return false;
}

void CCloneDlg::ShowDriveFields(int fileSystemField, int sizeField, const std::string& drive,
                                const std::string& fileSystem, std::uint64_t size)
{
    std::string toolTip = drive.empty() ? std::string() : DriveToolTip(m_drives, drive);
    SetControlText(fileSystemField, drive.empty() ? "" : Shown(fileSystem));
    SetControlText(sizeField, drive.empty() ? "" : Shown(size));
    SetControlToolTip(fileSystemField, toolTip);
    SetControlToolTip(sizeField, toolTip);
}

CDriveFacts CCloneDlg::FactsOf(const std::string& drive, std::optional<std::uint64_t> size)
{
    CDriveFacts facts;
    platform::CDriveDetails details;
    if (m_drives.GetDriveDetails(drive, details)) {
        facts.device = details.device;
        facts.label = details.label;
    }
    if (size) {
        facts.size = *size;
    } else {
        std::uint64_t freeToCaller = 0, totalFree = 0;
        m_drives.GetDiskFreeSpaceEx(drive, freeToCaller, facts.size, totalFree);
    }
    // What the raw volume is opened from tells its users; a drive whose volume cannot tell
    // it is as mounted as the drive table says.
    if (m_volumes.Device(platform::RawVolumeName(drive))) {
        facts.use = DriveInUse(m_volumes, drive);
    } else if (!details.mountPoint.empty()) {
        facts.use.emplace();
        facts.use->mountPoint = details.mountPoint;
    }
    return facts;
}

std::string CCloneDlg::DescribeDrive(const std::string& drive)
{
    platform::CDriveDetails details;
    if (!m_drives.GetDriveDetails(drive, details) || details.device.empty())
        return drive;
    return drive + " (" + details.device + ")";
}

void CCloneDlg::ShowSourceLine(bool probed)
{
    std::string text;
    if (!m_sourceDrive.empty())
        text = SourceLineText(FactsOf(m_sourceDrive, probed ? std::optional(m_sourceSize) : std::nullopt), probed);
    SetControlText(kSourceDriveLine, text);
    SetControlToolTip(kSourceDriveLine, text);
}

void CCloneDlg::ShowDestinationLine(bool probed, bool mayEnableCreate)
{
    std::string text;
    bool blocked = false;
    if (!m_destDrive.empty()) {
        const CDriveFacts facts = FactsOf(m_destDrive, probed ? std::optional(m_destSize) : std::nullopt);
        text = DestinationLineText(facts, CurrentSafeModeChoice());
        blocked = DestinationBlocked(facts, CurrentSafeModeChoice());
    }
    SetControlText(kDestDriveLine, text);
    SetControlToolTip(kDestDriveLine, text);
    if (mayEnableCreate)
        EnableControl(kCreateButton, !m_destDrive.empty() && probed && !blocked);
}

void CCloneDlg::ClearProgressDigits()
{
    for (int id = kFirstGlyph; id < kFirstGlyph + kGlyphCount; ++id)
        SetControlText(id, "");
    SetControlText(kBytesLabel, kBytesCopiedLabel);
    SetProgress(kProgressBar, 0);
    SetControlText(kProgressText, "");
}

// From Create until the worker has unlocked the last control and ended, whatever the
// controls show.
bool CCloneDlg::CloneRunning() const
{
    return !m_clone.expired();
}

void CCloneDlg::OnSelchangeSource()
{
    EnableControl(kCreateButton, false);
    ResetContent(kDestList);
    ShowDriveFields(kDestFileSystem, kDestSize, "", "", 0);
    ShowDriveFields(kSourceFileSystem, kSourceSize, "", "", 0);
    ClearProgressDigits();
    m_sourceDrive = SelectedText(kSourceList);
    m_sourceExtent = ExtentOf(m_sourceDrive);
    const bool probed = m_probe.ProbeVolume(m_sourceDrive, m_sourceFileSystem, m_sourceSize, m_sizeFieldList);
    if (probed) {
        ShowDriveFields(kSourceFileSystem, kSourceSize, m_sourceDrive, m_sourceFileSystem, m_sourceSize);
    } else {
        // What an earlier source left here must not pass for this one's.
        m_sourceFileSystem.clear();
        m_sourceSize = 0;
        m_sizeFieldList.clear();
    }
    ShowSourceLine(probed);
    FillPartitionList(ListMode::Destination);
    SetCurSel(kDestList, 0);
    m_destDrive.clear();
    ShowDestinationLine(false, false);
}

// Create needs a destination whose size field was just read: a drive that changed since
// the list was filled would otherwise get another drive's size field.
void CCloneDlg::OnSelchangeDest()
{
    ClearProgressDigits();
    m_destDrive = SelectedText(kDestList);
    ShowDriveFields(kDestFileSystem, kDestSize, "", "", 0);
    m_destProbed = m_probe.ProbeVolume(m_destDrive, m_destFileSystem, m_destSize, m_sizeFieldList);
    if (m_destProbed)
        ShowDriveFields(kDestFileSystem, kDestSize, m_destDrive, m_destFileSystem, m_destSize);
    ShowDestinationLine(m_destProbed, true);
}

// The copy has the source's file system, size and label now; what uses either may have
// changed too.
void CCloneDlg::RefreshAfterClone()
{
    ShowDriveFields(kDestFileSystem, kDestSize, "", "", 0);
    if (!m_destDrive.empty())
        m_destProbed = m_probe.ProbeVolume(m_destDrive, m_destFileSystem, m_destSize, m_sizeFieldList);
    if (m_destProbed)
        ShowDriveFields(kDestFileSystem, kDestSize, m_destDrive, m_destFileSystem, m_destSize);
    ShowSourceLine(!m_sourceFileSystem.empty());
    ShowDestinationLine(m_destProbed, true);
}

void CCloneDlg::OnCancel()
{
    if (CloneRunning())
        return;
    CDialog::OnCancel();
}

void CCloneDlg::OnSysCommand(int command)
{
    if ((command & 0xFFF0) == kAboutCommand) {
        CAboutDlg about;
        about.DoModal();
    }
}

void CCloneDlg::OnDriveConfigs()
{
    CDriveConfigsDlg driveConfigs(m_drives, m_volumes);
    driveConfigs.DoModal();
}

// The settings are stored however the dialog was closed. They decide what becomes of a
// destination in use, so its line (and Create, unless a clone runs) follows them.
void CCloneDlg::OnOptions()
{
    COptionsDlg options;
    options.DoModal();
    SaveSettings();
    ShowDestinationLine(m_destProbed, !CloneRunning());
}

// Help always answers: where no program can show the help file, a message says where it
// is and that the manual page tells the same.
void CCloneDlg::OnHelp()
{
    const std::string helpFile = m_installFolder + "Vantrel.chm";
    if (platform::HtmlHelp(helpFile) == 0)
        platform::MessageBox(NoHelpViewerText(helpFile));
}
