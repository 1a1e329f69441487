// lumora: the player in command-line form. See "lumora --help".

#include "host/cli/Console.h"
#include "host/cli/LumoraMain.h"
#include "host/cli/commands/Commands.h"
#include "host/player/MainThread.h"

#include <QApplication>

#include <csignal>
#include <memory>

#if defined(__SANITIZE_THREAD__)
// Qt, glib and libdbus are not built with ThreadSanitizer: the events they allocate on one thread and free
// on another, and the wake-up descriptors they hand between threads, are synchronised by locks it
// cannot see. Only their own calls are let through; what lumora hands between threads travels in
// its own, instrumented queues (MainThread.h, OperationQueue.h). The dynamic loader is in the same
// position: a library loaded on one thread (the stream engine, while the first download transfers)
// sets up the thread-local storage of every thread, which a thread ending later frees, all under the
// loader's own lock.
extern "C" const char *__tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "race:libQt6DBus.so.6\n"
           "race:libdbus-1.so.3\n"
           "deadlock:libdbus-1.so.3\n"
           "called_from_lib:libglib-2.0.so.0\n"
           "race:QCoreApplicationPrivate::sendPostedEvents\n"
           "race:_dl_deallocate_tls\n";
}
#endif

int main(int argc, char **argv)
{
    // The window needs a GUI application; every other command runs without a display.
    const std::unique_ptr<QCoreApplication> app(Lumora::Cli::Commands::opensWindow(argc, argv)
                                                    ? new QApplication(argc, argv)
                                                    : new QCoreApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("lumora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    // Output into a closed pipe ("lumora list | head") ends the write, not the process.
    std::signal(SIGPIPE, SIG_IGN);
    Lumora::Host::MainThread::initialize();
    Lumora::Cli::Console console;
    return Lumora::Cli::runLumora(QCoreApplication::arguments().mid(1), console);
}
