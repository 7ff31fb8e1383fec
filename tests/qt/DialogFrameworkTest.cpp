// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/Dialog.h"
#include "platform/qt/QtMessageBox.h"
#include "platform/ui/MessageBox.h"
#include "tests/support/gui/GuiTest.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace platform;

namespace {

constexpr int kSafeGroupFirst = 11, kSafeGroupSecond = 12, kSpeedFirst = 21, kSpeedSecond = 22;
constexpr int kList = 30, kLabel = 40, kCommand = 50, kCheck = 60;

CDialogTemplate TestTemplate(unsigned commandStyle = kTabStop)
{
    return {100, "Test", 200, 100, 0,
            {{kSafeGroupFirst, ControlKind::RadioButton, {5, 5, 60, 10}, "&One", kGroup | kTabStop},
             {kSafeGroupSecond, ControlKind::RadioButton, {5, 17, 60, 10}, "&Two", kTabStop},
             {kSpeedFirst, ControlKind::RadioButton, {80, 5, 60, 10}, "&Fast", kGroup | kTabStop},
             {kSpeedSecond, ControlKind::RadioButton, {80, 17, 60, 10}, "&Slow", kTabStop},
             {kCheck, ControlKind::CheckBox, {150, 5, 45, 10}, "&Check", kGroup | kTabStop},
             {kList, ControlKind::DropDownList, {5, 30, 60, 60}, "", kSort | kUpperCase | kTabStop},
             {kLabel, ControlKind::Text, {80, 30, 60, 8}, "label", kSunken},
             {kCommand, ControlKind::PushButton, {5, 80, 50, 14}, "&Do", commandStyle},
             {IDCANCEL, ControlKind::PushButton, {145, 80, 50, 14}, "E&xit", kTabStop},
             {kNoId, ControlKind::GroupBox, {2, 2, 140, 27}, "Group", kGroup}}};
}

class CTestDialog : public CDialog {
public:
    explicit CTestDialog(unsigned commandStyle = kTabStop) : CDialog(TestTemplate(commandStyle))
    {
        OnSelChange(kList, [this] { ++selectionChanges; });
        OnClicked(kCommand, [this] { ++commandClicks; });
    }

    bool refuseCancel = false;
    int selectionChanges = 0;
    int commandClicks = 0;
    int cancelRequests = 0;

protected:
    void OnCancel() override
    {
        ++cancelRequests;
        if (!refuseCancel)
            CDialog::OnCancel();
    }
};

TEST(Dialog, RadioClicksClearOnlyTheirOwnGroupWhileTheProgramMaySetSeveralAndCheckBoxesStandAlone)
{
    CTestDialog dialog;
    guitest::RunWith(dialog, [&] {
        dialog.SetCheck(kSafeGroupFirst, true);
        dialog.SetCheck(kSafeGroupSecond, true);
        EXPECT_TRUE(dialog.IsChecked(kSafeGroupFirst));
        EXPECT_TRUE(dialog.IsChecked(kSafeGroupSecond));

        dialog.SetCheck(kSpeedFirst, true);
        dialog.UserClick(kSafeGroupSecond);  // clicking a selected button keeps it selected
        EXPECT_FALSE(dialog.IsChecked(kSafeGroupFirst));
        EXPECT_TRUE(dialog.IsChecked(kSafeGroupSecond));
        EXPECT_TRUE(dialog.IsChecked(kSpeedFirst));

        dialog.UserClick(kSpeedSecond);
        EXPECT_FALSE(dialog.IsChecked(kSpeedFirst));
        EXPECT_TRUE(dialog.IsChecked(kSpeedSecond));
        EXPECT_TRUE(dialog.IsChecked(kSafeGroupSecond));

        // A check box turns on and off by itself and belongs to no group of radios.
        dialog.UserClick(kCheck);
        EXPECT_TRUE(dialog.IsChecked(kCheck));
        EXPECT_TRUE(dialog.IsChecked(kSpeedSecond));
        dialog.UserClick(kSpeedFirst);
        EXPECT_TRUE(dialog.IsChecked(kCheck));
        dialog.UserClick(kCheck);
        EXPECT_FALSE(dialog.IsChecked(kCheck));
        dialog.SetCheck(kCheck, true);
        EXPECT_TRUE(dialog.IsChecked(kCheck));
    });
}

TEST(Dialog, SortedUpperCaseListSelectsOnlyWhenAskedAndTellsOnlyUserChoices)
{
    CTestDialog dialog;
    guitest::RunWith(dialog, [&] {
        EXPECT_EQ(dialog.AddString(kList, "d:"), 0);
        EXPECT_EQ(dialog.CurSel(kList), -1);
        EXPECT_EQ(dialog.AddString(kList, ""), 0);
        EXPECT_EQ(dialog.AddString(kList, "c:"), 1);
        ASSERT_EQ(dialog.ItemCount(kList), 3);
        EXPECT_EQ(dialog.ItemText(kList, 1), "C:");
        EXPECT_EQ(dialog.ItemText(kList, 2), "D:");
        EXPECT_EQ(dialog.SelectedText(kList), "");

        dialog.SetCurSel(kList, 2);
        EXPECT_EQ(dialog.SelectedText(kList), "D:");
        EXPECT_EQ(dialog.selectionChanges, 0);
        dialog.UserChoose(kList, 1);
        EXPECT_EQ(dialog.SelectedText(kList), "C:");
        EXPECT_EQ(dialog.selectionChanges, 1);

        dialog.ResetContent(kList);
        EXPECT_EQ(dialog.ItemCount(kList), 0);
        EXPECT_EQ(dialog.CurSel(kList), -1);
    });
}

TEST(Dialog, EscapeCloseBoxAndCancelButtonAllAskOnCancel)
{
    CTestDialog dialog;
    dialog.refuseCancel = true;
    int result = guitest::RunWith(dialog, [&] {
        dialog.UserPressEscape();
        dialog.UserCloseWindow();
        dialog.UserClick(IDCANCEL);
        EXPECT_EQ(CDialog::ActiveDialog(), &dialog);
    });
    EXPECT_EQ(dialog.cancelRequests, 3);
    EXPECT_EQ(result, guitest::kLeftRunning);

    dialog.refuseCancel = false;
    EXPECT_EQ(guitest::RunWith(dialog, [&] { dialog.UserPressEscape(); }), IDCANCEL);
    EXPECT_EQ(guitest::RunWith(dialog, [&] { dialog.UserCloseWindow(); }), IDCANCEL);
}

TEST(Dialog, EnterPressesOnlyTheButtonTheTemplateMakesDefault)
{
    CTestDialog plain;
    guitest::RunWith(plain, [&] {
        plain.AddString(kList, "c:");
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            guitest::PressKeyIn(plain, kList, key);
            guitest::PressKeyIn(plain, kSafeGroupFirst, key);
            guitest::PressKeyIn(plain, IDCANCEL, key);
        }
        EXPECT_EQ(CDialog::ActiveDialog(), &plain);
    });
    EXPECT_EQ(plain.commandClicks, 0);
    EXPECT_EQ(plain.cancelRequests, 0);

    CTestDialog withDefault(kDefault | kTabStop);
    guitest::RunWith(withDefault, [&] {
        guitest::PressKeyIn(withDefault, kList, Qt::Key_Return);
        guitest::PressKeyIn(withDefault, kSpeedSecond, Qt::Key_Enter);
    });
    EXPECT_EQ(withDefault.commandClicks, 2);
    EXPECT_EQ(withDefault.cancelRequests, 0);
}

TEST(Dialog, AnotherThreadWorksTheControlsThroughTheUiThread)
{
    CTestDialog dialog;
    std::thread worker;
    std::vector<std::string> seen;
    bool enabledAfter = true;
    guitest::RunUntilEnded(dialog, [&] {
        worker = std::thread([&] {
            dialog.EnableControl(kCommand, false);
            enabledAfter = dialog.IsControlEnabled(kCommand);
            for (const char* text : {"1", "1,0", "1,024"}) {
                dialog.SetControlText(kLabel, text);
                seen.push_back(dialog.ControlText(kLabel));
            }
            dialog.MoveControl(kLabel, 127, 92, 6, 12, true);
            dialog.EndDialog(IDOK);
        });
    });
    worker.join();
    EXPECT_FALSE(enabledAfter);
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "1,0", "1,024"}));
}

// Presses button of the message box on screen once it is there.
void AnswerMessageBox(QMessageBox::StandardButton button, std::atomic<int>& shown)
{
    PostToUiThread([button, &shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            AnswerMessageBox(button, shown);
            return;
        }
        ++shown;
        box->button(button)->click();
    });
}

TEST(QtMessageBox, QuestionFromAWorkerThreadIsAnsweredOnTheUiThread)
{
    CQtMessageBox boxes;
    CTestDialog dialog;
    std::atomic<int> shown = 0;
    int answer = 0;
    std::thread worker;
    guitest::RunUntilEnded(dialog, [&] {
        AnswerMessageBox(QMessageBox::No, shown);
        worker = std::thread([&] {
            answer = boxes.Show("Clone now?", MbButtons::YesNoCancel);
            dialog.EndDialog(IDOK);
        });
    });
    worker.join();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(answer, IDNO);
}

TEST(QtMessageBox, ClosingAQuestionAnswersCancel)
{
    CQtMessageBox boxes;
    PostToUiThread([] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    EXPECT_EQ(boxes.Show("Clone now?", MbButtons::YesNoCancel), IDCANCEL);
}

}  // namespace

TEST(Dialog, ToolTipsStayWithTheirItemsOfASortedListAndGoWithEmptyText)
{
    CTestDialog dialog;
    guitest::RunWith(dialog, [&] {
        dialog.SetItemToolTip(kList, dialog.AddString(kList, "m:"), "the M drive");
        dialog.SetItemToolTip(kList, dialog.AddString(kList, "c:"), "the C drive");
        dialog.AddString(kList, "e:");
        EXPECT_EQ(guitest::Items(dialog, kList), (std::vector<std::string>{"C:", "E:", "M:"}));
        EXPECT_EQ(dialog.ItemToolTip(kList, 0), "the C drive");
        EXPECT_EQ(dialog.ItemToolTip(kList, 1), "");
        EXPECT_EQ(dialog.ItemToolTip(kList, 2), "the M drive");
        EXPECT_EQ(dialog.ItemToolTip(kList, 3), "");  // no such item
        dialog.SetItemToolTip(kList, 2, "");
        EXPECT_EQ(dialog.ItemToolTip(kList, 2), "");

        dialog.SetControlToolTip(kLabel, "/dev/sdc1");
        EXPECT_EQ(dialog.ControlToolTip(kLabel), "/dev/sdc1");
        EXPECT_EQ(dialog.ControlText(kLabel), "label");
        dialog.SetControlToolTip(kLabel, "");
        EXPECT_EQ(dialog.ControlToolTip(kLabel), "");
        dialog.ResetContent(kList);
        EXPECT_EQ(dialog.ItemToolTip(kList, 0), "");
    });
}
