// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ui/MessageBox.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

// Records every message box and answers questions from a script (IDNO... in order;
// IDCANCEL when the script runs out, IDNO to a Yes/No question). Installed for its lifetime.
class CScriptedMessageBox : public platform::IMessageBoxService {
public:
    explicit CScriptedMessageBox(std::deque<int> answers = {});
    ~CScriptedMessageBox() override;

    int Show(const std::string& text, platform::MbButtons buttons) override;
    std::vector<std::string> Texts() const;
    void Answer(int answer);

private:
    mutable std::mutex m_mutex;
    std::deque<int> m_answers;
    std::vector<std::string> m_texts;
};

}  // namespace testsupport
