#pragma once
// Where a command's words go. The local console writes to the process's standard streams and keeps
// a block of progress lines at the bottom of a terminal, redrawn in place; a handed-over command's
// output travels back to the lumora that asked (InstanceChannel).
//
// Every member is safe to call from any thread: messages come from the scheduler thread (hub,
// listener), the operations thread and the main thread.

#include "host/player/Output.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace Lumora::Cli {

class Console : public Host::Output {
public:
    // Terminal behaviour when standard output is a terminal and TERM is not "dumb"; LUMORA_PLAIN=1
    // forces plain lines.
    Console();
    Console(std::FILE *out, std::FILE *err, bool terminal);

    bool isTerminal() const override { return m_terminal; }
    // Columns of the terminal (80 when it does not say).
    int terminalWidth() const override;
    // Quiet (-q): only errors and data are written; messages and progress are not.
    void setQuiet(bool quiet) { m_quiet = quiet; }

    void message(const QString &line) override;
    void error(const QString &line) override;
    void data(const QString &text) override;

    // Terminal only: replaces the progress block (one line per active download).
    void setProgress(const QStringList &lines) override;
    // Plain output: one progress line, printed as it comes.
    // Leaves the progress block on screen as ordinary output (at the end of a run).
    void finishProgress() override;

private:
    void clearBlock();   // under m_mutex
    void drawBlock();    // under m_mutex

    std::mutex m_mutex;
    std::FILE *m_out;
    std::FILE *m_err;
    bool m_terminal;
    std::atomic<bool> m_quiet{false};
    QStringList m_block;
    int m_drawn = 0;
};

} // namespace Lumora::Cli
