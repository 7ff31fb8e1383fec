// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <functional>

namespace platform {

class CDialog;

// The window of a running CDialog. Escape and the close box do not end it by themselves:
// both ask the dialog's OnCancel, which decides.
class CDialogWindow : public QDialog {
public:
    CDialogWindow(CDialog& owner, QWidget* parent, std::function<void()> cancel);

    CDialog& Owner() const { return m_owner; }

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    CDialog& m_owner;
    std::function<void()> m_cancel;
};

}  // namespace platform
