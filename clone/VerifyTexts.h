// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the clone engine tells of the verification of a copy, in its report and to the
// user, defined once for the engine, its front ends and their tests.

// The report's line after "Done => " for a copy read back and found equal; digits is the
// bytes compared, without separators.
std::string VerifiedLineText(const std::string& digits);

// The same for the completion message: bytes compared, the sectors left out because they
// were skipped during the copy, and whether only the used space was copied and compared.
std::string VerifiedNoteText(const std::string& destination, std::uint64_t bytes, std::uint64_t skippedSectors,
                             bool usedSpaceOnly = false);

// The copy was not verified because the user cancelled the verification (signal 0) or a
// signal stopped it: the report's line after "Done => " and the completion message's.
std::string NotVerifiedText(int signal);

// The copy read back differs from its source: it is not usable. stoppedEarly: the
// verification was stopped before its end, so sectors is how many differ at least.
std::string CopyDiffersText(const std::string& source, const std::string& destination, std::uint64_t firstSector,
                            std::uint64_t sectors, bool stoppedEarly = false);

// A partition could not be read back (or not opened again, without sector) with error.
std::string VerifyReadFailedText(int error, const std::string& drive, std::optional<std::uint64_t> sector,
                                 const std::string& destination);

// The buffers of the verification could not be had.
std::string VerifyNoMemoryText(const std::string& destination);
