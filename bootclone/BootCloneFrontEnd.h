// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/CloneDrive.h"
#include "platform/system/TerminationSignals.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Keldrun's side of a clone: the report "status.txt" in the folder it was given, a console
// line after every block and a console summary at the end. Nothing can cancel it, but a
// signal to end the program, held back by signals while the clone runs, stops it between
// two transfers; once the clone is over, the signals are let through. How the clone ended
// also goes to the journal, and a partition that cannot be opened leaves its reason in
// the report, since no one may be at the console to read it.
class CBootCloneFrontEnd : public ICloneFrontEnd {
public:
    // reportFolder ends with a path separator; "status.txt" is appended to it directly.
    CBootCloneFrontEnd(std::string reportFolder, bool fastMode, platform::CTerminationSignals& signals);

    std::string ReportPath() const override;
    std::string CannotOpenSourceText(const std::string& drive) const override;
    std::string CannotOpenDestinationText(const std::string& drive) const override;
    std::string OverlappingVolumesText(const std::string& source, const std::string& destination,
                                       bool identical) const override;
    bool CancelRequested() override;
    void OnCloneStarting() override;
    void OnBlockWritten(std::uint64_t total) override;
    // A line as the verification begins; then the bytes compared at most a few times a
    // second, and always when all are.
    void OnVerifyStarting(std::uint64_t bytes) override;
    void OnBytesVerified(std::uint64_t compared) override;
    void OnCloneCompleted(const CCloneRequest& request, std::uint64_t total, bool badSectorsSkipped,
                          const std::vector<std::string>& notes) override;
    void OnOpenFailed(const std::string& text, const std::string& drive, int error) override;
    void OnRefused(const std::string& text) override;
    void OnCloneStopping() override;
    int StopSignal() override;
    void OnCloneInterrupted(const std::string& text) override;

private:
    std::string m_reportFolder;
    bool m_fastMode;
    platform::CTerminationSignals& m_signals;
    std::uint64_t m_verifyBytes = 0;
    std::chrono::steady_clock::time_point m_lastVerifyLine;
};
