// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/CloneDrive.h"
#include "platform/system/TerminationSignals.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Keldrun's side of a clone: the report "status.txt" in the folder it was given, a console
// line naming both partitions before the copy, a line after every block, and a console
// summary with the time taken at the end. On a terminal (the console at boot), slow mode's
// line per sector would cost the copy more time than the copy itself: there a total is
// shown at most ten times a second, and the last one always. Nothing can cancel the clone,
// but a signal to end the program, held back by signals while the clone runs, stops it
// between two transfers; once the clone is over, the signals are let through. How the
// clone ended also goes to the journal, and a partition that cannot be opened leaves its
// reason in the report, since no one may be at the console to read it.
class CBootCloneFrontEnd : public ICloneFrontEnd {
public:
    using Clock = std::chrono::steady_clock;
    // Totals on a terminal in slow mode are at least this far apart.
    static constexpr std::chrono::milliseconds kTerminalInterval{100};

    // reportFolder ends with a path separator; "status.txt" is appended to it directly.
    // terminal: standard output is a terminal.
    CBootCloneFrontEnd(std::string reportFolder, const CCloneRequest& request, bool terminal,
                       platform::CTerminationSignals& signals);

    std::string ReportPath() const override;
    std::string CannotOpenSourceText(const std::string& drive) const override;
    std::string CannotOpenDestinationText(const std::string& drive) const override;
    std::string OverlappingVolumesText(const std::string& source, const std::string& destination,
                                       bool identical) const override;
    bool CancelRequested() override;
    void OnCloneStarting() override;
    void OnPartitionsOpened(std::uint64_t sourceBytes, std::uint64_t destinationBytes) override;
    void OnBlockWritten(std::uint64_t total) override;
    // A line as the verification begins; then the bytes compared at most a few times a
    // second, and always when all are.
    void OnVerifyStarting(std::uint64_t bytes) override;
    void OnBytesVerified(std::uint64_t compared) override;
    void OnCloneCompleted(const CCloneRequest& request, std::uint64_t total, bool badSectorsSkipped,
                          const std::vector<std::string>& notes) override;
    void OnOpenFailed(const std::string& text, const std::string& why) override;
    void OnRefused(const std::string& text) override;
    void OnCloneStopping() override;
    int StopSignal() override;
    void OnCloneInterrupted(const std::string& text) override;

private:
    void PrintTotal(std::uint64_t total);
    // Prints the last total that a terminal has not been shown yet.
    void PrintHeldTotal();

    std::string m_reportFolder;
    const CCloneRequest& m_request;
    bool m_terminal;
    platform::CTerminationSignals& m_signals;
    Clock::time_point m_copyStarted;
    Clock::time_point m_lastPrinted;
    std::optional<std::uint64_t> m_heldTotal;  // not yet shown on the terminal
    std::optional<std::chrono::milliseconds> m_copyTaken;  // once a verification follows the copy
    std::uint64_t m_verifyBytes = 0;
    Clock::time_point m_lastVerifyLine;
};
