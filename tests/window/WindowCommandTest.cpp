// "lumora window": lumora decides from its arguments, before any application object exists, whether it
// needs a GUI application, and only the window command does.

#include "host/cli/commands/Commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Lumora::Cli;

namespace {

bool opens(std::vector<std::string> words)
{
    words.insert(words.begin(), "lumora");
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    return Commands::opensWindow(static_cast<int>(argv.size()), argv.data());
}

} // namespace

TEST(WindowCommand, onlyTheWindowCommandNeedsAGuiApplication)
{
    EXPECT_TRUE(opens({"window"}));
    EXPECT_TRUE(opens({"--home", "/tmp/h", "window", "http://h/a.mp4"}));
    EXPECT_TRUE(opens({"window", "--verbose"}));
    EXPECT_FALSE(opens({"get", "window"}));
    EXPECT_FALSE(opens({"--home", "window", "list"}));
    EXPECT_FALSE(opens({"window", "--help"}));
    EXPECT_FALSE(opens({}));
}
