#include "host/window/WindowActions.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>

namespace Lumora::Window {

namespace {

QAction *makeAction(QMainWindow *window, const QString &text, const QString &tip, const QKeySequence &shortcut,
                    QStyle::StandardPixmap icon = QStyle::SP_CustomBase)
{
    auto *action = new QAction(text, window);
    action->setToolTip(tip);
    action->setStatusTip(tip);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    if (icon != QStyle::SP_CustomBase)
        action->setIcon(window->style()->standardIcon(icon));
    // The window's own shortcuts work wherever the focus is inside it.
    action->setShortcutContext(Qt::WindowShortcut);
    window->addAction(action);
    return action;
}

} // namespace

WindowActions WindowActions::create(QMainWindow *w)
{
    WindowActions a;
    a.add = makeAction(w, QObject::tr("&Add Addresses…"), QObject::tr("Queue the addresses of video files"),
                       QKeySequence::New, QStyle::SP_FileDialogNewFolder);
    a.paste = makeAction(w, QObject::tr("&Paste Addresses"), QObject::tr("Queue the addresses on the clipboard"),
                         QKeySequence::Paste);
    a.pauseAll = makeAction(w, QObject::tr("Pa&use All"), QObject::tr("Pause every download; what has arrived is kept"),
                            QKeySequence(QObject::tr("Ctrl+Shift+P")), QStyle::SP_MediaPause);
    a.resumeAll = makeAction(w, QObject::tr("&Resume All"), QObject::tr("Go on with the queue"),
                             QKeySequence(QObject::tr("Ctrl+Shift+R")), QStyle::SP_MediaSeekForward);
    a.stop = makeAction(w, QObject::tr("&Stop"), QObject::tr("Stop the running download; it goes on at its next start"),
                        QKeySequence(QObject::tr("Ctrl+Shift+S")), QStyle::SP_MediaStop);
    a.retry = makeAction(w, QObject::tr("Re&try"), QObject::tr("Download the failed downloads again"),
                         QKeySequence(QObject::tr("Ctrl+R")), QStyle::SP_BrowserReload);
    a.remove = makeAction(w, QObject::tr("Re&move"), QObject::tr("Remove the downloads and what they received so far"),
                          QKeySequence::Delete, QStyle::SP_TrashIcon);
    a.moveUp = makeAction(w, QObject::tr("Move &Up"), QObject::tr("Move the downloads one place up"),
                          QKeySequence(QObject::tr("Ctrl+Up")), QStyle::SP_ArrowUp);
    a.moveDown = makeAction(w, QObject::tr("Move &Down"), QObject::tr("Move the downloads one place down"),
                            QKeySequence(QObject::tr("Ctrl+Down")), QStyle::SP_ArrowDown);
    a.moveToTop = makeAction(w, QObject::tr("Move to &Top"), QObject::tr("Download these next"),
                             QKeySequence(QObject::tr("Ctrl+Home")));
    a.clearCompleted = makeAction(w, QObject::tr("&Clear Completed"), QObject::tr("Take the completed downloads off the list; their files stay"),
                                  QKeySequence(QObject::tr("Ctrl+Shift+Del")), QStyle::SP_DialogResetButton);
    a.play = makeAction(w, QObject::tr("P&lay"), QObject::tr("Play the file, or the download while it arrives"),
                        QKeySequence(QObject::tr("Ctrl+Return")), QStyle::SP_MediaPlay);
    a.openFolder = makeAction(w, QObject::tr("&Open Containing Folder"), QObject::tr("Show the file in its folder"),
                              QKeySequence(QObject::tr("Ctrl+Shift+O")), QStyle::SP_DirOpenIcon);
    a.copyAddress = makeAction(w, QObject::tr("&Copy Address"), QObject::tr("Copy the download's address"),
                               QKeySequence::Copy);
    a.settings = makeAction(w, QObject::tr("S&ettings…"), QObject::tr("Media folder, start-up and notices"),
                            QKeySequence(QObject::tr("Ctrl+,")), QStyle::SP_FileDialogDetailedView);
    a.close = makeAction(w, QObject::tr("&Close Window"), QObject::tr("Close the window; downloads go on in the tray"),
                         QKeySequence::Close);
    a.quit = makeAction(w, QObject::tr("&Quit"), QObject::tr("Stop downloading and quit"), QKeySequence::Quit);
    a.settings->setMenuRole(QAction::PreferencesRole);
    a.quit->setMenuRole(QAction::QuitRole);

    QMenu *file = w->menuBar()->addMenu(QObject::tr("&File"));
    file->addAction(a.add);
    file->addAction(a.paste);
    file->addSeparator();
    file->addAction(a.settings);
    file->addSeparator();
    file->addAction(a.close);
    file->addAction(a.quit);

    QMenu *downloads = w->menuBar()->addMenu(QObject::tr("&Downloads"));
    downloads->addAction(a.pauseAll);
    downloads->addAction(a.resumeAll);
    downloads->addAction(a.stop);
    downloads->addSeparator();
    downloads->addAction(a.retry);
    downloads->addAction(a.remove);
    downloads->addAction(a.clearCompleted);
    downloads->addSeparator();
    downloads->addAction(a.moveUp);
    downloads->addAction(a.moveDown);
    downloads->addAction(a.moveToTop);
    downloads->addSeparator();
    downloads->addAction(a.play);
    downloads->addAction(a.openFolder);
    downloads->addAction(a.copyAddress);

    a.toolBar = w->addToolBar(QObject::tr("Downloads"));
    a.toolBar->setObjectName(QStringLiteral("downloadsToolBar"));
    a.toolBar->setAccessibleName(QObject::tr("Download actions"));
    a.toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    a.toolBar->setMovable(false);
    for (QAction *action : {a.add, a.pauseAll, a.resumeAll, a.stop, a.retry, a.remove})
        a.toolBar->addAction(action);
    a.toolBar->addSeparator();
    for (QAction *action : {a.moveUp, a.moveDown, a.clearCompleted, a.play})
        a.toolBar->addAction(action);

    a.contextMenu = new QMenu(w);
    for (QAction *action : {a.play, a.openFolder, a.copyAddress})
        a.contextMenu->addAction(action);
    a.contextMenu->addSeparator();
    for (QAction *action : {a.retry, a.stop, a.remove})
        a.contextMenu->addAction(action);
    a.contextMenu->addSeparator();
    for (QAction *action : {a.moveUp, a.moveDown, a.moveToTop})
        a.contextMenu->addAction(action);
    return a;
}

} // namespace Lumora::Window
