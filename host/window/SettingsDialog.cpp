#include "host/window/SettingsDialog.h"

#include "host/player/PlayerSettings.h"
#include "host/window/WindowSettings.h"
#include "plugin/SettingKeys.h"
#include "vdm/VexoDownloadManager.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
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

    // The download engine's own settings: a change reaches a running download within a second.
    auto *transfers = new QGroupBox(tr("Transfers"), this);
    auto *transfersLayout = new QFormLayout(transfers);
    m_rate = new QLineEdit(transfers);
    m_rate->setAccessibleName(tr("Speed limit"));
    m_rate->setPlaceholderText(tr("0: no limit; 500K, 2M, …"));
    m_rate->setToolTip(tr("The most all downloads together may receive each second: 0 for no limit, or a number "
                          "of bytes with K, M or G after it."));
    m_connections = new QSpinBox(transfers);
    m_connections->setRange(VDM_MAX_CONNECTIONS_MIN, VDM_MAX_CONNECTIONS_MAX);
    m_connections->setAccessibleName(tr("Connections per download"));
    m_connections->setToolTip(tr("How many connections one download may open to a server that allows it."));
    auto *rateLabel = new QLabel(tr("Speed &limit (per second):"), transfers);
    rateLabel->setBuddy(m_rate);
    auto *connectionsLabel = new QLabel(tr("&Connections per download:"), transfers);
    connectionsLabel->setBuddy(m_connections);
    transfersLayout->addRow(rateLabel, m_rate);
    transfersLayout->addRow(connectionsLabel, m_connections);

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
    Host::PlayerSettings::Value rate;
    Host::PlayerSettings::get(QLatin1String(VDM_SETTING_MAX_DOWNLOAD_RATE), &rate, &ignored);
    m_storedRate = rate.text;
    Host::PlayerSettings::Value connections;
    Host::PlayerSettings::get(QLatin1String(VDM_SETTING_MAX_CONNECTIONS), &connections, &ignored);
    m_storedConnections = connections.text;
    m_folder->setText(m_storedFolder);
    m_resume->setChecked(m_storedResume);
    m_notice->setChecked(m_storedNotice);
    m_rate->setText(m_storedRate);
    m_connections->setValue(m_storedConnections.toInt());

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
    return m_error->isHidden() ? QString() : m_error->text();
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
    const QString rate = m_rate->text().trimmed().isEmpty() ? QStringLiteral("0") : m_rate->text().trimmed();
    if (rate != m_storedRate) {
        if (!Host::PlayerSettings::set(QLatin1String(VDM_SETTING_MAX_DOWNLOAD_RATE), rate, QString(), &error, &usage)) {
            showError(tr("The speed limit was not changed: %1.").arg(error));
            return false;
        }
        Host::PlayerSettings::Value stored;
        Host::PlayerSettings::get(QLatin1String(VDM_SETTING_MAX_DOWNLOAD_RATE), &stored, &error);
        m_storedRate = stored.text;
        m_rate->setText(m_storedRate);
    }
    const QString connections = QString::number(m_connections->value());
    if (connections != m_storedConnections) {
        if (!Host::PlayerSettings::set(QLatin1String(VDM_SETTING_MAX_CONNECTIONS), connections, QString(), &error, &usage)) {
            showError(tr("The connections per download were not changed: %1.").arg(error));
            return false;
        }
        m_storedConnections = connections;
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
