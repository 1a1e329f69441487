#include "host/cli/Console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using Lumora::Cli::Console;

namespace {

std::string contents(std::FILE *file)
{
    std::fflush(file);
    std::string text;
    std::rewind(file);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    return text;
}

struct Streams {
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    ~Streams()
    {
        std::fclose(out);
        std::fclose(err);
    }
};

} // namespace

TEST(Console, terminalKeepsTheProgressBlockBelowEveryMessage)
{
    Streams s;
    Console console(s.out, s.err, true);
    console.setProgress({"[1] a 10%", "[2] b 20%"});
    console.message("completed [3] c");
    const std::string draw = "\r\x1b[2K[1] a 10%\n\r\x1b[2K[2] b 20%\n";
    const std::string erase = "\x1b[1A\x1b[2K\x1b[1A\x1b[2K\r";
    EXPECT_EQ(contents(s.out), draw + erase + "completed [3] c\n" + draw);

    // An error goes to its own stream; the block is lifted and put back around it.
    console.error("lumora: failed");
    EXPECT_EQ(contents(s.err), "lumora: failed\n");
    EXPECT_EQ(contents(s.out), draw + erase + "completed [3] c\n" + draw + erase + draw);

    // Finished: the block stays as it is and later output goes below it.
    console.finishProgress();
    console.message("done");
    EXPECT_EQ(contents(s.out), draw + erase + "completed [3] c\n" + draw + erase + draw + "done\n");
}

TEST(Console, plainOutputHasNoBlockAndNoEscapes)
{
    Streams s;
    Console console(s.out, s.err, false);
    console.setProgress({"[1] a 10%"});
    console.progressLine("[1] a 11%");
    console.message("done");
    console.data("[]\n");
    EXPECT_EQ(contents(s.out), "[1] a 11%\ndone\n[]\n");
}
