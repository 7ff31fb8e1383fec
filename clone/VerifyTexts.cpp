// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/VerifyTexts.h"

#include "clone/ReportFile.h"

namespace {

std::string Shown(std::uint64_t number)
{
    return AddThousandsSeparators(FormatBytes(number));
}

std::string NotVerifiedPrefix(const std::string& destination)
{
    return "The copy on the " + destination + " partition could not be verified: ";
}

const std::string kMayNotBeUsable = "  The copy may not be usable.";

}  // namespace

std::string VerifiedLineText(const std::string& digits)
{
    return "Verified => " + digits;
}

std::string VerifiedNoteText(const std::string& destination, std::uint64_t bytes, std::uint64_t skippedSectors,
                             bool usedSpaceOnly)
{
    std::string text = "The copy on the " + destination + " partition was verified: its " + Shown(bytes) +
                       " bytes, read back from both partitions, are the same.";
    if (skippedSectors != 0)
        text += "  The " + Shown(skippedSectors) + (skippedSectors == 1 ? " sector" : " sectors") +
                " skipped during the copy were left out.";
    if (usedSpaceOnly)
        text += "  Only the used space, which alone was copied, was compared.";
    return text;
}

std::string NotVerifiedText(int signal)
{
    if (signal == 0)
        return "The copy was not verified: the verification was cancelled.";
    return "The copy was not verified: the verification was stopped by signal " + std::to_string(signal) + ".";
}

std::string CopyDiffersText(const std::string& source, const std::string& destination, std::uint64_t firstSector,
                            std::uint64_t sectors, bool stoppedEarly)
{
    return "The copy on the " + destination + " partition is not usable: read back, it differs from the " + source +
           " partition in " + (stoppedEarly ? "at least " : "") + FormatBytes(sectors) +
           (sectors == 1 ? " sector" : " sectors") + ", the first of them sector " + FormatBytes(firstSector) +
           ".  The " + destination + " partition or its disk may be faulty, or the " + source +
           " partition changed while it was copied.  Check the disk, then clone again.";
}

std::string VerifyReadFailedText(int error, const std::string& drive, std::optional<std::uint64_t> sector,
                                 const std::string& destination)
{
    std::string what = sector ? "sector " + FormatBytes(*sector) + " of the " + drive +
                                    " partition could not be read back."
                              : "the " + drive + " partition could not be opened again to read it back.";
    return "Error#: " + std::to_string(error) + ".  " + NotVerifiedPrefix(destination) + what + kMayNotBeUsable;
}

std::string VerifyNoMemoryText(const std::string& destination)
{
    return NotVerifiedPrefix(destination) + "there is not enough memory to read it back." + kMayNotBeUsable;
}
