// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/help/Help.h"

#include "platform/shell/ProgramPath.h"
#include "platform/registry/RegistryStore.h"
#include "platform/shell/Shell.h"

#include <mutex>

namespace platform {

namespace {

const char* const kViewerKey = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
const char* const kFallbackViewer = "xdg-open";
// The registered name is read into 260 bytes, terminator included.
constexpr std::size_t kViewerNameCapacity = 260;

std::string RegisteredViewer()
{
    CRegKey key;
    std::string name;
    if (CRegKey::Open(RegRoot::ClassesRoot, kViewerKey, RegAccess::Read, key) != RegStatus::Ok ||
        ReadStringValue(key, "", name) != RegStatus::Ok || name.size() >= kViewerNameCapacity)
        return {};
    return name;
}

}  // namespace

int CHelpViewer::DisplayTopic(const std::string& helpFile)
{
    if (m_state == State::Unbound) {
        std::optional<std::string> program = FindProgram(RegisteredViewer());
        if (!program)
            program = FindProgram(kFallbackViewer);
        m_state = program ? State::Bound : State::Failed;
        m_program = program.value_or("");
    }
    if (m_state == State::Failed)
        return 0;
    return StartProgram({m_program, helpFile}) ? 1 : 0;
}

int HtmlHelp(const std::string& helpFile)
{
    static std::mutex mutex;
    static CHelpViewer viewer;
    std::lock_guard lock(mutex);
    return viewer.DisplayTopic(helpFile);
}

}  // namespace platform
