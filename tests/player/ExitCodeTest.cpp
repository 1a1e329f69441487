// The exit statuses a script reads: several outcomes combine as wget combines them, and each is
// documented. (Each kind's own status is checked end to end and against the README's table.)

#include "host/player/ExitCode.h"

#include <gtest/gtest.h>

#include <set>

using namespace Lumora;
using namespace Lumora::Host;

TEST(ExitCode, outcomesCombineLikeWgetAndEveryStatusIsDocumented)
{
    EXPECT_EQ(combineExit(ExitOk, ExitServerError), ExitServerError);
    EXPECT_EQ(combineExit(ExitFailed, ExitNetwork), ExitNetwork);      // a named group says more than 1
    EXPECT_EQ(combineExit(ExitNetwork, ExitFailed), ExitNetwork);
    EXPECT_EQ(combineExit(ExitServerError, ExitNetwork), ExitNetwork); // the lower named group wins
    EXPECT_EQ(combineExit(ExitServerError, ExitUsage), ExitUsage);
    EXPECT_EQ(combineExit(ExitFailed, ExitOk), ExitFailed);

    std::set<int> documented;
    for (const ExitStatusLine &line : exitStatusLines()) {
        EXPECT_FALSE(line.meaning.isEmpty());
        documented.insert(line.code);
    }
    EXPECT_EQ(documented, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}
