// The add dialog checks every line as it is typed, with the command line's reasons, and adds only
// when every line is an address.

#include "host/window/AddressDialog.h"

#include "host/player/AddressIntake.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace Lumora;
using namespace Lumora::Window;

namespace {

QString reasonFor(const QString &text)
{
    QUrl ignored;
    QString reason;
    EXPECT_FALSE(Host::checkAddress(text, &ignored, &reason));
    return QStringLiteral("%1: %2").arg(text, reason);
}

QPushButton *addButton(const AddressDialog &dialog)
{
    return dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
}

} // namespace

TEST(AddressDialog, checksEachLineWithTheCommandLinesReasons)
{
    AddressDialog dialog;
    EXPECT_FALSE(dialog.canAdd());
    EXPECT_FALSE(addButton(dialog)->isEnabled());

    dialog.setText("http://h/a.mp4\nftp://h/b.mp4\nclip.mp4\nhttp:///c.mp4");
    EXPECT_FALSE(addButton(dialog)->isEnabled());
    EXPECT_EQ(dialog.problems(),
              QStringList({reasonFor("ftp://h/b.mp4"), reasonFor("clip.mp4"), reasonFor("http:///c.mp4")}).join('\n'));

    dialog.setText("http://h/a.mp4\n\n# later\nhttps://h/b.mkv http://h/a.mp4");
    EXPECT_EQ(dialog.problems(), "");
    ASSERT_TRUE(addButton(dialog)->isEnabled());
    EXPECT_EQ(dialog.addresses(), (std::vector<QUrl>{QUrl("http://h/a.mp4"), QUrl("https://h/b.mkv")}));
}

TEST(AddressDialog, typedAddressesAreAddedWithTheKeyboard)
{
    AddressDialog dialog;
    dialog.show();
    auto *edit = dialog.findChild<QPlainTextEdit *>();
    edit->setFocus();
    QTest::keyClicks(edit, "http://h/typed.mp4");
    ASSERT_TRUE(dialog.canAdd());
    addButton(dialog)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.addresses(), std::vector<QUrl>{QUrl("http://h/typed.mp4")});
}
