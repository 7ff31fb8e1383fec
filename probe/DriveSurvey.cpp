// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/DriveProbe.h"

#include "clone/ReportFile.h"
#include "platform/files/TextFiles.h"

#include <array>

namespace {

constexpr const char* kReportFileName = "DriveReport.txt";
constexpr const char* kSupportAddress = "support@tembric.example";

// The report line of a drive type; nothing for the invalid root path and unknown codes.
const char* DriveTypeLine(unsigned type)
{
    switch (type) {
    case platform::kDriveUnknown:
        return "    Unknown drive\n";
    case platform::kDriveRemovable:
        return "    Removeable drive\n";
    case platform::kDriveFixed:
        return "    Fixed drive\n";
    case platform::kDriveRemote:
        return "    Remote or networked drive\n";
    case platform::kDriveCdrom:
        return "    CD-ROM drive\n";
    case platform::kDriveRamdisk:
        return "    Ramdisk\n";
    default:
        return nullptr;
    }
}

bool IsReportable(unsigned type)
{
    return type == platform::kDriveRemovable || type == platform::kDriveFixed || type == platform::kDriveRemote;
}

// The drive letters of the machine in the table's order; none when the query fails or
// does not fit the buffer.
std::string LogicalDriveLetters(platform::IDriveTable& drives)
{
    std::array<char, 256> buffer{};
    std::uint32_t length = drives.GetLogicalDriveStrings(buffer);
    if (length == 0 || length >= buffer.size())
        return {};
    std::string letters;
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        char c = buffer[i];
        if (c == '\0' && i > 0 && buffer[i - 1] == '\0')
            break;
        if (c != ':' && c != '\\' && c != '\0')
            letters += c;
    }
    return letters;
}

}  // namespace

bool CDriveProbe::DescribeDrive(char letter)
{
    const std::string volume = std::string(1, letter) + ":";
    m_strReport += "Drive: " + volume + "\n";
    if (letter == 'A') {
        m_strReport += "    Floppy drive\n\n";
        return true;
    }

    unsigned type = m_drives.GetDriveType(volume + "\\");
    if (const char* line = DriveTypeLine(type))
        m_strReport += line;
    if (type == platform::kDriveCdrom) {
        m_strReport += "\n";
        return false;
    }

    std::string fileSystem;
    std::uint64_t size = 0;
    std::string sizeFieldList;
    if (ProbeVolume(volume, fileSystem, size, sizeFieldList)) {
        m_strReport += "    File system: " + fileSystem + "\n";
        m_strReport += "    Partition size: " + AddThousandsSeparators(FormatBytes(size)) + "\n\n";
    } else {
        m_strReport += "\n\n";
    }
    return IsReportable(type);
}

std::string CDriveProbe::SurveyDrives(bool writeFile)
{
    const std::string letters = LogicalDriveLetters(m_drives);
    m_strReport += std::string("Displaying Drive Report from text file: ") + kReportFileName + "\n";
    m_strReport += std::string("If you have problems, e-mail this report along with the problem to: ") +
                   kSupportAddress + "\n\n";

    std::string reportable;
    for (char letter : letters) {
        if (DescribeDrive(letter))
            reportable += letter;
    }

    if (writeFile) {
        // A name without a folder is looked up in the working directory itself, not in
        // whatever its path names by the time the report is written.
        RemoveIfExists(kReportFileName);
        AppendReportLine(kReportFileName, m_strReport);
    }
    return reportable;
}
