#include "host/window/TrayIcon.h"


#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace Lumora::Window {

TrayIcon::TrayIcon(const QIcon &icon, QAction *quit, QObject *parent) : QObject(parent)
{
    if (!isAvailable())
        return;
    m_icon = new QSystemTrayIcon(icon, this);
    m_menu = new QMenu;
    QAction *showWindow = m_menu->addAction(tr("Show Downloads"));
    connect(showWindow, &QAction::triggered, this, &TrayIcon::showWindowRequested);
    m_menu->addSeparator();
    m_menu->addAction(quit);
    m_icon->setContextMenu(m_menu);
    m_icon->setToolTip(tr("Lumora downloads"));
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit showWindowRequested();
    });
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, &TrayIcon::showWindowRequested);
}

TrayIcon::~TrayIcon()
{
    delete m_menu;
}

bool TrayIcon::isAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TrayIcon::isVisible() const
{
    return m_icon && m_icon->isVisible();
}

void TrayIcon::show()
{
    if (m_icon)
        m_icon->show();
}

void TrayIcon::setStatus(const QString &text)
{
    if (m_icon)
        m_icon->setToolTip(text);
}

void TrayIcon::notifyKeptRunning()
{
    if (!m_icon || m_keptRunningShown)
        return;
    m_keptRunningShown = true;
    m_icon->showMessage(tr("Lumora is still downloading"),
                        tr("The downloads go on here. Quit from this icon's menu to stop them."),
                        QSystemTrayIcon::Information);
}

} // namespace Lumora::Window
