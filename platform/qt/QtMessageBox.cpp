// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtMessageBox.h"

#include "platform/qt/UiThread.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

namespace {

int ShowOnUiThread(const std::string& text, MbButtons buttons)
{
    QMessageBox box(QApplication::activeModalWidget());
    box.setWindowTitle(QApplication::applicationName());
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    if (buttons == MbButtons::Ok) {
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return IDOK;
    }
    box.setIcon(QMessageBox::Question);
    if (buttons == MbButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == box.button(QMessageBox::Yes))
        return IDYES;
    if (clicked == box.button(QMessageBox::No) || buttons == MbButtons::YesNo)
        return IDNO;
    return IDCANCEL;
}

}  // namespace

int CQtMessageBox::Show(const std::string& text, MbButtons buttons)
{
    int answer = IDCANCEL;
    RunOnUiThread([&] { answer = ShowOnUiThread(text, buttons); });
    return answer;
}

}  // namespace platform
