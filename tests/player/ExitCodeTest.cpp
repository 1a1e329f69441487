// The exit statuses a script reads: each failure's kind ends in its group, and several outcomes
// combine as wget combines them.

#include "host/player/ExitCode.h"

#include <gtest/gtest.h>

#include <set>

using namespace Lumora;
using namespace Lumora::Host;

TEST(ExitCode, eachFailureKindEndsInItsGroup)
{
    const std::pair<FailureKind, ExitCode> cases[] = {
        {FailureKind::HttpStatus, ExitServerError},       {FailureKind::HostNotFound, ExitNetwork},
        {FailureKind::ConnectionRefused, ExitNetwork},    {FailureKind::TimedOut, ExitNetwork},
        {FailureKind::ConnectionLost, ExitNetwork},       {FailureKind::Tls, ExitTls},
        {FailureKind::CredentialsRefused, ExitCredentials}, {FailureKind::TooManyRedirects, ExitProtocol},
        {FailureKind::SizeUnknown, ExitProtocol},         {FailureKind::BodyLongerThanAnnounced, ExitProtocol},
        {FailureKind::UnusableAnswer, ExitProtocol},      {FailureKind::NotEnoughSpace, ExitFileIo},
        {FailureKind::DiskFull, ExitFileIo},              {FailureKind::DiskWrite, ExitFileIo},
        {FailureKind::TargetUnplaceable, ExitFileIo},     {FailureKind::LibraryRefused, ExitFileIo},
        {FailureKind::EngineUnavailable, ExitFailed},     {FailureKind::None, ExitOk},
    };
    for (const auto &[kind, code] : cases)
        EXPECT_EQ(exitCodeFor(kind), code) << FailureReason::of(kind).kindName().toStdString();
}

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
