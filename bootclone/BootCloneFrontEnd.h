#pragma once

#include "clone/CloneDrive.h"

#include <string>

// Keldrun's side of a clone: the report "status.txt" in the folder it was given, a console
// line after every block and a console summary at the end. Nothing can cancel it.
class CBootCloneFrontEnd : public ICloneFrontEnd {
public:
    // reportFolder ends with a path separator; "status.txt" is appended to it directly.
    CBootCloneFrontEnd(std::string reportFolder, bool fastMode);

    std::string ReportPath() const override;
    std::string CannotOpenSourceText(const std::string& drive) const override;
    std::string CannotOpenDestinationText(const std::string& drive) const override;
    bool CancelRequested() override;
    void OnCloneStarting() override;
    void OnBlockWritten(const std::string& total) override;
    void OnCloneCompleted(const CCloneRequest& request, const std::string& total, bool badSectorsSkipped) override;

private:
    std::string m_reportFolder;
    bool m_fastMode;
};
