// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/Application.h"

#include "platform/qt/DialogFont.h"
#include "platform/qt/QtMessageBox.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

#include <cstdlib>
#include <iostream>

namespace platform {

namespace {

bool HasDisplay()
{
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

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
    if (!HasDisplay()) {
        std::cerr << m_impl->name << ": cannot show a window: no display (DISPLAY and WAYLAND_DISPLAY are not set)\n";
        return false;
    }
    m_impl->application = std::make_unique<QApplication>(m_impl->argc, m_impl->argv);
    QApplication::setApplicationName(QString::fromStdString(m_impl->name));
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setFont(DialogFont());
    m_impl->ApplyColours();
    SetMessageBoxService(&m_impl->messageBox);
    return true;
}

}  // namespace platform
