#pragma once
// The Downloads window: the queue as a table, the actions on it (toolbar, menus, context menu,
// shortcuts, dropping and pasting links), the settings, notices as sentences, and the tray.
//
// The window works on a QueueModel and hands every download manager call to QueueOperations; it never
// calls the plugins itself. Whether the player keeps running when the window closes is decided here
// (the tray keeps it; without one the user is asked), the quitting itself by whoever runs the player
// (quitRequested).
//
// Main thread only.

#include "host/player/AddressIntake.h"
#include "host/window/WindowActions.h"

#include <QList>
#include <QMainWindow>

#include <cstdint>
#include <vector>

class QLabel;
class QTableView;
class QToolButton;

namespace Lumora::Window {

class QueueModel;
class QueueOperations;
class TrayIcon;

class DownloadsWindow : public QMainWindow {
    Q_OBJECT
public:
    DownloadsWindow(QueueModel &model, QueueOperations &operations, QWidget *parent = nullptr);
    ~DownloadsWindow() override;

    QTableView *view() const { return m_view; }
    const WindowActions &actions() const { return m_actions; }
    TrayIcon *tray() const { return m_tray; }

    // Checks and queues the addresses in what was dropped or pasted (links, text, text files).
    void queueTexts(const QStringList &texts);
    // A sentence for the user above the table, until it is closed or the next one comes.
    void showNotice(const QString &sentence);
    QString notice() const;

    // The ids of the selected downloads, in queue order.
    std::vector<uint64_t> selectedIds() const;

    // The player began stopping: the actions go, the window says so.
    void setStopping();
    // From now on closing the window closes it.
    void allowClose() { m_closing = true; }

signals:
    void quitRequested();
    void mediaFolderChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectActions();
    void updateActions();
    void updateStatus();
    void updateEmptyState();
    void addAddresses();
    void pasteAddresses();
    void openSettings();
    void play();
    void openFolder();
    void copyAddress();
    void intakeReported(const QList<Host::IntakeOutcome> &outcomes);
    void downloadFinished(uint64_t id, int status);
    void showFromTray();

    QueueModel &m_model;
    QueueOperations &m_operations;
    QTableView *m_view;
    QLabel *m_empty;
    QWidget *m_noticeBar;
    QLabel *m_notice;
    QLabel *m_status;
    WindowActions m_actions;
    TrayIcon *m_tray;
    bool m_stopping = false;
    bool m_closing = false;
};

} // namespace Lumora::Window
