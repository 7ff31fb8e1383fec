// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/Application.h"

#include "platform/journal/Journal.h"
#include "platform/qt/DialogFont.h"
#include "platform/qt/DisplayCheck.h"
#include "platform/qt/QtMessageBox.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

#include <cstdlib>
#include <iostream>

namespace platform {

namespace {

// On standard error, where a user at a terminal looks, and in the journal, where the
// session keeps what a program started from the menu said.
void TellNoWindow(const std::string& program, const std::string& why)
{
    const std::string line = "cannot show a window: " + why;
    std::cerr << program << ": " << line << '\n';
    LogToJournal(JournalPriority::Error, line);
}

// While Qt starts its window system, a fatal message of Qt (a platform plugin that cannot
// start) ends the program with status 1 and says why, instead of abort() and a core dump.
// Other messages go where they went before.
class CStartGuard {
public:
    explicit CStartGuard(const std::string& program)
    {
        s_program = program;
        s_previous = qInstallMessageHandler(&Handle);
    }
    ~CStartGuard() { qInstallMessageHandler(s_previous); }
    CStartGuard(const CStartGuard&) = delete;
    CStartGuard& operator=(const CStartGuard&) = delete;

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type != QtFatalMsg) {
            s_previous(type, context, message);
            return;
        }
        TellNoWindow(s_program, "Qt: " + message.section(QLatin1Char('\n'), 0, 0).toStdString());
        std::_Exit(1);
    }

    static inline std::string s_program;
    static inline QtMessageHandler s_previous = nullptr;
};

QColor ToQColor(CRgb colour)
{
    return QColor(colour.red, colour.green, colour.blue);
}

}  // namespace

struct CDialogApp::Impl {
    int& argc;
    char** argv;
    std::string name;
    CRgb background{220, 220, 210};
    CRgb text{0, 0, 0};
    std::unique_ptr<QApplication> application;
    CQtMessageBox messageBox;

    void ApplyColours()
    {
        QPalette palette = QApplication::palette();
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::Window, ToQColor(background));
            palette.setColor(group, QPalette::WindowText, ToQColor(text));
        }
        palette.setColor(QPalette::Disabled, QPalette::Window, ToQColor(background));
        QApplication::setPalette(palette);
    }
};

CDialogApp::CDialogApp(int& argc, char** argv, std::string name)
    : m_impl(std::make_unique<Impl>(Impl{argc, argv, std::move(name), {220, 220, 210}, {0, 0, 0}, nullptr, {}}))
{
}

CDialogApp::~CDialogApp()
{
    if (m_impl->application)
        SetMessageBoxService(nullptr);
}

void CDialogApp::SetDialogBkColor(CRgb background, CRgb text)
{
    m_impl->background = background;
    m_impl->text = text;
    if (m_impl->application)
        m_impl->ApplyColours();
}

bool CDialogApp::StartWindowSystem()
{
    if (m_impl->application)
        return true;
    if (std::optional<std::string> why = WhyNoWindow()) {
        TellNoWindow(m_impl->name, *why);
        return false;
    }
    {
        CStartGuard guard(m_impl->name);
        m_impl->application = std::make_unique<QApplication>(m_impl->argc, m_impl->argv);
    }
    QApplication::setApplicationName(QString::fromStdString(m_impl->name));
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setFont(DialogFont());
    m_impl->ApplyColours();
    SetMessageBoxService(&m_impl->messageBox);
    return true;
}

}  // namespace platform
