#include "host/window/AddressDialog.h"

#include "host/window/AddressText.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Lumora::Window {

namespace {

constexpr int kVisibleLines = 8;

} // namespace

AddressDialog::AddressDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Add Addresses"));
    auto *intro = new QLabel(tr("Web addresses of video files, one per line:"), this);
    m_edit = new QPlainTextEdit(this);
    m_edit->setAccessibleName(tr("Addresses"));
    m_edit->setPlaceholderText(tr("https://example.org/video.mp4"));
    m_edit->setTabChangesFocus(true);
    m_edit->setMinimumHeight(m_edit->fontMetrics().lineSpacing() * kVisibleLines);
    intro->setBuddy(m_edit);
    m_problems = new QLabel(this);
    m_problems->setWordWrap(true);
    m_problems->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_problems->setAccessibleName(tr("Problems with the addresses"));
    m_problems->hide();
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)->setText(tr("&Add"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_edit);
    layout->addWidget(m_problems);
    layout->addWidget(m_buttons);

    connect(m_edit, &QPlainTextEdit::textChanged, this, &AddressDialog::check);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    check();
}

void AddressDialog::setText(const QString &text)
{
    m_edit->setPlainText(text);
}

void AddressDialog::check()
{
    const AddressText::Checked checked = AddressText::check(AddressText::candidates(m_edit->toPlainText()));
    m_addresses = checked.addresses;
    m_problems->setText(checked.problems.join(QLatin1Char('\n')));
    m_problems->setVisible(!checked.problems.isEmpty());
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(canAdd());
}

QString AddressDialog::problems() const
{
    return m_problems->text();
}

bool AddressDialog::canAdd() const
{
    return !m_addresses.empty() && m_problems->text().isEmpty();
}

} // namespace Lumora::Window
