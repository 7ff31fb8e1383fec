// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/CloneDrive.h"
#include "platform/files/TextFiles.h"

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

// Everything the user can see of one clone, in the order it happened.
class CTranscriptFrontEnd : public ICloneFrontEnd {
public:
    CTranscriptFrontEnd(std::string reportPath, int cancelAfterSkips)
        : m_reportPath(std::move(reportPath)), m_cancelAfterSkips(cancelAfterSkips)
    {
    }

    std::string ReportPath() const override { return m_reportPath; }
    std::string CannotOpenSourceText(const std::string& drive) const override { return "cannot open " + drive; }
    std::string CannotOpenDestinationText(const std::string& drive) const override { return "cannot write " + drive; }
    std::string OverlappingVolumesText(const std::string&, const std::string&, bool) const override
    {
        return "overlap";
    }
    // Cancel is pressed once a number of sectors have been skipped, or when m_cancel says.
    bool CancelRequested() override
    {
        if (m_cancel && m_cancel())
            return true;
        if (m_cancelAfterSkips == 0)
            return false;
        std::string report = platform::ReadWholeFile(m_reportPath).value_or("");
        std::size_t skips = 0;
        for (std::size_t at = report.find("Skipping"); at != std::string::npos; at = report.find("Skipping", at + 1))
            ++skips;
        return skips >= static_cast<std::size_t>(m_cancelAfterSkips);
    }
    void OnCloneStarting() override { m_events << "start\n"; }
    void OnCopyPlanned(std::uint64_t bytes) override { m_events << "planned " << bytes << '\n'; }
    void OnBlockWritten(std::uint64_t total) override
    {
        m_events << total << '\n';
        m_lastTotal = total;
    }
    void OnCloneCompleted(const CCloneRequest&, std::uint64_t total, bool badSectorsSkipped,
                          const std::vector<std::string>& notes) override
    {
        m_events << "done " << total << (badSectorsSkipped ? " with bad sectors" : "") << '\n';
        for (const std::string& note : notes)
            m_events << note << '\n';
    }
    void OnCloneStopping() override { m_events << "stopping\n"; }
    // SIGTERM comes when m_stop says.
    int StopSignal() override { return m_stop && m_stop() ? 15 : 0; }
    void OnCloneInterrupted(const std::string& text) override { m_events << "interrupted: " << text << '\n'; }

    std::string Events() const { return m_events.str(); }
    // The byte count of the last block written.
    std::uint64_t LastTotal() const { return m_lastTotal; }

    std::function<bool()> m_cancel;
    std::function<bool()> m_stop;

private:
    std::string m_reportPath;
    int m_cancelAfterSkips;
    std::ostringstream m_events;
    std::uint64_t m_lastTotal = 0;
};
