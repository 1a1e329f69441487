#include "host/window/SettingsDialog.h"

#include "host/player/PlayerSettings.h"
#include "host/window/WindowSettings.h"
#include "plugin/SettingKeys.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Lumora::Window {

SettingsDialog::SettingsDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Download Settings"));

    m_folder = new QLineEdit(this);
    m_folder->setAccessibleName(tr("Media folder"));
    auto *browse = new QPushButton(tr("&Browse…"), this);
    browse->setAccessibleName(tr("Choose the media folder"));
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);

    m_resume = new QCheckBox(tr("&Resume downloads when the player starts"), this);
    m_notice = new QCheckBox(tr("Show a &notice when a download completes"), this);

    auto *form = new QFormLayout;
    auto *folderLabel = new QLabel(tr("&Media folder:"), this);
    folderLabel->setBuddy(m_folder);
    form->addRow(folderLabel, folderRow);
    form->addRow(QString(), m_resume);
    form->addRow(QString(), m_notice);

    // The download engine's rate limit and connection count belong here once the engine takes them.
    auto *transfers = new QGroupBox(tr("Transfers"), this);
    auto *transfersLayout = new QVBoxLayout(transfers);
    auto *later = new QLabel(tr("A speed limit and the number of connections can be set here once the download "
                                "engine offers them."),
                             transfers);
    later->setWordWrap(true);
    later->setEnabled(false);
    transfersLayout->addWidget(later);

    m_error = new QLabel(this);
    m_error->setWordWrap(true);
    m_error->setAccessibleName(tr("Settings problem"));
    m_error->hide();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(transfers);
    layout->addWidget(m_error);
    layout->addWidget(buttons);

    Host::PlayerSettings::Value folder;
    QString ignored;
    Host::PlayerSettings::get(QLatin1String(SettingKeys::MediaFolder), &folder, &ignored);
    m_storedFolder = folder.text;
    m_storedResume = Host::PlayerSettings::resumeDownloadsOnStartup();
    m_storedNotice = WindowSettings::completionNotice();
    m_folder->setText(m_storedFolder);
    m_resume->setChecked(m_storedResume);
    m_notice->setChecked(m_storedNotice);

    connect(browse, &QPushButton::clicked, this, &SettingsDialog::chooseFolder);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void SettingsDialog::chooseFolder()
{
    const QString chosen = QFileDialog::getExistingDirectory(this, tr("Media Folder"), m_folder->text());
    if (!chosen.isEmpty())
        m_folder->setText(chosen);
}

void SettingsDialog::showError(const QString &sentence)
{
    m_error->setText(sentence);
    m_error->show();
}

QString SettingsDialog::errorText() const
{
    return m_error->isVisible() ? m_error->text() : QString();
}

bool SettingsDialog::apply()
{
    m_error->hide();
    QString error;
    bool usage = false;
    const QString folder = m_folder->text().trimmed();
    if (folder != m_storedFolder) {
        if (!Host::PlayerSettings::set(QLatin1String(SettingKeys::MediaFolder), folder, QString(), &error, &usage)) {
            showError(tr("The media folder was not changed: %1.").arg(error));
            return false;
        }
        Host::PlayerSettings::Value stored;
        Host::PlayerSettings::get(QLatin1String(SettingKeys::MediaFolder), &stored, &error);
        m_storedFolder = stored.text;
        m_folder->setText(m_storedFolder);
        emit mediaFolderChanged();
    }
    if (m_resume->isChecked() != m_storedResume) {
        const QString flag = m_resume->isChecked() ? QStringLiteral("true") : QStringLiteral("false");
        if (!Host::PlayerSettings::set(QLatin1String(SettingKeys::ResumeDownloadsOnStartup), flag, QString(), &error, &usage)) {
            showError(tr("Resuming on start-up was not changed: %1.").arg(error));
            return false;
        }
        m_storedResume = m_resume->isChecked();
    }
    if (m_notice->isChecked() != m_storedNotice) {
        if (!WindowSettings::setCompletionNotice(m_notice->isChecked())) {
            showError(tr("The completion notice was not changed: the settings store did not keep it."));
            return false;
        }
        m_storedNotice = m_notice->isChecked();
    }
    return true;
}

void SettingsDialog::accept()
{
    if (apply())
        QDialog::accept();
}

} // namespace Lumora::Window
