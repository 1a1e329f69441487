#include "host/window/WindowSession.h"

#include "host/lmrlibrary/UIThread.h"
#include "host/player/ExitCode.h"
#include "host/player/Format.h"
#include "host/window/AddressText.h"
#include "host/window/DownloadsWindow.h"
#include "host/window/QueueModel.h"
#include "host/window/QueueOperations.h"
#include "host/window/QueueReader.h"

#include <QApplication>
#include <QFileInfo>
#include <QStatusBar>

namespace Lumora::Window {

namespace {

// Bytes and speed of the running downloads are read this often.
constexpr int kProgressTickMs = 100;
// A handed-over "run --until-idle" asks this often whether the queue is idle.
constexpr int kIdleCheckMs = 150;
constexpr int kStatusMessageMs = 8000;
constexpr char kEndOfOptions[] = "--";

} // namespace

WindowSession::WindowSession(Options options)
    : m_options(std::move(options)), m_player(*this, playerOptions())
{
    if (m_options.makeFollowers)
        m_followers = m_options.makeFollowers(m_player);
    m_model = std::make_unique<QueueModel>();
    m_operations = std::make_unique<QueueOperations>([this](Host::Player::Operation operation) {
        m_player.submit(std::move(operation));
    });
}

WindowSession::~WindowSession()
{
    *m_alive = false;
    release();
    m_window.reset();
    m_player.close();
}

Host::Player::Options WindowSession::playerOptions()
{
    Host::Player::Options options;
    options.socketPath = m_options.socketPath;
    options.handOver = [this](const QStringList &args, const QString &cwd, std::shared_ptr<Host::CommandReply> reply) {
        handOver(args, cwd, std::move(reply));
    };
    return options;
}

bool WindowSession::start(QString *error)
{
    if (!m_player.start(error)) {
        m_player.close();
        return false;
    }
    m_started = true;
    // The window hides in the tray and dialogs come and go: only quitting ends the player.
    QApplication::setQuitOnLastWindowClosed(false);
    m_window = std::make_unique<DownloadsWindow>(*m_model, *m_operations);
    connect(m_window.get(), &DownloadsWindow::quitRequested, this, &WindowSession::quit);
    connect(m_window.get(), &DownloadsWindow::mediaFolderChanged, this, [this] { m_player.applyMediaFolder(); });
    connect(m_operations.get(), &QueueOperations::pausedKnown, m_model.get(), &QueueModel::setPaused);

    // The reader walks the library the plugins work on, which only the operation thread is handed.
    m_player.submit([this, alive = m_alive](const Host::LivePlugins &plugins) {
        Host::MainThread::postIfAlive(alive, [this, library = plugins.library] {
            if (m_stopped)
                return;
            m_reader = std::make_unique<QueueReader>(library, [this](std::vector<ItemPtr> queue) { m_model->setOrder(queue); });
            m_reader->request();
        });
    });
    m_operations->askPaused();
    connect(&m_progressTimer, &QTimer::timeout, m_model.get(), &QueueModel::tick);
    m_progressTimer.start(kProgressTickMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &WindowSession::checkIdle);

    m_window->show();
    present(m_options.addresses);
    return true;
}

int WindowSession::exec()
{
    if (!m_started)
        return Host::ExitFailed;
    const int code = m_loop.exec();
    release();
    m_window.reset();
    m_player.close();
    return code;
}

void WindowSession::quit()
{
    if (!m_started || m_stopped) {
        m_loop.exit(Host::ExitOk);
        return;
    }
    m_player.shutDown(0);
}

void WindowSession::release()
{
    if (m_followers)
        m_followers->clear();
    m_progressTimer.stop();
    m_idleTimer.stop();
    if (m_reader)
        m_reader->finish();
    m_reader.reset();
    if (m_model)
        m_model->clear();
}

void WindowSession::handOver(const QStringList &args, const QString &cwd, std::shared_ptr<Host::CommandReply> reply)
{
    if (!m_options.ownCommand.isEmpty() && args.value(0) == m_options.ownCommand) {
        if (m_player.isStopping()) {
            reply->retryLater();
            return;
        }
        QStringList addresses = args.mid(1);
        addresses.removeAll(QLatin1String(kEndOfOptions));
        const AddressText::Checked checked = AddressText::check(addresses);
        for (const QString &problem : checked.problems)
            reply->error(QStringLiteral("lumora: ") + problem);
        present(addresses);
        reply->message(QStringLiteral("the Downloads window of this home is open (pid %1)").arg(QCoreApplication::applicationPid()));
        reply->finish(checked.problems.isEmpty() ? Host::ExitOk : Host::ExitUsage);
        return;
    }
    if (m_options.handOver)
        m_options.handOver(*this, args, cwd, std::move(reply));
    else
        reply->finish(Host::ExitUsage);
}

void WindowSession::present(const QStringList &addresses)
{
    if (!m_window)
        return;
    if (!addresses.isEmpty())
        m_window->queueTexts(addresses);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void WindowSession::itemChanged(uint64_t id)
{
    m_model->refresh(id);
    if (m_followers)
        m_followers->itemChanged(id, false);
}

void WindowSession::statusChanged(uint64_t id)
{
    if (!m_model->refresh(id))
        listChanged();
    if (m_followers)
        m_followers->itemChanged(id, true);
}

void WindowSession::itemRemoved(uint64_t id)
{
    m_model->remove(id);
    if (m_followers)
        m_followers->itemRemoved(id);
}

void WindowSession::downloadEnded(uint64_t id, int32_t status)
{
    if (m_followers)
        m_followers->settle();
    if (m_idleWaiters.empty())
        return;
    if (status == Failed)
        m_idleWaiters.failed(m_player.failureReason(id));
    // The last download's end is when the queue may have become idle: look now.
    checkIdle();
}

void WindowSession::follow(std::vector<uint64_t> ids, std::vector<uint64_t> finishedBefore,
                           std::shared_ptr<Host::CommandReply> reply, int refused)
{
    toMainThread([this, ids = std::move(ids), finishedBefore = std::move(finishedBefore), reply = std::move(reply), refused] {
        if (m_player.isStopping()) {
            reply->retryLater();  // its downloads stay queued; the asker goes on with them
            return;
        }
        if (!m_followers) {
            reply->finish(Host::ExitOk);  // queued here; nobody relays their progress
            return;
        }
        m_followers->follow(ids, finishedBefore, reply, refused);
    });
}

void WindowSession::tell(const QString &line)
{
    toMainThread([this, line] {
        if (m_window)
            m_window->statusBar()->showMessage(line, kStatusMessageMs);
    });
}

void WindowSession::listChanged()
{
    if (m_reader)
        m_reader->request();
}

void WindowSession::pausedChanged(bool paused)
{
    m_model->setPaused(paused);
}

void WindowSession::played(const QUrl &url, bool started, const QString &error)
{
    if (!m_window)
        return;
    if (started)
        m_window->statusBar()->showMessage(tr("Playing %1").arg(Host::displayFile(url)), kStatusMessageMs);
    else
        m_window->showNotice(tr("%1 could not be played: %2.").arg(Host::displayFile(url), error));
}

void WindowSession::diskSpaceLow(const QString &itemName, const QString &targetPath, uint64_t requiredBytes,
                                 uint64_t freeBytes)
{
    if (m_window)
        m_window->showNotice(tr("“%1” cannot start: it needs %2, and %3 has %4 free.")
                                 .arg(itemName, Host::formatBytes(requiredBytes), QFileInfo(targetPath).path(),
                                      Host::formatBytes(freeBytes)));
}

void WindowSession::messageShown(int, const QString &text, const QString &detail)
{
    if (m_window)
        m_window->showNotice(detail.isEmpty() ? text : tr("%1 %2").arg(text, detail));
}

void WindowSession::stopping(int)
{
    m_progressTimer.stop();
    m_idleTimer.stop();
    if (m_window)
        m_window->setStopping();
    m_idleWaiters.handBack();
    if (m_followers)
        m_followers->handBack();
}

void WindowSession::stopped()
{
    // Every message the plugins sent before their shutdown returned has been shown by now.
    m_stopped = true;
    release();
    if (m_window) {
        m_window->allowClose();
        m_window->close();
    }
    m_loop.exit(Host::ExitOk);
}

void WindowSession::submit(Host::Player::Operation operation, std::function<void()> whenDown)
{
    m_player.submit(std::move(operation), std::move(whenDown));
}

void WindowSession::waitForIdle(std::shared_ptr<Host::CommandReply> reply)
{
    m_idleWaiters.add(std::move(reply));
    if (!m_idleTimer.isActive())
        m_idleTimer.start(kIdleCheckMs);
}

void WindowSession::checkIdle()
{
    if (m_checkingIdle || m_player.isStopping())
        return;
    m_checkingIdle = true;
    m_player.submit([this, alive = m_alive](const Host::LivePlugins &plugins) {
        const bool pending = plugins.manager->hasPendingDownloads();
        const bool paused = plugins.manager->isPaused();
        Host::MainThread::postIfAlive(alive, [this, pending, paused] {
            m_checkingIdle = false;
            if (m_player.isStopping())
                return;
            m_idleWaiters.answer(pending, paused);
            if (m_idleWaiters.empty())
                m_idleTimer.stop();
        });
    });
}

} // namespace Lumora::Window
