// The words the plugin and its hosts share: which addresses the queue takes, and the names people see.

#include "plugin/AcceptedEndings.h"
#include "plugin/DownloadStatus.h"

#include <gtest/gtest.h>

using namespace Lumora;

TEST(AcceptedEndings, everyListedEndingIsTakenWithItsLetterCaseOnly)
{
    const QStringList endings = AcceptedEndings::endings();
    ASSERT_FALSE(endings.isEmpty());
    for (const QString &ending : endings) {
        EXPECT_TRUE(AcceptedEndings::accepts(QUrl("http://h/dir/clip." + ending))) << ending.toStdString();
        EXPECT_FALSE(AcceptedEndings::accepts(QUrl("http://h/dir/clip." + ending.toUpper()))) << ending.toStdString();
        EXPECT_FALSE(AcceptedEndings::accepts(QUrl("http://h/dir/clip." + ending + "x"))) << ending.toStdString();
    }
}

TEST(AcceptedEndings, theEndingIsWhatFollowsThePathsLastDotAndTheQueryDoesNotCount)
{
    EXPECT_EQ(AcceptedEndings::endingOf(QUrl("http://h/a.b/clip.tar.mkv?x=1.avi")), "mkv");
    EXPECT_EQ(AcceptedEndings::endingOf(QUrl("http://h/noending")), "/noending");
    EXPECT_FALSE(AcceptedEndings::accepts(QUrl("http://h/page.html?file=clip.mp4")));
}

TEST(DownloadStatusNames, everyStatusHasItsOwnNameAndOthersAreUnknown)
{
    QStringList seen;
    for (DownloadStatusValue s = Queued; s <= Invalid; ++s) {
        const QString name = QLatin1String(downloadStatusName(s));
        EXPECT_NE(name, "Unknown") << s;
        EXPECT_FALSE(seen.contains(name)) << name.toStdString();
        seen << name;
    }
    EXPECT_STREQ(downloadStatusName(0), "Unknown");
    EXPECT_STREQ(downloadStatusName(9), "Unknown");
}
