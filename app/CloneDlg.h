// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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
    // Blanks the byte count, which counts the bytes copied until a clone verifies its copy.
    void ClearProgressDigits();
    bool CloneRunning() const;

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
    std::string m_sizeFieldList;
    // The clone started last, watched but not held: it has expired once the worker is over.
    std::weak_ptr<CCreateClone> m_clone;
};
