#pragma once
// The window's settings: the media folder (with a folder picker), whether the queue runs when the
// player starts, the completion notice, and the transfers' speed limit and connections per download.
// Shown with what is stored now; OK writes what changed and stays open, saying why, when the store
// or a value is refused.

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace Lumora::Window {

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(QWidget *parent = nullptr);

    // Writes the settings; false with the reason shown in the dialog.
    bool apply();
    void accept() override;

    QLineEdit *mediaFolderEdit() const { return m_folder; }
    QCheckBox *resumeBox() const { return m_resume; }
    QCheckBox *noticeBox() const { return m_notice; }
    QLineEdit *rateLimitEdit() const { return m_rate; }
    QSpinBox *connectionsBox() const { return m_connections; }
    QString errorText() const;

signals:
    // The media folder setting names another folder now.
    void mediaFolderChanged();

private:
    void chooseFolder();
    void showError(const QString &sentence);

    QLineEdit *m_folder;
    QCheckBox *m_resume;
    QCheckBox *m_notice;
    QLineEdit *m_rate;
    QSpinBox *m_connections;
    QLabel *m_error;
    QString m_storedFolder;
    bool m_storedResume = true;
    bool m_storedNotice = true;
    QString m_storedRate;
    QString m_storedConnections;
};

} // namespace Lumora::Window
