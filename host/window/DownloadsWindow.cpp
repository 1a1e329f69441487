#include "host/window/DownloadsWindow.h"

#include "host/player/Format.h"
#include "host/player/PlayerSettings.h"
#include "host/window/AddressDialog.h"
#include "host/window/AddressText.h"
#include "host/window/ProgressDelegate.h"
#include "host/window/QueueModel.h"
#include "host/window/QueueOperations.h"
#include "host/window/SettingsDialog.h"
#include "host/window/TrayIcon.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace Lumora::Window {

namespace {

// Sizes in text widths and lines, so that the window scales with its font and the screen's density.
constexpr int kRowPaddingPixels = 8;
constexpr int kStatusMessageMs = 8000;
constexpr int kDefaultWidthChars = 120;
constexpr int kDefaultHeightLines = 28;
constexpr char kIconResource[] = ":/lumora/lumora.svg";

int charsWide(const QWidget *widget, int chars)
{
    return widget->fontMetrics().averageCharWidth() * chars;
}

} // namespace

DownloadsWindow::DownloadsWindow(QueueModel &model, QueueOperations &operations, QWidget *parent)
    : QMainWindow(parent), m_model(model), m_operations(operations)
{
    setWindowTitle(tr("Downloads – Lumora"));
    setWindowIcon(QIcon(QLatin1String(kIconResource)));
    setAcceptDrops(true);

    m_view = new QTableView(this);
    m_view->setModel(&m_model);
    m_view->setAccessibleName(tr("Download queue"));
    m_view->setItemDelegateForColumn(QueueModel::ProgressColumn, new ProgressDelegate(m_view));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setDragDropMode(QAbstractItemView::DragDrop);
    m_view->setDefaultDropAction(Qt::MoveAction);
    m_view->setDragDropOverwriteMode(false);
    m_view->setDropIndicatorShown(true);
    m_view->setShowGrid(false);
    m_view->setAlternatingRowColors(true);
    m_view->setWordWrap(false);
    m_view->setTabKeyNavigation(false);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    // Fixed row heights: the view never measures ten thousand rows to lay them out.
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + kRowPaddingPixels);
    QHeaderView *header = m_view->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(QueueModel::TitleColumn, QHeaderView::Stretch);
    header->setHighlightSections(false);
    const struct {
        int column;
        int chars;
    } widths[] = {{QueueModel::StatusColumn, 28}, {QueueModel::ProgressColumn, 14}, {QueueModel::SizeColumn, 26},
                  {QueueModel::SpeedColumn, 12}, {QueueModel::TimeLeftColumn, 10}, {QueueModel::SourceColumn, 30}};
    for (const auto &width : widths)
        m_view->setColumnWidth(width.column, charsWide(this, width.chars));

    m_empty = new QLabel(m_view->viewport());
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setWordWrap(true);
    m_empty->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_empty->setForegroundRole(QPalette::PlaceholderText);
    m_empty->setText(tr("No downloads yet.\n\nPaste the address of a video file (Ctrl+V), drop links or a text file of "
                        "links here, or choose Add Addresses."));
    m_view->viewport()->installEventFilter(this);

    m_noticeBar = new QWidget(this);
    m_notice = new QLabel(m_noticeBar);
    m_notice->setWordWrap(true);
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_notice->setAccessibleName(tr("Notice"));
    auto *dismiss = new QToolButton(m_noticeBar);
    dismiss->setAutoRaise(true);
    dismiss->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    dismiss->setAccessibleName(tr("Dismiss the notice"));
    dismiss->setToolTip(tr("Dismiss"));
    auto *noticeLayout = new QHBoxLayout(m_noticeBar);
    auto *noticeIcon = new QLabel(m_noticeBar);
    const int iconSide = style()->pixelMetric(QStyle::PM_SmallIconSize);
    noticeIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(iconSide, iconSide));
    noticeLayout->addWidget(noticeIcon);
    noticeLayout->addWidget(m_notice, 1);
    noticeLayout->addWidget(dismiss);
    m_noticeBar->hide();
    connect(dismiss, &QToolButton::clicked, m_noticeBar, &QWidget::hide);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_noticeBar);
    layout->addWidget(m_view, 1);
    setCentralWidget(central);

    m_status = new QLabel(this);
    m_status->setAccessibleName(tr("Queue status"));
    statusBar()->addPermanentWidget(m_status);

    m_actions = WindowActions::create(this);
    m_tray = new TrayIcon(windowIcon(), m_actions.quit, this);
    m_tray->show();
    connect(m_tray, &TrayIcon::showWindowRequested, this, &DownloadsWindow::showFromTray);
    connectActions();

    resize(charsWide(this, kDefaultWidthChars), fontMetrics().lineSpacing() * kDefaultHeightLines);
    updateEmptyState();
    updateActions();
    updateStatus();
}

DownloadsWindow::~DownloadsWindow() = default;

void DownloadsWindow::connectActions()
{
    const WindowActions &a = m_actions;
    connect(a.add, &QAction::triggered, this, &DownloadsWindow::addAddresses);
    connect(a.paste, &QAction::triggered, this, &DownloadsWindow::pasteAddresses);
    connect(a.pauseAll, &QAction::triggered, this, [this] { m_operations.pauseAll(); });
    connect(a.resumeAll, &QAction::triggered, this, [this] { m_operations.resumeAll(); });
    connect(a.stop, &QAction::triggered, this, [this] { m_operations.stopCurrent(); });
    connect(a.retry, &QAction::triggered, this, [this] {
        std::vector<uint64_t> failed;
        for (uint64_t id : selectedIds()) {
            const QueueRow *row = m_model.rowAt(m_model.rowOf(id));
            if (row && isRetryableStatus(row->status))
                failed.push_back(id);
        }
        m_operations.retry(failed);
    });
    connect(a.remove, &QAction::triggered, this, [this] { m_operations.remove(selectedIds()); });
    connect(a.moveUp, &QAction::triggered, this, [this] { m_operations.moveUp(selectedIds()); });
    connect(a.moveDown, &QAction::triggered, this, [this] { m_operations.moveDown(selectedIds()); });
    connect(a.moveToTop, &QAction::triggered, this, [this] { m_operations.moveToTop(selectedIds()); });
    connect(a.clearCompleted, &QAction::triggered, this, [this] { m_operations.clearCompleted(); });
    connect(a.play, &QAction::triggered, this, &DownloadsWindow::play);
    connect(a.openFolder, &QAction::triggered, this, &DownloadsWindow::openFolder);
    connect(a.copyAddress, &QAction::triggered, this, &DownloadsWindow::copyAddress);
    connect(a.settings, &QAction::triggered, this, &DownloadsWindow::openSettings);
    connect(a.close, &QAction::triggered, this, &QWidget::close);
    connect(a.quit, &QAction::triggered, this, &DownloadsWindow::quitRequested);

    connect(m_view, &QTableView::activated, this, &DownloadsWindow::play);
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        if (m_view->indexAt(at).isValid())
            m_actions.contextMenu->popup(m_view->viewport()->mapToGlobal(at));
    });
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &DownloadsWindow::updateActions);

    connect(&m_model, &QueueModel::countsChanged, this, [this] {
        updateActions();
        updateStatus();
    });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&m_model, signal, this, &DownloadsWindow::updateEmptyState);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &DownloadsWindow::updateEmptyState);
    connect(&m_model, &QueueModel::moveRequested, this, [this](const QList<quint64> &ids, int beforeRow) {
        m_operations.moveTo(std::vector<uint64_t>(ids.begin(), ids.end()), beforeRow);
    });
    connect(&m_model, &QueueModel::addressesDropped, this, &DownloadsWindow::queueTexts);
    connect(&m_model, &QueueModel::downloadFinished, this, &DownloadsWindow::downloadFinished);

    connect(&m_operations, &QueueOperations::intakeReported, this, &DownloadsWindow::intakeReported);
    connect(&m_operations, &QueueOperations::problem, this, &DownloadsWindow::showNotice);
    connect(&m_operations, &QueueOperations::playDeferred, this, [this](const QString &title) {
        statusBar()->showMessage(tr("“%1” plays once %2% of it has arrived.").arg(title).arg(PlayThresholdPercent),
                                 kStatusMessageMs);
    });
}

std::vector<uint64_t> DownloadsWindow::selectedIds() const
{
    std::vector<int> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<uint64_t> ids;
    ids.reserve(rows.size());
    for (int row : rows) {
        if (const QueueRow *r = m_model.rowAt(row))
            ids.push_back(r->id);
    }
    return ids;
}

void DownloadsWindow::updateActions()
{
    const WindowActions &a = m_actions;
    const QueueModel::Counts counts = m_model.counts();
    const QModelIndexList selected = m_view->selectionModel()->selectedRows();
    const bool any = !selected.isEmpty() && !m_stopping;
    bool retryable = false;
    for (const QModelIndex &index : selected) {
        const QueueRow *row = m_model.rowAt(index.row());
        if (row && isRetryableStatus(row->status)) {
            retryable = true;
            break;
        }
    }
    const bool live = !m_stopping;
    a.add->setEnabled(live);
    a.paste->setEnabled(live);
    a.pauseAll->setEnabled(live && !m_model.isPaused() && counts.total > counts.completed + counts.failed);
    a.resumeAll->setEnabled(live && m_model.isPaused());
    a.stop->setEnabled(live && counts.running > 0);
    a.retry->setEnabled(any && retryable);
    for (QAction *action : {a.remove, a.moveUp, a.moveDown, a.moveToTop, a.play, a.openFolder, a.copyAddress})
        action->setEnabled(any);
    a.clearCompleted->setEnabled(live && counts.completed > 0);
    a.settings->setEnabled(live);
}

void DownloadsWindow::updateStatus()
{
    const QueueModel::Counts counts = m_model.counts();
    QStringList parts;
    parts << tr("%1 in the queue").arg(counts.total);
    if (counts.running > 0)
        parts << tr("%1 running at %2").arg(counts.running).arg(Host::formatRate(counts.bytesPerSecond));
    if (counts.failed > 0)
        parts << tr("%1 failed").arg(counts.failed);
    if (m_model.isPaused())
        parts << tr("paused");
    const QString text = parts.join(QStringLiteral(" · "));
    m_status->setText(text);
    m_tray->setStatus(tr("Lumora: %1").arg(text));
}

void DownloadsWindow::updateEmptyState()
{
    m_empty->setGeometry(m_view->viewport()->rect());
    m_empty->setVisible(m_model.rowCount() == 0);
}

bool DownloadsWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::Resize)
        m_empty->setGeometry(m_view->viewport()->rect());
    return QMainWindow::eventFilter(watched, event);
}

void DownloadsWindow::showNotice(const QString &sentence)
{
    m_notice->setText(sentence);
    m_noticeBar->setVisible(!sentence.isEmpty());
}

QString DownloadsWindow::notice() const
{
    return m_noticeBar->isHidden() ? QString() : m_notice->text();
}

void DownloadsWindow::queueTexts(const QStringList &texts)
{
    const AddressText::Checked checked = AddressText::check(AddressText::expandDropped(texts));
    if (!checked.problems.isEmpty())
        showNotice(tr("Not queued: %1").arg(checked.problems.join(QStringLiteral("; "))));
    if (checked.addresses.empty()) {
        if (checked.problems.isEmpty())
            showNotice(tr("There is no address to queue in what was given."));
        return;
    }
    m_operations.add(checked.addresses);
}

void DownloadsWindow::addAddresses()
{
    AddressDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        m_operations.add(dialog.addresses());
}

void DownloadsWindow::pasteAddresses()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    QStringList texts;
    if (data && data->hasUrls()) {
        for (const QUrl &url : data->urls())
            texts << url.toString();
    } else if (data && data->hasText()) {
        texts << data->text();
    }
    if (texts.isEmpty()) {
        showNotice(tr("The clipboard holds no address to paste."));
        return;
    }
    queueTexts(texts);
}

void DownloadsWindow::intakeReported(const QList<Host::IntakeOutcome> &outcomes)
{
    QStringList refused;
    int queued = 0;
    for (const Host::IntakeOutcome &outcome : outcomes) {
        switch (outcome.kind) {
        case Host::IntakeOutcome::Kind::Refused:
            refused << tr("%1: %2").arg(Host::maskedAddress(outcome.address), outcome.refusal);
            break;
        case Host::IntakeOutcome::Kind::Queued:
        case Host::IntakeOutcome::Kind::Retrying:
            ++queued;
            break;
        case Host::IntakeOutcome::Kind::AlreadyDownloaded:
            statusBar()->showMessage(outcome.fileGone ? tr("“%1” was downloaded before, but its file is gone: remove it and add it again.").arg(outcome.title)
                                                      : tr("“%1” is downloaded already.").arg(outcome.title),
                                     kStatusMessageMs);
            break;
        case Host::IntakeOutcome::Kind::AlreadyQueued:
            statusBar()->showMessage(tr("“%1” is in the queue already.").arg(outcome.title), kStatusMessageMs);
            break;
        }
    }
    if (!refused.isEmpty())
        showNotice(tr("Not queued: %1").arg(refused.join(QStringLiteral("; "))));
    if (queued > 0)
        statusBar()->showMessage(tr("Queued: %1").arg(queued), kStatusMessageMs);
}

void DownloadsWindow::downloadFinished(uint64_t id, int status)
{
    const QueueRow *row = m_model.rowAt(m_model.rowOf(id));
    if (!row)
        return;
    // The desktop notice of an ending is the player's (CompletionNotice), sent once it is final.
    if (status == Completed)
        statusBar()->showMessage(tr("“%1” completed.").arg(row->title), kStatusMessageMs);
}

void DownloadsWindow::openSettings()
{
    SettingsDialog dialog(this);
    connect(&dialog, &SettingsDialog::mediaFolderChanged, this, &DownloadsWindow::mediaFolderChanged);
    dialog.exec();
}

void DownloadsWindow::play()
{
    const std::vector<uint64_t> ids = selectedIds();
    if (!ids.empty())
        m_operations.play(ids.front());
}

void DownloadsWindow::openFolder()
{
    const std::vector<uint64_t> ids = selectedIds();
    const QueueRow *row = ids.empty() ? nullptr : m_model.rowAt(m_model.rowOf(ids.front()));
    if (!row)
        return;
    // A download that has not arrived yet goes to the media folder; show that one.
    QString folder = row->file.isLocalFile() ? QFileInfo(row->file.toLocalFile()).absolutePath() : QString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = Host::PlayerSettings::mediaFolder();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        showNotice(tr("The folder %1 could not be opened.").arg(folder));
}

void DownloadsWindow::copyAddress()
{
    QStringList addresses;
    for (uint64_t id : selectedIds()) {
        if (const QueueRow *row = m_model.rowAt(m_model.rowOf(id)))
            addresses << row->source.toString(QUrl::RemovePassword);
    }
    if (!addresses.isEmpty())
        QGuiApplication::clipboard()->setText(addresses.join(QLatin1Char('\n')));
}

void DownloadsWindow::setStopping()
{
    m_stopping = true;
    showNotice(tr("Stopping: the running download is kept and goes on at the next start."));
    updateActions();
}

void DownloadsWindow::showFromTray()
{
    show();
    raise();
    activateWindow();
}

void DownloadsWindow::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    event->ignore();
    if (m_stopping)
        return;
    if (m_tray->isVisible()) {
        hide();
        m_tray->notifyKeptRunning();
        return;
    }
    const auto answer = QMessageBox::question(
        this, tr("Quit Lumora?"),
        tr("Downloads stop while Lumora is closed. The running download keeps what has arrived and goes on from "
           "there at the next start.\n\nQuit now?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        emit quitRequested();
}

void DownloadsWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText())
        event->acceptProposedAction();
}

void DownloadsWindow::dropEvent(QDropEvent *event)
{
    QStringList texts;
    if (event->mimeData()->hasUrls()) {
        for (const QUrl &url : event->mimeData()->urls())
            texts << url.toString();
    } else {
        texts << event->mimeData()->text();
    }
    queueTexts(texts);
    event->acceptProposedAction();
}

} // namespace Lumora::Window
