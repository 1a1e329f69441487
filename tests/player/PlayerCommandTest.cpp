#include "host/player/PlayerCommand.h"

#include <gtest/gtest.h>

using namespace Lumora::Host;

TEST(PlayerCommand, takesTheAddressLastOrWherePlaced)
{
    const QUrl file = QUrl::fromLocalFile("/media/My Clip.vexo");
    PlayerLaunch plain = playerLaunchFor(file, "mpv --fs");
    EXPECT_EQ(plain.program, "mpv");
    EXPECT_EQ(plain.arguments, (QStringList{"--fs", "/media/My Clip.vexo"}));

    PlayerLaunch placed = playerLaunchFor(QUrl("http://h/a.mp4"), "\"/opt/my player/run\" --url=%u --quiet");
    EXPECT_EQ(placed.program, "/opt/my player/run");
    EXPECT_EQ(placed.arguments, (QStringList{"--url=http://h/a.mp4", "--quiet"}));
    EXPECT_TRUE(playerLaunchFor(file, "   ").program.isEmpty());
}
