#include "platform/qt/Dialog.h"

#include "platform/qt/ControlFactory.h"
#include "platform/qt/DialogFont.h"
#include "platform/qt/DialogWindow.h"
#include "platform/qt/RadioGroups.h"
#include "platform/qt/UiThread.h"
#include "platform/qt/WidgetAccess.h"
#include "platform/ui/MessageBox.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPixmap>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>

#include <map>
#include <utility>
#include <vector>

namespace platform {

struct CDialog::Impl {
    CDialogTemplate dialogTemplate;
    const char* const* iconXpm = nullptr;
    std::map<int, std::function<void()>> clickHandlers;
    std::map<int, std::function<void()>> selChangeHandlers;

    // While the dialog runs (UI thread only).
    QPointer<CDialogWindow> window;
    std::map<int, QWidget*> controls;
    std::map<int, QAction*> menuCommands;
    bool ended = false;
    int result = 0;

    QWidget* Control(int id) const
    {
        auto found = controls.find(id);
        return window != nullptr && found != controls.end() ? found->second : nullptr;
    }

    std::unique_ptr<CDialogWindow> MakeWindow(CDialog& owner);
    // Makes the controls in template order, which is their tab order; returns the first
    // control that Tab reaches.
    QWidget* MakeControls(CDialog& owner, CDialogWindow* parent);
    // A click goes to the control's handler; OK and Cancel without one to OnOK and OnCancel.
    void Clicked(CDialog& owner, int id);
    void SelectionChanged(int id);
};

namespace {

QString ToQString(const std::string& text)
{
    return QString::fromStdString(text);
}

// Runs task on the UI thread and gives back its result.
template <typename Result, typename Task>
Result OnUiThread(Task task)
{
    Result result{};
    RunOnUiThread([&] { result = task(); });
    return result;
}

}  // namespace

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

void CDialog::EnableControl(int id, bool enable)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id))
            widget->setEnabled(enable);
    });
}

void CDialog::SetControlText(int id, const std::string& text)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id))
            SetWidgetText(widget, ToQString(text));
    });
}

std::string CDialog::ControlText(int id)
{
    return OnUiThread<std::string>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr ? WidgetText(widget).toStdString() : std::string();
    });
}

void CDialog::MoveControl(int id, int x, int y, int width, int height, bool repaint)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id)) {
            widget->setGeometry(x, y, width, height);
            if (repaint)
                widget->repaint();
        }
    });
}

bool CDialog::IsControlEnabled(int id)
{
    return OnUiThread<bool>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr && widget->isEnabled();
    });
}

CPixelRect CDialog::ControlRect(int id)
{
    return OnUiThread<CPixelRect>([&] {
        QWidget* widget = m_impl->Control(id);
        if (widget == nullptr)
            return CPixelRect{};
        QRect place = widget->geometry();
        return CPixelRect{place.x(), place.y(), place.width(), place.height()};
    });
}

int CDialog::AddString(int id, const std::string& text)
{
    return OnUiThread<int>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr ? AddListItem(widget, ToQString(text)) : -1;
    });
}

void CDialog::ResetContent(int id)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id))
            ClearList(widget);
    });
}

int CDialog::ItemCount(int id)
{
    return OnUiThread<int>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr ? ListCount(widget) : 0;
    });
}

std::string CDialog::ItemText(int id, int index)
{
    return OnUiThread<std::string>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr ? ListItem(widget, index).toStdString() : std::string();
    });
}

void CDialog::SetCurSel(int id, int index)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id))
            SelectListItem(widget, index);
    });
}

int CDialog::CurSel(int id)
{
    return OnUiThread<int>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr ? SelectedListItem(widget) : -1;
    });
}

std::string CDialog::SelectedText(int id)
{
    return OnUiThread<std::string>([&] {
        QWidget* widget = m_impl->Control(id);
        if (widget == nullptr || SelectedListItem(widget) < 0)
            return std::string();
        return ListItem(widget, SelectedListItem(widget)).toStdString();
    });
}

void CDialog::SetCheck(int id, bool checked)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id))
            SetButtonChecked(widget, checked);
    });
}

bool CDialog::IsChecked(int id)
{
    return OnUiThread<bool>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr && IsButtonChecked(widget);
    });
}

void CDialog::SetFocusTo(int id)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id))
            widget->setFocus(Qt::OtherFocusReason);
    });
}

int CDialog::FocusedControl()
{
    return OnUiThread<int>([&] {
        if (m_impl->window == nullptr)
            return kNoId;
        QWidget* focused = m_impl->window->focusWidget();
        for (const auto& [id, widget] : m_impl->controls) {
            if (widget == focused)
                return id;
        }
        return kNoId;
    });
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

void CDialog::UserClick(int id)
{
    RunOnUiThread([&] {
        auto* button = qobject_cast<QAbstractButton*>(m_impl->Control(id));
        if (button != nullptr && button->isEnabled())
            button->click();
    });
}

void CDialog::UserChoose(int id, int index)
{
    RunOnUiThread([&] {
        auto* combo = qobject_cast<QComboBox*>(m_impl->Control(id));
        if (combo == nullptr || !combo->isEnabled() || index < 0 || index >= combo->count())
            return;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    });
}

void CDialog::UserPressEscape()
{
    RunOnUiThread([&] {
        if (m_impl->window == nullptr)
            return;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(m_impl->window, &press);
    });
}

void CDialog::UserCloseWindow()
{
    RunOnUiThread([&] {
        if (m_impl->window != nullptr)
            m_impl->window->close();
    });
}

void CDialog::UserSystemCommand(int command)
{
    RunOnUiThread([&] {
        auto action = m_impl->menuCommands.find(command);
        if (action != m_impl->menuCommands.end())
            action->second->trigger();
    });
}

bool CDialog::SaveScreenshot(const std::string& path)
{
    return OnUiThread<bool>([&] {
        CDialogWindow* window = m_impl->window;
        if (window == nullptr)
            return false;
        QPixmap shot;
        if (QScreen* screen = window->screen())
            shot = screen->grabWindow(window->winId());
        if (shot.isNull())
            shot = window->grab();
        return shot.save(ToQString(path), "PNG");
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
