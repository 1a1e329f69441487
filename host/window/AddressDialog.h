#pragma once
// "Add addresses": several at once, one per line, checked as they are typed with the reasons the
// command line gives. Add stays disabled until every line is an address the player can download.

#include <QDialog>
#include <QUrl>

#include <vector>

class QDialogButtonBox;
class QLabel;
class QPlainTextEdit;

namespace Lumora::Window {

class AddressDialog : public QDialog {
    Q_OBJECT
public:
    explicit AddressDialog(QWidget *parent = nullptr);

    void setText(const QString &text);
    // The addresses to queue, valid once accepted.
    std::vector<QUrl> addresses() const { return m_addresses; }
    // What is wrong with the text now, one line per address; empty when it can be added.
    QString problems() const;
    bool canAdd() const;

private:
    void check();

    QPlainTextEdit *m_edit;
    QLabel *m_problems;
    QDialogButtonBox *m_buttons;
    std::vector<QUrl> m_addresses;
};

} // namespace Lumora::Window
