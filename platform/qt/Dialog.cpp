// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/DialogImpl.h"

#include "platform/qt/ControlFactory.h"
#include "platform/qt/DialogFont.h"
#include "platform/qt/RadioGroups.h"
#include "platform/ui/MessageBox.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QPixmap>
#include <QRadioButton>

#include <utility>
#include <vector>

namespace platform {

std::unique_ptr<CDialogWindow> CDialog::Impl::MakeWindow(CDialog& owner)
{
    auto made = std::make_unique<CDialogWindow>(owner, QApplication::activeModalWidget(),
                                                [&owner] { owner.OnCancel(); });
    window = made.get();
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint;
    if ((dialogTemplate.style & kMinimizeBox) != 0)
        flags |= Qt::WindowMinimizeButtonHint;
    made->setWindowFlags(flags);
    made->setWindowTitle(ToQString(dialogTemplate.caption));
    made->setFont(DialogFont());
    CBaseUnits base = BaseUnitsOf(made->font());
    made->setFixedSize(HorizontalPixels(dialogTemplate.width, base), VerticalPixels(dialogTemplate.height, base));
    if (iconXpm != nullptr)
        made->setWindowIcon(QPixmap(iconXpm));
    return made;
}

QWidget* CDialog::Impl::MakeControls(CDialog& owner, CDialogWindow* parent)
{
    CBaseUnits base = BaseUnitsOf(parent->font());
    QPixmap icon = iconXpm != nullptr ? QPixmap(iconXpm) : QPixmap();
    int radioGroup = 0;
    QWidget* firstTabStop = nullptr;
    QWidget* previousTabStop = nullptr;
    std::vector<QWidget*> groupBoxes;
    for (const CControlTemplate& control : dialogTemplate.controls) {
        QWidget* widget = CreateControl(control, parent, base, icon);
        int id = control.id;
        if (id != kNoId)
            controls[id] = widget;
        if ((control.style & kGroup) != 0)
            ++radioGroup;
        if (auto* radio = qobject_cast<QRadioButton*>(widget))
            MakeAutomaticRadio(radio, radioGroup);
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            QObject::connect(button, &QAbstractButton::clicked, parent, [this, &owner, id] { Clicked(owner, id); });
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            QObject::connect(combo, &QComboBox::activated, parent, [this, id] { SelectionChanged(id); });
        if (qobject_cast<QGroupBox*>(widget) != nullptr)
            groupBoxes.push_back(widget);
        if (widget->focusPolicy() == Qt::StrongFocus) {
            if (previousTabStop != nullptr)
                QWidget::setTabOrder(previousTabStop, widget);
            else
                firstTabStop = widget;
            previousTabStop = widget;
        }
    }
    // A frame drawn over the controls it surrounds would take their clicks.
    for (QWidget* groupBox : groupBoxes)
        groupBox->lower();
    return firstTabStop;
}

void CDialog::Impl::Clicked(CDialog& owner, int id)
{
    auto handler = clickHandlers.find(id);
    if (handler != clickHandlers.end())
        handler->second();
    else if (id == IDOK)
        owner.OnOK();
    else if (id == IDCANCEL)
        owner.OnCancel();
}

void CDialog::Impl::SelectionChanged(int id)
{
    auto handler = selChangeHandlers.find(id);
    if (handler != selChangeHandlers.end())
        handler->second();
}

CDialog::CDialog(CDialogTemplate dialogTemplate) : m_impl(std::make_unique<Impl>())
{
    m_impl->dialogTemplate = std::move(dialogTemplate);
}

CDialog::~CDialog() = default;

int CDialog::DoModal()
{
    if (QApplication::instance() == nullptr)
        return -1;
    Impl& impl = *m_impl;
    impl.ended = false;
    impl.result = 0;
    std::unique_ptr<CDialogWindow> window = impl.MakeWindow(*this);
    QWidget* firstTabStop = impl.MakeControls(*this, window.get());

    bool focusFirst = OnInitDialog();
    if (focusFirst && firstTabStop != nullptr)
        firstTabStop->setFocus(Qt::TabFocusReason);
    int result = impl.ended ? impl.result : window->exec();

    impl.controls.clear();
    impl.menuCommands.clear();
    window.reset();
    return result;
}

void CDialog::EndDialog(int result)
{
    RunOnUiThread([&] {
        m_impl->ended = true;
        m_impl->result = result;
        if (m_impl->window != nullptr && m_impl->window->isVisible())
            m_impl->window->done(result);
    });
}

CDialog* CDialog::ActiveDialog()
{
    if (QApplication::instance() == nullptr)
        return nullptr;
    auto* window = dynamic_cast<CDialogWindow*>(QApplication::activeModalWidget());
    return window != nullptr ? &window->Owner() : nullptr;
}

void CDialog::SetIcon(const char* const* xpm)
{
    RunOnUiThread([&] {
        m_impl->iconXpm = xpm;
        if (m_impl->window != nullptr)
            m_impl->window->setWindowIcon(QPixmap(xpm));
    });
}

void CDialog::AppendSystemMenuItem(int command, const std::string& text)
{
    RunOnUiThread([&] {
        CDialogWindow* window = m_impl->window;
        if (window == nullptr)
            return;
        if (window->actions().isEmpty()) {
            auto* separator = new QAction(window);
            separator->setSeparator(true);
            window->addAction(separator);
            window->setContextMenuPolicy(Qt::ActionsContextMenu);
        }
        auto* action = new QAction(ToQString(text), window);
        QObject::connect(action, &QAction::triggered, window, [this, command] { OnSysCommand(command); });
        window->addAction(action);
        m_impl->menuCommands[command] = action;
    });
}

bool CDialog::OnInitDialog()
{
    return true;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::OnSysCommand(int)
{
}

void CDialog::OnClicked(int id, std::function<void()> handler)
{
    m_impl->clickHandlers[id] = std::move(handler);
}

void CDialog::OnSelChange(int id, std::function<void()> handler)
{
    m_impl->selChangeHandlers[id] = std::move(handler);
}

}  // namespace platform
