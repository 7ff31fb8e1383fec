// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/DriveLine.h"
#include "platform/drives/DriveTable.h"
#include "platform/drives/MachineDrives.h"
#include "platform/qt/Dialog.h"
#include "platform/volume/RawVolume.h"
#include "probe/DriveProbe.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

class CCreateClone;

// Vantrel's main window: the partition to copy from, the partitions it may be copied to,
// the file system and size of each, and the buttons that start, cancel and configure the
// clone. A running clone (on a worker thread) locks and unlocks its controls.
class CCloneDlg : public platform::CDialog {
public:
    explicit CCloneDlg(platform::IDriveTable& drives = platform::MachineDrives(),
                       platform::IVolumeOpener& volumes = platform::RawVolumes());

protected:
    bool OnInitDialog() override;
    // Exit, Escape and the close box; refused while a clone runs.
    void OnCancel() override;
    void OnSysCommand(int command) override;

private:
    enum class ListMode { Source, Destination };

    void FillPartitionList(ListMode mode);
    // Adds drive ("E:") to list with the tool tip that tells its device.
    void AddListedDrive(int list, const std::string& drive);
    // Where the volume of drive lies; nothing when it cannot be opened.
    std::optional<platform::CVolumeExtent> ExtentOf(const std::string& drive);
    // True when the volume of drive overlaps any of others, or cannot be opened.
    bool SharesStorage(const std::string& drive, std::initializer_list<std::optional<platform::CVolumeExtent>> others);
    // Shows the file system and size of drive in the two fields, with its tool tip; an
    // empty drive empties them.
    void ShowDriveFields(int fileSystemField, int sizeField, const std::string& drive, const std::string& fileSystem,
                         std::uint64_t size);
    // What a person knows drive by and what uses it (DriveLine.h); size is the probe's
    // when it read the drive, else the system's count.
    CDriveFacts FactsOf(const std::string& drive, std::optional<std::uint64_t> size);
    // "D: (/dev/sdb1)": a drive with its device, for messages.
    std::string DescribeDrive(const std::string& drive);
    // The lines under the lists, for the selected source (probed tells whether its file
    // system was recognised) and destination; the destination's also sets Create, which
    // stays disabled for a destination that cannot take the clone Create would start.
    // mayEnableCreate is false while a clone holds the dialog.
    void ShowSourceLine(bool probed);
    void ShowDestinationLine(bool probed, bool mayEnableCreate);
    // Blanks the byte count, which counts the bytes copied until a clone verifies its copy,
    // and clears the progress bar and the progress line.
    void ClearProgressDigits();
    bool CloneRunning() const;
    // Once a clone is over: the destination's fields and both lines tell the drives as
    // they are now.
    void RefreshAfterClone();
    // At start, while a clone waits for the next start of the machine: says so and offers
    // to cancel it.
    void OfferToCancelScheduledClone();

    void OnSelchangeSource();
    void OnSelchangeDest();
    void OnDriveConfigs();
    void OnOptions();
    void OnHelp();
    // Starting and cancelling a clone (CloneStart.cpp).
    void OnCreateClone();
    // True when the clone may start at once; otherwise the user has been told why not.
    bool CheckPartitionsNow();
    void StartCloneThread();
    void OnCancelClone();

    platform::IDriveTable& m_drives;
    platform::IVolumeOpener& m_volumes;
    CDriveProbe m_probe;
    std::string m_installFolder;
    std::string m_sourceDrive;
    std::optional<platform::CVolumeExtent> m_sourceExtent;  // of the selected source, when it opens
    std::string m_destDrive;
    std::string m_sourceFileSystem;
    std::string m_destFileSystem;
    std::uint64_t m_sourceSize = 0;
    std::uint64_t m_destSize = 0;
    bool m_destProbed = false;  // the selected destination was read when it was chosen
    std::string m_sizeFieldList;
    // The clone started last, watched but not held: it has expired once the worker is over.
    std::weak_ptr<CCreateClone> m_clone;
    // Watched by what a worker leaves for the UI thread to run, which must not reach a
    // dialog that is gone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
