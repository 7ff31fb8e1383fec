// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/qt/DialogTemplate.h"
#include "platform/qt/DialogUnits.h"
#include "platform/ui/Controls.h"

#include <functional>
#include <memory>
#include <string>

namespace platform {

// A modal dialog built from a template. Derived classes set up their handlers in the
// constructor and fill the controls in OnInitDialog. Every control operation may be
// called from any thread (see IControlHost); while the dialog is not running, setters do
// nothing and getters give empty results.
class CDialog : public IControlHost {
public:
    explicit CDialog(CDialogTemplate dialogTemplate);
    ~CDialog() override;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Shows the dialog modal to the application and returns the result handed to
    // EndDialog; -1 when the window system is not running.
    int DoModal();
    // Ends the running dialog with result (IDOK, IDCANCEL, ...).
    void EndDialog(int result);
    // The dialog running innermost on the UI thread, or nullptr.
    static CDialog* ActiveDialog();

    void EnableControl(int id, bool enable) override;
    void SetControlText(int id, const std::string& text) override;
    std::string ControlText(int id) override;
    void MoveControl(int id, int x, int y, int width, int height, bool repaint) override;
    void SetProgress(int id, int position) override;
    int ProgressPosition(int id);  // of a progress bar; -1 for any other control
    bool IsControlEnabled(int id);
    CPixelRect ControlRect(int id);  // pixels of the client area

    // List boxes and drop-down lists. Selecting by program runs no handler.
    int AddString(int id, const std::string& text);  // index of the new item, -1 on failure
    void ResetContent(int id);
    int ItemCount(int id);
    std::string ItemText(int id, int index);
    void SetCurSel(int id, int index);  // -1 selects nothing
    int CurSel(int id);                 // -1 when nothing is selected
    std::string SelectedText(int id);   // empty when nothing is selected
    // An item shown dimmed stays selectable: the mark says it is not like the others.
    void SetItemDimmed(int id, int index, bool dimmed);
    bool IsItemDimmed(int id, int index);

    // Tool tips (DialogToolTips.cpp): of one item of a list box or drop-down list, which
    // stays with its item as others are added before it, and of a whole control. An empty
    // text removes the tip.
    void SetItemToolTip(int id, int index, const std::string& text);
    std::string ItemToolTip(int id, int index);
    void SetControlToolTip(int id, const std::string& text);
    std::string ControlToolTip(int id);

    // Radio buttons; several of a group may be set by program.
    void SetCheck(int id, bool checked);
    bool IsChecked(int id);

    void SetFocusTo(int id);
    int FocusedControl();  // id of the control with the focus, kNoId for none

    // The dialog's icon, an image in XPM form that outlives the dialog.
    void SetIcon(const char* const* xpm);
    // Adds a command to the running window's menu (its context menu here); choosing it
    // runs OnSysCommand(command). A separator comes before the first one.
    void AppendSystemMenuItem(int command, const std::string& text);

    // What the user does, for tests and demonstrations: nothing happens on a disabled
    // control, exactly as with the mouse.
    void UserClick(int id);
    void UserChoose(int id, int index);
    void UserPressEscape();
    void UserCloseWindow();
    void UserSystemCommand(int command);

    // Saves what the dialog shows on screen as a PNG file. False when it cannot.
    bool SaveScreenshot(const std::string& path);

protected:
    // Called after the controls exist, before the dialog shows. True lets the framework
    // put the focus on the first control with a tab stop.
    virtual bool OnInitDialog();
    virtual void OnOK();      // button 1 without handler: ends with IDOK
    virtual void OnCancel();  // button 2 without handler, Escape, close box: ends with IDCANCEL
    virtual void OnSysCommand(int command);

    void OnClicked(int id, std::function<void()> handler);
    void OnSelChange(int id, std::function<void()> handler);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace platform
