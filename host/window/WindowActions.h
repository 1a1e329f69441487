#pragma once
// Every command of the Downloads window as an action, with its words, shortcut, icon and accessible
// name, and the menus, toolbar and context menu that offer them. Which of them apply at a moment is
// the window's business (DownloadsWindow::updateActions).

#include <QObject>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

namespace Lumora::Window {

struct WindowActions {
    QAction *add = nullptr;
    QAction *paste = nullptr;
    QAction *pauseAll = nullptr;
    QAction *resumeAll = nullptr;
    QAction *stop = nullptr;
    QAction *retry = nullptr;
    QAction *remove = nullptr;
    QAction *moveUp = nullptr;
    QAction *moveDown = nullptr;
    QAction *moveToTop = nullptr;
    QAction *clearCompleted = nullptr;
    QAction *play = nullptr;
    QAction *openFolder = nullptr;
    QAction *copyAddress = nullptr;
    QAction *settings = nullptr;
    QAction *close = nullptr;
    QAction *quit = nullptr;

    QToolBar *toolBar = nullptr;
    QMenu *contextMenu = nullptr;

    // Makes the actions (owned by window) and puts them in its menus and toolbar.
    static WindowActions create(QMainWindow *window);
};

} // namespace Lumora::Window
