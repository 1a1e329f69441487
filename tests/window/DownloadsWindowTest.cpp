// The Downloads window: each action calls its download manager operation for the selected rows,
// dropped and pasted addresses are checked and queued, and the window says in sentences what did not
// work. The window runs on the offscreen platform; operations run at once against a mock manager.

#include "host/window/DownloadsWindow.h"

#include "host/window/TrayIcon.h"
#include "tests/window/WindowTestFixture.h"

#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Lumora;
using namespace Lumora::Window;
using ::testing::Return;

namespace {

class DownloadsWindowTest : public LumoraTest::WindowPartsTest {
protected:
    void SetUp() override
    {
        WindowPartsTest::SetUp();
        window = std::make_unique<DownloadsWindow>(model, *operations);
        window->show();
    }

    void select(std::initializer_list<int> rows)
    {
        QItemSelectionModel *selection = window->view()->selectionModel();
        selection->clearSelection();
        for (int row : rows)
            selection->select(model.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    void trigger(QAction *action)
    {
        ASSERT_TRUE(action->isEnabled()) << action->text().toStdString();
        action->trigger();
        LumoraTest::drainEvents();
    }

    std::vector<QUrl> queuedAddresses() const { return receiver.received; }

    std::unique_ptr<DownloadsWindow> window;
};

} // namespace

TEST_F(DownloadsWindowTest, eachActionCallsItsOperationForTheSelectedDownloads)
{
    const ItemPtr a = add("a"), b = add("b", Downloading), c = add("c", Failed), d = add("d", Completed);
    showQueue();
    const WindowActions &act = window->actions();

    EXPECT_CALL(manager, pauseAll());
    trigger(act.pauseAll);
    model.setPaused(true);
    EXPECT_FALSE(act.pauseAll->isEnabled());
    EXPECT_CALL(manager, resumeAll());
    trigger(act.resumeAll);
    EXPECT_CALL(manager, stopCurrentDownload());
    trigger(act.stop);
    EXPECT_CALL(manager, clearCompletedDownloads());
    trigger(act.clearCompleted);

    // Nothing selected: nothing to act on.
    select({});
    for (QAction *action : {act.remove, act.retry, act.moveUp, act.play, act.copyAddress})
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();

    // Retry asks only for the failed ones among the selected.
    select({0, 2});
    EXPECT_CALL(manager, retryDownload(c->id()));
    EXPECT_CALL(manager, retryDownload(a->id())).Times(0);
    trigger(act.retry);

    select({1});
    EXPECT_CALL(manager, moveDownload(b->id(), 0)).WillOnce(Return(true));
    trigger(act.moveUp);
    EXPECT_CALL(manager, moveDownload(b->id(), 2)).WillOnce(Return(true));
    trigger(act.moveDown);
    select({2});
    EXPECT_CALL(manager, moveDownload(c->id(), 0)).WillOnce(Return(true));
    trigger(act.moveToTop);

    select({3});
    EXPECT_CALL(manager, playDownload(d->id())).WillOnce(Return(true));
    trigger(act.play);
    trigger(act.copyAddress);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "http://h/d.mp4");

    select({0, 3});
    EXPECT_CALL(manager, removeDownload(a->id())).WillOnce(Return(true));
    EXPECT_CALL(manager, removeDownload(d->id())).WillOnce(Return(true));
    trigger(act.remove);
}

TEST_F(DownloadsWindowTest, shortcutsReachTheActionsFromTheTable)
{
    add("a", Failed);
    showQueue();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->view()->setFocus();
    select({0});
    EXPECT_CALL(manager, retryDownload(::testing::_));
    QTest::keyClick(window->view(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_CALL(manager, removeDownload(::testing::_)).WillOnce(Return(true));
    QTest::keyClick(window->view(), Qt::Key_Delete);
    LumoraTest::drainEvents();
}

TEST_F(DownloadsWindowTest, pastedAddressesAreCheckedAndQueued)
{
    QGuiApplication::clipboard()->setText("http://h/one.mp4\n  http://h/two.mkv  \nclip.mp4\n");
    trigger(window->actions().paste);
    EXPECT_EQ(queuedAddresses(), (std::vector<QUrl>{QUrl("http://h/one.mp4"), QUrl("http://h/two.mkv")}));
    // The address that is none is named with the command line's reason.
    QUrl ignored;
    QString reason;
    Host::checkAddress("clip.mp4", &ignored, &reason);
    EXPECT_EQ(window->notice(), QStringLiteral("Not queued: clip.mp4: %1").arg(reason));

    QGuiApplication::clipboard()->clear();
    trigger(window->actions().paste);
    EXPECT_EQ(window->notice(), "The clipboard holds no address to paste.");
}

TEST_F(DownloadsWindowTest, aDroppedListOfAddressesIsQueued)
{
    QTemporaryDir dir;
    const QString list = dir.filePath("links.txt");
    {
        QFile file(list);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("# tonight\nhttp://h/one.mp4\n\nhttps://h/two.avi\nhttp://h/one.mp4\n");
    }
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(list), QUrl("http://h/three.mov")});
    // As a drag from another program arrives: it enters, then drops.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &drop);
    LumoraTest::drainEvents();
    EXPECT_EQ(queuedAddresses(),
              (std::vector<QUrl>{QUrl("http://h/one.mp4"), QUrl("https://h/two.avi"), QUrl("http://h/three.mov")}));
    EXPECT_EQ(window->notice(), "");

    // Onto the table, through its model.
    QMimeData text;
    text.setText("http://h/four.mp4");
    EXPECT_TRUE(model.dropMimeData(&text, Qt::CopyAction, -1, -1, QModelIndex()));
    LumoraTest::drainEvents();
    EXPECT_EQ(queuedAddresses().back(), QUrl("http://h/four.mp4"));
}

TEST_F(DownloadsWindowTest, theEmptyQueueSaysWhatToDo)
{
    auto *empty = window->view()->viewport()->findChild<QLabel *>();
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->isVisible());
    EXPECT_TRUE(empty->text().contains("Ctrl+V"));
    add("a");
    showQueue();
    EXPECT_FALSE(empty->isVisible());
}

TEST_F(DownloadsWindowTest, refusedAddressesAreToldAsSentences)
{
    EXPECT_CALL(manager, findDownload(QUrl("http://h/notes.txt"), ::testing::_)).WillRepeatedly(Return(false));
    QGuiApplication::clipboard()->setText("http://h/notes.txt");
    // The receiver queues whatever it gets; this manager then does not find it, as when it refused.
    trigger(window->actions().paste);
    EXPECT_TRUE(window->notice().startsWith("Not queued: http://h/notes.txt: ")) << window->notice().toStdString();
}

TEST_F(DownloadsWindowTest, closingWithoutATrayAsksBeforeTheDownloadsStop)
{
    ASSERT_FALSE(window->tray()->isVisible());  // the offscreen platform has no tray
    QSignalSpy quit(window.get(), &DownloadsWindow::quitRequested);
    auto answer = [](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [button] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            box->button(button)->click();
        });
    };

    answer(QMessageBox::No);
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(quit.size(), 0);

    // Yes asks for the orderly shutdown; the window stays until the player has stopped.
    answer(QMessageBox::Yes);
    window->close();
    EXPECT_EQ(quit.size(), 1);
    EXPECT_TRUE(window->isVisible());
    window->allowClose();
    window->close();
    EXPECT_FALSE(window->isVisible());
}
