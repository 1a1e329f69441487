#include "host/player/AddressIntake.h"

#include <gtest/gtest.h>

using namespace Lumora::Host;

TEST(AddressIntake, addressesAreCheckedBeforeAnythingIsQueued)
{
    QUrl url;
    QString reason;
    EXPECT_TRUE(checkAddress("http://127.0.0.1:8080/clip.mp4", &url, &reason));
    EXPECT_EQ(url.port(), 8080);
    EXPECT_TRUE(checkAddress("https://example.com/clip.mkv", &url, &reason));
    EXPECT_FALSE(checkAddress("clip.mp4", &url, &reason));
    EXPECT_TRUE(reason.contains("not an address"));
    EXPECT_FALSE(checkAddress("ftp://example.com/clip.mp4", &url, &reason));
    EXPECT_TRUE(reason.contains("ftp"));
    EXPECT_FALSE(checkAddress("http:///clip.mp4", &url, &reason));
}

TEST(AddressIntake, aRawSpaceIsEncodedAndALocalFileIsRefusedWithAReason)
{
    QUrl url;
    QString reason;
    ASSERT_TRUE(checkAddress("http://127.0.0.1:8080/my clip.mp4", &url, &reason)) << reason.toStdString();
    EXPECT_EQ(url.toString(QUrl::FullyEncoded), "http://127.0.0.1:8080/my%20clip.mp4");
    EXPECT_EQ(url.path(), "/my clip.mp4");

    EXPECT_FALSE(checkAddress("file:///home/a/clip.mp4", &url, &reason));
    EXPECT_TRUE(reason.contains("local file is not downloaded")) << reason.toStdString();
    EXPECT_TRUE(reason.contains("media folder")) << reason.toStdString();
}
