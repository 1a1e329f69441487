#include "host/cli/Console.h"

#include "host/player/Format.h"

#include <QByteArray>

#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Lumora::Cli {

namespace {

bool detectTerminal()
{
    const char *plain = std::getenv("LUMORA_PLAIN");
    if (plain && std::strcmp(plain, "0") != 0 && *plain)
        return false;
    const char *term = std::getenv("TERM");
    if (term && std::strcmp(term, "dumb") == 0)
        return false;
    return ::isatty(STDOUT_FILENO) == 1;
}

void writeLine(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

Console::Console() : Console(stdout, stderr, detectTerminal()) {}

Console::Console(std::FILE *out, std::FILE *err, bool terminal) : m_out(out), m_err(err), m_terminal(terminal) {}

void Console::message(const QString &line)
{
    if (m_quiet)
        return;
    std::lock_guard lock(m_mutex);
    clearBlock();
    writeLine(m_out, line);
    drawBlock();
}

void Console::error(const QString &line)
{
    std::lock_guard lock(m_mutex);
    clearBlock();
    // The block lives on standard output: flush it first so that the two streams do not interleave
    // in the middle of a line on a terminal.
    std::fflush(m_out);
    writeLine(m_err, line);
    drawBlock();
}

void Console::data(const QString &text)
{
    std::lock_guard lock(m_mutex);
    clearBlock();
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_out);
    std::fflush(m_out);
    drawBlock();
}

void Console::setProgress(const QStringList &lines)
{
    if (!m_terminal || m_quiet)
        return;
    std::lock_guard lock(m_mutex);
    clearBlock();
    m_block = lines;
    drawBlock();
}

void Console::finishProgress()
{
    std::lock_guard lock(m_mutex);
    // The lines already drawn stay where they are; the next output goes below them.
    m_block.clear();
    m_drawn = 0;
}

void Console::clearBlock()
{
    if (!m_terminal || m_drawn == 0)
        return;
    QByteArray erase;
    for (int i = 0; i < m_drawn; ++i)
        erase += "\x1b[1A\x1b[2K";
    erase += '\r';
    std::fwrite(erase.constData(), 1, static_cast<size_t>(erase.size()), m_out);
    m_drawn = 0;
}

void Console::drawBlock()
{
    if (!m_terminal || m_block.isEmpty()) {
        std::fflush(m_out);
        return;
    }
    // A line wider than the terminal would wrap, and moving up by the number of lines drawn would
    // then leave its first part behind: cut every line to the width.
    const int width = terminalWidth();
    for (const QString &line : m_block) {
        const QByteArray bytes = Host::elide(line, width - 1).toLocal8Bit();
        std::fwrite("\r\x1b[2K", 1, 5, m_out);
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_out);
        std::fputc('\n', m_out);
        ++m_drawn;
    }
    std::fflush(m_out);
}

int Console::terminalWidth() const
{
    struct winsize size {};
    if (::ioctl(::fileno(m_out), TIOCGWINSZ, &size) == 0 && size.ws_col > 10)
        return size.ws_col;
    return 80;
}

} // namespace Lumora::Cli
