#pragma once
// The player in the system tray, where the desktop has one: its status as the tooltip, a notice when
// a download completes (when the setting asks for it) or fails, and a menu to show the window or
// quit. Without a tray nothing is shown and notices go nowhere.

#include <QObject>
#include <QString>

class QAction;
class QIcon;
class QMenu;
class QSystemTrayIcon;

namespace Lumora::Window {

class TrayIcon : public QObject {
    Q_OBJECT
public:
    TrayIcon(const QIcon &icon, QAction *quit, QObject *parent = nullptr);
    ~TrayIcon() override;

    static bool isAvailable();
    bool isVisible() const;
    void show();

    void setStatus(const QString &text);
    // A one-time word that the downloads go on while the window is closed.
    void notifyKeptRunning();

signals:
    void showWindowRequested();

private:
    QSystemTrayIcon *m_icon = nullptr;
    QMenu *m_menu = nullptr;
    bool m_keptRunningShown = false;
};

} // namespace Lumora::Window
