// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ScriptedMessageBox.h"

namespace testsupport {

CScriptedMessageBox::CScriptedMessageBox(std::deque<int> answers) : m_answers(std::move(answers))
{
    platform::SetMessageBoxService(this);
}

CScriptedMessageBox::~CScriptedMessageBox()
{
    platform::SetMessageBoxService(nullptr);
}

int CScriptedMessageBox::Show(const std::string& text, platform::MbButtons buttons)
{
    std::lock_guard lock(m_mutex);
    m_texts.push_back(text);
    if (buttons == platform::MbButtons::Ok)
        return platform::IDOK;
    if (m_answers.empty())
        return buttons == platform::MbButtons::YesNo ? platform::IDNO : platform::IDCANCEL;
    int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

std::vector<std::string> CScriptedMessageBox::Texts() const
{
    std::lock_guard lock(m_mutex);
    return m_texts;
}

void CScriptedMessageBox::Answer(int answer)
{
    std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
}

}  // namespace testsupport
