// SPDX-License-Identifier: GPL-3.0-or-later
// vantrel-dialog-bench: one clone run the way Vantrel runs it, through CCreateClone on its
// worker thread with a real dialog on the (offscreen) window system, so that the cost of
// the byte-count display and the cancel lookups is measured against Keldrun's console.
//   vantrel-dialog-bench SOURCE DEST FASTMODE INSTALLFOLDER
// Prints the seconds from the start of the worker to the unlocked dialog. Message boxes
// are answered at once; the run fails (exit 1) unless the clone completed.
#include "platform/qt/Application.h"
#include "platform/qt/Dialog.h"
#include "platform/qt/UiThread.h"
#include "platform/system/StandardOptions.h"
#include "platform/ui/MessageBox.h"
#include "worker/CreateClone.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// The part of the clone dialog that a clone touches: its six locked controls, the
// byte-count frame, the nineteen glyphs and the progress bar and line, placed as in Vantrel.
platform::CDialogTemplate CloneDialogTemplate()
{
    using platform::ControlKind;
    platform::CDialogTemplate dialog{102, "Vantrel", 300, 200, 0, {}};
    dialog.controls = {
        {1019, ControlKind::ListBox, {7, 20, 140, 60}, "", platform::kTabStop},
        {1020, ControlKind::ListBox, {153, 20, 140, 60}, "", platform::kTabStop},
        {1003, ControlKind::Text, {60, 86, 90, 12}, "", platform::kSunken},
        {1002, ControlKind::PushButton, {7, 180, 60, 14}, "&Create the Clone", platform::kTabStop},
        {1004, ControlKind::PushButton, {70, 180, 60, 14}, "Ca&ncel the Clone", platform::kTabStop},
        {1005, ControlKind::PushButton, {133, 180, 50, 14}, "&Drive Configs", platform::kTabStop},
        {2, ControlKind::PushButton, {240, 180, 50, 14}, "E&xit", platform::kTabStop},
        {1072, ControlKind::ProgressBar, {153, 86, 140, 12}, "", 0},
        {1073, ControlKind::Text, {153, 100, 140, 8}, "", platform::kPathEllipsis},
    };
    for (int id = 2001; id <= 2019; ++id)
        dialog.controls.push_back({id, ControlKind::Text, {0, 0, 3, 8}, "", 0});
    return dialog;
}

// Answers every message box with OK and remembers whether the clone completed.
class CAnswerOk : public platform::IMessageBoxService {
public:
    int Show(const std::string& text, platform::MbButtons) override
    {
        if (text.starts_with("Done!"))
            m_completed = true;
        else
            std::fprintf(stderr, "%s\n", text.c_str());
        return platform::IDOK;
    }
    std::atomic<bool> m_completed = false;
};

class CBenchDialog : public platform::CDialog {
public:
    CBenchDialog(char** args) : CDialog(CloneDialogTemplate()), m_args(args) {}

    double Seconds() const { return std::chrono::duration<double>(m_end - m_start).count(); }

protected:
    bool OnInitDialog() override
    {
        m_start = Clock::now();
        auto clone = std::make_shared<CCreateClone>(m_args[1], m_args[2], "FAT32", "1,2,3,4,", &m_owner,
                                                    std::atoi(m_args[3]) != 0, m_args[4], false);
        if (!CCreateClone::CreateThread(std::move(clone)))
            EndDialog(-1);
        return true;
    }

private:
    // The dialog as the worker's owner; the last control it unlocks ends the run.
    class COwner : public platform::IControlHost {
    public:
        explicit COwner(CBenchDialog& dialog) : m_dialog(dialog) {}
        void EnableControl(int id, bool enable) override
        {
            m_dialog.EnableControl(id, enable);
            if (id == 1005 && enable) {
                m_dialog.m_end = Clock::now();
                platform::PostToUiThread([this] { m_dialog.EndDialog(platform::IDOK); });
            }
        }
        void SetControlText(int id, const std::string& text) override { m_dialog.SetControlText(id, text); }
        std::string ControlText(int id) override { return m_dialog.ControlText(id); }
        void MoveControl(int id, int x, int y, int width, int height, bool repaint) override
        {
            m_dialog.MoveControl(id, x, y, width, height, repaint);
        }
        void SetProgress(int id, int position) override { m_dialog.SetProgress(id, position); }

    private:
        CBenchDialog& m_dialog;
    };

    char** m_args;
    COwner m_owner{*this};
    Clock::time_point m_start;
    Clock::time_point m_end;
};

}  // namespace

int main(int argc, char** argv)
{
    const char* const usage =
        "Usage: vantrel-dialog-bench SOURCE DEST FASTMODE INSTALLFOLDER\n"
        "Clones SOURCE onto DEST through Vantrel's worker and prints the seconds it took.\n";
    if (platform::AnsweredStandardOption(argc, argv, "vantrel-dialog-bench", usage))
        return 0;
    if (argc != 5) {
        std::fputs(usage, stderr);
        return 2;
    }
    platform::CDialogApp app(argc, argv, "Vantrel");
    if (!app.StartWindowSystem())
        return 1;
    CAnswerOk answers;
    platform::SetMessageBoxService(&answers);
    CBenchDialog dialog(argv);
    int result = dialog.DoModal();
    platform::SetMessageBoxService(nullptr);
    if (result != platform::IDOK || !answers.m_completed)
        return 1;
    std::printf("%.3f\n", dialog.Seconds());
    return 0;
}
